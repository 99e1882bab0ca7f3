#!/usr/bin/env bash
# Everything on a fresh machine: installs what is missing, builds the three
# configurations and runs every test. Exits non-zero on the first failure.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "${root}"
jobs="$(nproc 2>/dev/null || echo 2)"

step() { printf '\n=== %s\n' "$*"; }

# Free space under build/, in MB.
free_mb() { df -Pm "${root}/build" | awk 'NR == 2 { print $4 }'; }

step "bootstrap"
tools/bootstrap.sh

# At its fullest a run on a fresh clone holds about 3.5 GB under build/ (the
# builds, the 32-bit Wine, and up to two wine prefixes at a time), and the
# temporary files of its tests come on top: a disk that fills on the way
# fails a late step with messages about files it cannot make.
mkdir -p "${root}/build"
need_mb=6000
echo "free under build/: $(free_mb) MB (a whole run wants about ${need_mb})"
if [ "$(free_mb)" -lt "${need_mb}" ]; then
  echo "test: WARNING: less than ${need_mb} MB free under ${root}/build; steps may fail for want of space" >&2
fi

# GMP and MPFR for the Windows renderers' deep type, zlib and libpng for
# their PNG files, cross-built once into build/mplibs (3-9 minutes when new,
# by the machine's load): beside the native build and tests, whose
# configure and test phases leave a core free. The Windows builds need them.
mplibs_log="${root}/build/mplibs-run.log"
setsid tools/mplibs/build-mplibs.sh >"${mplibs_log}" 2>&1 &
mplibs_pid=$!
# A failing step ends the script: the build beside it ends with it. Its
# messages may come from a full disk: the free space goes with them.
on_exit() {
  local status=$?
  kill -- -"${mplibs_pid}" 2>/dev/null || true
  if [ "${status}" -ne 0 ]; then echo "test: failed with $(free_mb) MB free under ${root}/build" >&2; fi
}
trap on_exit EXIT

step "native: configure, build, test (ASan/UBSan)"
cmake --preset native >/dev/null
cmake --build --preset native -j "${jobs}"
ctest --preset native -j "${jobs}"

step "fuzz: the location and long-number readers under libFuzzer (clang, ASan/UBSan), 30 s each"
tests/fuzz/run-fuzz.sh 30

step "tsan: the worker pool's shared rows and a movie's frame threads under ThreadSanitizer"
# Builds only that suite (and the engine under it), not the whole project.
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "${jobs}"
ctest --preset tsan -j "${jobs}"

step "GMP, MPFR, zlib and libpng for mingw-w64 (build/mplibs)"
if ! wait "${mplibs_pid}"; then
  cat "${mplibs_log}"
  exit 1
fi
cat "${mplibs_log}"

step "win64: configure, build"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j "${jobs}"

step "win32: configure, build"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "${jobs}"

step "executable formats"
tools/check-pe.sh

step "win64: tests under wine64"
xvfb_before="$(pgrep -x Xvfb | sort || true)"
tools/windows-tests.sh

step "tools/run.sh on a machine without a screen"
tests/run/run-test.sh

# The shipped 32-bit build under the i386 Wine on qemu-user (tools/w32/).
if [ "${QUAXEL_SKIP_W32:-0}" = 1 ]; then
  step "win32: tests under 32-bit Wine on qemu-user: SKIPPED (QUAXEL_SKIP_W32=1)"
  w32_summary="win32 built, its tests skipped (QUAXEL_SKIP_W32=1)"
else
  step "win32: the 32-bit Wine on qemu-user (made once into build/w32)"
  w32_start=$(date +%s)
  tools/w32/build-w32.sh
  step "win32: tests under 32-bit Wine on qemu-user"
  tools/windows-tests.sh --win32
  echo "win32: 32-bit Wine and tests took $(($(date +%s) - w32_start)) s"
  w32_summary="win32 under 32-bit Wine on qemu-user"
fi

step "leftover processes"
# Wine's processes carry the prefix in their environment, not on the command
# line (the 32-bit ones run inside qemu-i386-w32, whose command line names
# wine). Processes may take a moment to go after their wineserver has ended.
# The end-to-end suites run in prefixes of their own (tests/e2e/run-e2e.sh),
# and so does the test of tools/run.sh, whose VNC server carries its folder.
prefixes=(-e "WINEPREFIX=${root}/build/win64/run-test/prefix" -e "QUAXEL_RUN_DIR=${root}/build/win64/run-test")
for arch in win64 win32; do
  prefixes+=(-e "WINEPREFIX=${root}/build/${arch}/wine/wineprefix" -e "WINEPREFIX=${root}/build/${arch}/e2e/prefix"
             -e "WINEPREFIX=${root}/build/${arch}/e2e-soak/prefix")
done
leftovers() {
  local pid found=""
  for pid in $(pgrep -f 'wine|\.exe|x11vnc' || true); do
    if { tr '\0' '\n' <"/proc/${pid}/environ"; } 2>/dev/null | grep -qxF "${prefixes[@]}"; then
      found+=" ${pid}"
    fi
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
echo "ALL TESTS PASSED (native, win64 under wine64, ${w32_summary})"
