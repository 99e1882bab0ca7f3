#!/usr/bin/env bash
# Installs what Quaxel's build and tests need, when it is missing. Idempotent
# and quiet; does nothing slow when everything is present.
set -euo pipefail

packages=(
  cmake ninja-build g++ make file procps
  googletest libbenchmark-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine64 fonts-wine xvfb xdotool x11-utils imagemagick zip
  # tools/run.sh --vnc: shows the program of a machine without a screen; its
  # test asks ss which addresses the server listens on
  x11vnc iproute2
  # quaxel-render's PNG files: libpng natively (tools/mplibs cross-builds it
  # for mingw-w64)
  libpng-dev
  # deep zoom: MPFR for the reference orbits and the oracle; clang's
  # libFuzzer for the readers of long numbers and location files
  libmpfr-dev clang libclang-rt-dev
  # the renderer's batch recipes, run by its tests: GNU parallel, and a
  # single-node Slurm with its own munge
  parallel slurmctld slurmd slurm-client munge
  # tools/w32/build-w32.sh: builds qemu-i386 for the 32-bit Wine
  gcc python3 pkg-config patch xz-utils debian-archive-keyring
)

missing=()
for p in "${packages[@]}"; do
  # Decide by the package, not by a command on PATH: some machines ship
  # stand-ins (a /usr/local/bin/convert that is not ImageMagick).
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "bootstrap: installing ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
# A fresh machine has never fetched the package lists. A mirror caught mid-sync fails the
# update for a few minutes ("Mirror sync in progress?"): wait and retry.
for wait in 30 60 90 120 0; do
  "${sudo[@]}" apt-get -o Acquire::Retries=3 update -qq >/dev/null && break
  [ "$wait" -gt 0 ] || { echo "bootstrap: the package lists could not be fetched" >&2; exit 1; }
  echo "bootstrap: apt-get update failed, retrying in ${wait} s" >&2
  sleep "$wait"
done
"${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
echo "bootstrap: done"
