#!/usr/bin/env bash
# The programs must be GUI executables: PE32 in the 32-bit build, PE32+ in
# the 64-bit one.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
status=0
check() {
  local file="$1" pattern="$2" description
  if [ ! -f "${file}" ]; then echo "missing: ${file}" >&2; status=1; return; fi
  description="$(file -b "${file}")"
  if [[ "${description}" == ${pattern} ]]; then
    echo "ok: ${file#"${root}"/}: ${description}"
  else
    echo "wrong format: ${file#"${root}"/}: ${description} (expected ${pattern})" >&2
    status=1
  fi
}
for program in shell/quaxel.exe setup/setup.exe; do
  check "${root}/build/win32/${program}" "PE32 executable (GUI) Intel 80386*"
  check "${root}/build/win64/${program}" "PE32+ executable (GUI) x86-64*"
done
exit "${status}"
