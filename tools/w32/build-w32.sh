#!/usr/bin/env bash
# Makes the 32-bit Wine of the tests (i386 Wine 8.0 under a patched qemu-i386,
# see README.md here) in build/w32, once: it is kept while setup-w32.sh, the
# qemu patch, the host's wine64 and the folder stay the same. A failure says
# why and how to go on without the 32-bit run.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "${here}/../.." && pwd)"
dir="${QUAXEL_W32_DIR:-${root}/build/w32}"
log="${dir}.log"

stamp="$({
  cat "${here}/setup-w32.sh" "${here}/qemu-7.2-i386-wine.patch"
  dpkg-query -W -f='${Version}' wine64 2>/dev/null || true
  echo "${dir}"
} | sha256sum | cut -c1-16)"
if [ -x "${dir}/bin/wine32" ] && [ -x "${dir}/bin/qemu-i386-w32" ] &&
  [ "$(cat "${dir}/stamp" 2>/dev/null || true)" = "${stamp}" ]; then
  echo "w32: 32-bit Wine ready in ${dir#"${root}"/} (made before, inputs unchanged)"
  exit 0
fi

echo "w32: making the 32-bit Wine in ${dir#"${root}"/} (about 3 minutes and 171 MB of downloads; log in ${log#"${root}"/})"
start=$(date +%s)
rm -rf "${dir}"
mkdir -p "${dir}"
if ! JOBS="${JOBS:-$(nproc 2>/dev/null || echo 2)}" sh "${here}/setup-w32.sh" "${dir}" >"${log}" 2>&1; then
  {
    echo "w32: the 32-bit Wine could not be set up; the 32-bit tests cannot run."
    echo "w32: it needs the Debian archive's i386 packages and the qemu source package from the"
    echo "w32: mirrors named in this machine's apt sources. The end of ${log}:"
    tail -n 15 "${log}" | sed 's/^/    /'
    echo "w32: QUAXEL_SKIP_W32=1 runs the other tests without the 32-bit run."
  } >&2
  exit 1
fi
# From here on only the unpacked Wine (root/) and the emulator and wrappers
# (bin/) are used; the sources, the build and the package caches go.
rm -rf "${dir}/qsrc" "${dir}/bdeb" "${dir}/broot" "${dir}/apt" "${dir}/apt-src" "${dir}/bin/meson"
echo "${stamp}" >"${dir}/stamp"
echo "w32: ready in $(($(date +%s) - start)) s"
