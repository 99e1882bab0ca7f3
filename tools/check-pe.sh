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
# A program named "setup" without a manifest that says asInvoker is elevated
# by Windows' installer detection; quaxel's manifest must not ask for anything.
for arch in win32 win64; do
  if grep -aq 'requestedExecutionLevel level="asInvoker"' "${root}/build/${arch}/setup/setup.exe"; then
    echo "ok: build/${arch}/setup/setup.exe runs as invoker"
  else
    echo "setup.exe of ${arch} lacks the asInvoker manifest" >&2
    status=1
  fi
  if grep -aq 'requestedExecutionLevel' "${root}/build/${arch}/shell/quaxel.exe"; then
    echo "quaxel.exe of ${arch} must not declare an execution level" >&2
    status=1
  fi
done
exit "${status}"
