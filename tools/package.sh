#!/usr/bin/env bash
# Makes the distribution archives:
#
#   tools/package.sh
#       configures and builds quaxel and setup for win32 and win64 (no tests)
#       in build/package-win32 and build/package-win64, and writes
#       build/package/quaxel-VERSION-win32.zip and -win64.zip, each holding
#       quaxel-VERSION/ with quaxel.exe, setup.exe, install.inf, README.txt.
#
#   tools/package.sh --stage-only BUILD_DIR DEST_DIR
#       lays out those four files in DEST_DIR from an existing build of either
#       target, without building or zipping (the package test uses this).
#
# VERSION is the CMake project version. The programs are built with the
# optimisation the test presets use (RelWithDebInfo: -O2, what the Windows
# suites run) and then stripped, so what ships is what was tested.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

die() { echo "package: $*" >&2; exit 1; }
# shellcheck source=pe-checks.sh
. "${root}/tools/pe-checks.sh"

cache_value() {  # cache_value BUILD_DIR NAME
  sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt" | head -n 1
}

# stage BUILD_DIR DEST_DIR: the package's files, stripped and checked.
stage() {
  local build="$1" dest="$2" strip kind
  [ -f "${build}/CMakeCache.txt" ] || die "${build} is not a CMake build folder"
  strip="$(cache_value "${build}" CMAKE_STRIP)"
  [ -x "${strip}" ] || die "no strip tool in ${build}"
  case "$(basename "${strip}")" in
    x86_64-w64-mingw32-*) kind=win64 ;;
    i686-w64-mingw32-*) kind=win32 ;;
    *) die "${build} is no Windows build" ;;
  esac

  mkdir -p "${dest}"
  local source
  for source in shell/quaxel.exe setup/setup.exe package/install.inf package/README.txt; do
    [ -f "${build}/${source}" ] || die "missing ${build}/${source}"
    cp "${build}/${source}" "${dest}/"
  done
  "${strip}" --strip-all "${dest}/quaxel.exe" "${dest}/setup.exe"
  for source in quaxel.exe setup.exe; do
    quaxel_check_format "${dest}/${source}" "${kind}" >/dev/null || die "${dest}/${source} is no ${kind} GUI program"
  done
}

if [ "${1:-}" = "--stage-only" ]; then
  [ $# -eq 3 ] || die "usage: $0 --stage-only BUILD_DIR DEST_DIR"
  stage "$2" "$3"
  exit 0
fi
[ $# -eq 0 ] || die "usage: $0 [--stage-only BUILD_DIR DEST_DIR]"

command -v zip >/dev/null || die "zip is missing (apt-get install zip)"
jobs="$(nproc 2>/dev/null || echo 2)"
out="${root}/build/package"
mkdir -p "${out}"

# Archive members carry the time of the last commit, not of the build.
stamp="$(git -C "${root}" log -1 --format=%ct 2>/dev/null || date +%s)"

for target in win32 win64; do
  build="${root}/build/package-${target}"
  echo "=== ${target}: configure and build"
  (cd "${root}" && cmake --preset "${target}" -B "${build}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUAXEL_BUILD_TESTS=OFF >/dev/null)
  cmake --build "${build}" -j "${jobs}" --target quaxel setup

  version="$(cache_value "${build}" CMAKE_PROJECT_VERSION)"
  [ -n "${version}" ] || die "no project version in ${build}"
  name="quaxel-${version}"
  staging="${out}/stage-${target}"
  archive="${out}/${name}-${target}.zip"
  rm -rf "${staging}" "${archive}"
  stage "${build}" "${staging}/${name}"
  find "${staging}" -exec touch -h -d "@${stamp}" {} +
  (cd "${staging}" && find "${name}" | LC_ALL=C sort | TZ=UTC zip -q -X "${archive}" -@)
  rm -rf "${staging}"
  echo "wrote ${archive#"${root}"/}"
done
