#!/usr/bin/env bash
# Everything on a fresh machine: installs what is missing, builds the three
# configurations and runs every test. Exits non-zero on the first failure.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "${root}"
jobs="$(nproc 2>/dev/null || echo 2)"

step() { printf '\n=== %s\n' "$*"; }

step "bootstrap"
tools/bootstrap.sh

step "native: configure, build, test (ASan/UBSan)"
cmake --preset native >/dev/null
cmake --build --preset native -j "${jobs}"
ctest --preset native -j "${jobs}"

step "win64: configure, build"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "${jobs}"

step "win32: configure, build (not run: 32-bit code cannot execute here)"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "${jobs}"

step "executable formats"
tools/check-pe.sh

step "win64: tests under wine64"
tools/windows-tests.sh

step "leftover processes"
if pgrep -f "${root}/build/win64/wine" >/dev/null 2>&1; then
  echo "processes of the test wine prefix are still running:" >&2
  pgrep -af "${root}/build/win64/wine" >&2 || true
  exit 1
fi
echo "none"

echo
echo "ALL TESTS PASSED (native, win64 under wine; win32 built)"
