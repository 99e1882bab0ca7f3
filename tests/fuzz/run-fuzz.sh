#!/usr/bin/env bash
# Builds the fuzz targets with clang into build/fuzz and runs each for
# SECONDS (default 30), starting from the checked-in seeds: the published
# locations and a few long numbers. Fails on any crash, leak, sanitizer report
# or input that takes longer than 10 s; the input that did it is left in
# build/fuzz/ as crash-*, leak-* or timeout-*.
#   tests/fuzz/run-fuzz.sh [SECONDS]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
seconds="${1:-30}"
build="${root}/build/fuzz"

cmake -S "${root}/tests/fuzz" -B "${build}" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "${build}" -j "$(nproc 2>/dev/null || echo 2)"

# New inputs go to the first folder (kept in build/ between runs); the seed
# folders are only read.
fuzz() {
  local target="$1" seeds="$2"
  mkdir -p "${build}/corpus-${target}"
  echo "fuzz_${target}: ${seconds} s"
  "${build}/fuzz_${target}" -max_total_time="${seconds}" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -artifact_prefix="${build}/" -print_final_stats=1 "${build}/corpus-${target}" "${seeds}" 2>"${build}/${target}.log" ||
    { tail -n 60 "${build}/${target}.log" >&2; echo "fuzz_${target} failed (log: ${build}/${target}.log)" >&2; exit 1; }
  grep -E '^stat::number_of_executed_units|^Done' "${build}/${target}.log" || true
}
fuzz location "${root}/tests/data/locations"
fuzz long_number "${root}/tests/fuzz/seeds/long-number"
echo "fuzzing found nothing"
