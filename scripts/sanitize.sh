#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs every test there. Any report fails the test it came from.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWENDRAKE_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$(nproc)"

export UBSAN_OPTIONS=print_stacktrace=1:suppressions=$PWD/tests/sanitizers/undefined.supp
cd build-asan
ctest --output-on-failure -j"$(nproc)"
