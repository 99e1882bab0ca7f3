#!/usr/bin/env bash
# The package test: lays out a package folder from this build with
# tools/package.sh --stage-only, checks what needs no Windows, then installs
# and uninstalls it under wine with the Windows test program.
# Usage: package-test.sh BUILD_DIR VERSION EMULATOR TEST_EXE
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$1" version="$2" emulator="$3" test_exe="$4"

work="$(mktemp -d "${build}/package-test.XXXXXX")"
trap 'rm -rf "${work}"' EXIT
# A space in the path, as in "My Documents": the INF path is passed unquoted.
folder="${work}/Quaxel ${version}"
"${root}/tools/package.sh" --stage-only "${build}" "${folder}"

fail() { echo "FAILED: $*" >&2; exit 1; }
listing="$(find "${folder}" -mindepth 1 -printf '%f\n' | LC_ALL=C sort | tr '\n' ' ')"
[ "${listing}" = "README.txt install.inf quaxel.exe setup.exe " ] || fail "package holds: ${listing}"
grep -qx "Version=${version}"$'\r' "${folder}/install.inf" || fail "install.inf does not name version ${version}"
grep -qx "Projekt=Quaxel"$'\r' "${folder}/install.inf" || fail "install.inf does not name the project"
# Never elevated, whatever Windows guesses from the name "setup".
# shellcheck source=../../tools/pe-checks.sh
. "${root}/tools/pe-checks.sh"
for program in setup.exe quaxel.exe; do
  quaxel_check_manifest "${folder}/${program}" >/dev/null || fail "the manifest of ${program}"
done
echo "package layout, install.inf and manifests: ok"

# The shortcut must not reach the host's desktop menus through winemenubuilder.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=};winemenubuilder.exe=d"
QUAXEL_PACKAGE_DIR="${folder}" "${emulator}" "${test_exe}" --gtest_color=no
