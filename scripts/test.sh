#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the normal build, the
# sanitizer build, then each fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
(cd build && ctest --output-on-failure -j"$(nproc)")
scripts/sanitize.sh
scripts/fuzz.sh 60
