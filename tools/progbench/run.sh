#!/usr/bin/env bash
# Program benchmark: builds quaxel (win64) and its benchmark driver, then times
# the real program under wine64, in the end-to-end suite's virtual desktop,
# against the headless renderer on the same views. Usage:
#   tools/progbench/run.sh [--runs N] [--minimised] [--native]
# --native also builds the Linux renderer (preset bench) and times it too.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "${root}"
tools/bootstrap.sh
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --native)
      cmake --preset bench >/dev/null
      cmake --build --preset bench --target quaxel-render -j2
      args+=(--native "${root}/build/bench/tools/render/quaxel-render")
      ;;
    *) args+=("$1") ;;
  esac
  shift
done
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target quaxel quaxel_progbench -j2
bash tests/e2e/run-e2e.sh build/win64/tests/windows/quaxel_progbench.exe build/win64/progbench "${args[@]}"
