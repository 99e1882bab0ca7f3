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

step "tsan: the worker pool's shared rows under ThreadSanitizer"
# Builds only that suite (and the engine under it), not the whole project.
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "${jobs}"
ctest --preset tsan -j "${jobs}"

step "win64: configure, build"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "${jobs}"

step "win32: configure, build (not run: 32-bit code cannot execute here)"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "${jobs}"

step "executable formats"
tools/check-pe.sh

step "win64: tests under wine64"
xvfb_before="$(pgrep -x Xvfb | sort || true)"
tools/windows-tests.sh

step "leftover processes"
# Wine's processes carry the prefix in their environment, not on the command
# line. Processes may take a moment to go after their wineserver has ended.
prefix="${root}/build/win64/wine/wineprefix"
e2e_prefixes=("${root}/build/win64/e2e/prefix" "${root}/build/win64/e2e-soak/prefix")
leftovers() {
  local pid found=""
  for pid in $(pgrep -f 'wine|\.exe' || true); do
    if { tr '\0' '\n' <"/proc/${pid}/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=${prefix}"; then
      found+=" ${pid}"
    fi
  done
  # The end-to-end suites run in prefixes of their own (tests/e2e/run-e2e.sh).
  local e2e_prefix
  for e2e_prefix in "${e2e_prefixes[@]}"; do
    for pid in $(pgrep -f 'wine|\.exe' || true); do
      if { tr '\0' '\n' <"/proc/${pid}/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=${e2e_prefix}"; then
        found+=" ${pid}"
      fi
    done
  done
  for pid in $(pgrep -x Xvfb | sort || true); do
    if ! grep -qx "${pid}" <<<"${xvfb_before}"; then found+=" ${pid}"; fi
  done
  echo "${found}"
}
for _ in $(seq 1 50); do
  leftover="$(leftovers)"
  [ -z "${leftover// /}" ] && break
  sleep 0.2
done
if [ -n "${leftover// /}" ]; then
  echo "processes of the Windows test run are still running:" >&2
  for pid in ${leftover}; do ps -o pid=,args= -p "${pid}" >&2 || true; done
  exit 1
fi
echo "none"

echo
echo "ALL TESTS PASSED (native, win64 under wine; win32 built)"
