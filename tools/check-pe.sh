#!/usr/bin/env bash
# The programs of both Windows builds: GUI executables of the build's kind,
# and manifests that ask for no elevation.
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
done
exit "${status}"
