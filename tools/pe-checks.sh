# shellcheck shell=bash
# Sourced by the scripts that check built or packaged programs
# (tools/check-pe.sh, tools/package.sh, tests/package/package-test.sh).
# Each check prints what it found and returns non-zero when it is wrong.

# quaxel_check_format FILE KIND: a GUI executable of the build's kind, PE32
# for win32 and PE32+ for win64.
quaxel_check_format() {
  local file="$1" pattern description
  case "$2" in
    win32) pattern="PE32 executable (GUI) Intel 80386*" ;;
    win64) pattern="PE32+ executable (GUI) x86-64*" ;;
    *) echo "pe-checks: unknown kind '$2' (win32 or win64)" >&2; return 1 ;;
  esac
  if [ ! -f "${file}" ]; then
    echo "missing: ${file}" >&2
    return 1
  fi
  description="$(file -b "${file}")"
  # shellcheck disable=SC2053  # the pattern is meant to match
  if [[ "${description}" == ${pattern} ]]; then
    echo "ok: ${file}: ${description}"
  else
    echo "wrong format: ${file}: ${description} (expected ${pattern})" >&2
    return 1
  fi
}

# quaxel_check_manifest FILE: a program named "setup" without a manifest
# that says asInvoker is elevated by Windows' installer detection, so
# setup.exe must say it; quaxel.exe's manifest must not ask for anything.
quaxel_check_manifest() {
  local file="$1"
  case "$(basename "${file}")" in
    setup.exe)
      if grep -aq 'requestedExecutionLevel level="asInvoker" uiAccess="false"' "${file}"; then
        echo "ok: ${file} runs as invoker"
      else
        echo "${file} lacks the asInvoker manifest" >&2
        return 1
      fi
      ;;
    *)
      if grep -aq 'requestedExecutionLevel' "${file}"; then
        echo "${file} must not declare an execution level" >&2
        return 1
      fi
      ;;
  esac
}
