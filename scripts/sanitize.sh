#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs every test there. Any report fails the test it came from.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWENDRAKE_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$(nproc)"

export ASAN_OPTIONS=detect_stack_use_after_return=1:strict_init_order=1:check_initialization_order=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:suppressions=$PWD/tests/sanitizers/undefined.supp
export LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/leaks.supp:print_suppressions=0
cd build-asan
ctest --output-on-failure -j"$(nproc)"
