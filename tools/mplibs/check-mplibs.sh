#!/usr/bin/env bash
# check-mplibs.sh [ARCH...] -- smoke check of the static GMP and MPFR that
# build-mplibs.sh makes (it is run first, and does nothing when they are
# there): mpsmoke.cpp built against them for each ARCH (x86_64, i686;
# default both), run under Wine in a fresh prefix, must print the very bytes
# that the same program built against the host's MPFR prints. The i686 run
# needs the 32-bit Wine on qemu-user (tools/w32/build-w32.sh, or
# QUAXEL_W32_DIR naming one made elsewhere); without it that run is skipped
# and said so.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "${here}/../.." && pwd)"
out="${QUAXEL_MPLIBS_DIR:-${root}/build/mplibs}"
archs=("$@")
[ "${#archs[@]}" -gt 0 ] || archs=(x86_64 i686)
"${here}/build-mplibs.sh" "${archs[@]}"

unset WINEPREFIX  # the stop at the end must only reach our own prefixes
tmp="$(mktemp -d /tmp/mplibs-check.XXXXXX)"
# shellcheck source=../wine-env.sh
. "${root}/tools/wine-env.sh"
# shellcheck disable=SC2317  # called by the trap
cleanup() {
  quaxel_wine_stop
  rm -rf "${tmp}"
}
trap cleanup EXIT

flags=(-std=c++20 -O2 -Wall -Wextra -Werror -ffp-contract=off)
nice -n 15 g++ "${flags[@]}" "${here}/mpsmoke.cpp" -o "${tmp}/native" -lmpfr -lgmp -pthread
"${tmp}/native" >"${tmp}/native.txt"
echo "mplibs-check: native (host's MPFR): $(tail -n 1 "${tmp}/native.txt")"

status=0
for arch in "${archs[@]}"; do
  exe="${tmp}/mpsmoke-${arch}.exe" kind=win64
  [ "${arch}" = i686 ] && kind=win32
  extra=()
  [ "${arch}" = i686 ] && extra=(-msse2 -mfpmath=sse)
  nice -n 15 "${arch}-w64-mingw32-g++-posix" "${flags[@]}" "${extra[@]}" -static -I"${out}/${arch}/include" \
    "${here}/mpsmoke.cpp" -o "${exe}" "${out}/${arch}/lib/libmpfr.a" "${out}/${arch}/lib/libgmp.a"
  if [ "${kind}" = win32 ] && [ ! -x "$(quaxel_wine_loader win32)" ]; then
    echo "mplibs-check: ${arch}: built; not run, no 32-bit Wine at $(quaxel_wine_loader win32) (QUAXEL_W32_DIR)"
    continue
  fi
  quaxel_wine_use "${kind}" "${tmp}/prefix-${kind}"
  quaxel_display_start
  start=$(date +%s)
  quaxel_wine_boot
  # The program takes well under a second natively and some seconds under
  # the emulated 32-bit Wine: a deadline, so that a hang fails the check
  # instead of holding up the run.
  rc=0
  timeout -k 5 120 "${QUAXEL_WINE}" "${exe}" >"${tmp}/${arch}.txt" 2>"${tmp}/${arch}.err" </dev/null || rc=$?
  if [ "${rc}" -ne 0 ]; then
    echo "mplibs-check: ${arch}: the program failed under Wine (status ${rc}; 124: no end within 120 s):" >&2
    sed 's/^/    /' "${tmp}/${arch}.err" >&2
    status=1
  elif ! cmp -s "${tmp}/native.txt" "${tmp}/${arch}.txt"; then
    echo "mplibs-check: ${arch}: output differs from the native one:" >&2
    diff "${tmp}/native.txt" "${tmp}/${arch}.txt" | cut -c1-120 | head -n 20 >&2 || true
    status=1
  else
    echo "mplibs-check: ${arch} under ${kind} Wine: byte-identical to native ($(wc -c <"${tmp}/${arch}.txt") bytes, $(($(date +%s) - start)) s with the prefix)"
  fi
  quaxel_wineserver_end
done
exit "${status}"
