#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for a bounded
# time from its seed corpus in fuzz/corpus/. Inputs that fail are kept in
# build-fuzz/findings/. Usage: scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(package_installation catalog registry_hive argument_conversion page_wire)

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DWENDRAKE_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]/%/_fuzz}"

mkdir -p build-fuzz/findings
failed=()
for target in "${targets[@]}"; do
  # New inputs go to the build folder's corpus; the seeds in the repository stay as they are.
  mkdir -p "build-fuzz/corpus/$target"
  echo "== $target: ${seconds}s"
  if ! "build-fuzz/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="build-fuzz/findings/$target-" "build-fuzz/corpus/$target" "fuzz/corpus/$target" 2>"build-fuzz/$target.log"; then
    tail -n 40 "build-fuzz/$target.log"
    failed+=("$target")
  fi
  grep -E '^stat::number_of_executed_units' "build-fuzz/$target.log" || true
done
if ((${#failed[@]})); then
  echo "Fuzzing found faults in: ${failed[*]} (inputs in build-fuzz/findings/)"
  exit 1
fi
