#!/usr/bin/env bash
# The programs of both Windows builds: GUI executables of the build's kind,
# and manifests that ask for no elevation; a headless renderer that loads no
# GDI (its bitmaps live on the heap).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "${root}"
# shellcheck source=pe-checks.sh
. tools/pe-checks.sh
status=0
for arch in win32 win64; do
  for program in shell/quaxel.exe setup/setup.exe; do
    quaxel_check_format "build/${arch}/${program}" "${arch}" || status=1
    quaxel_check_manifest "build/${arch}/${program}" || status=1
  done
  renderer="build/${arch}/tools/render/quaxel-render.exe"
  dlls="$(x86_64-w64-mingw32-objdump -p "${renderer}" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]' | sort | tr '\n' ' ')"
  if [ "${dlls}" = "kernel32.dll msvcrt.dll " ]; then
    echo "ok: ${renderer} imports only kernel32.dll and msvcrt.dll"
  else
    echo "FAILED: ${renderer} imports ${dlls}" >&2
    status=1
  fi
done
exit "${status}"
