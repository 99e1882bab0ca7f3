#!/bin/sh
# setup-w32.sh [DIR] -- run 32-bit Windows (PE32/i686) programs on a Debian 12 x86_64 host whose
# kernel cannot execute i386 code (IA32 emulation off). Uses i386 wine 8.0 from bookworm, extracted
# privately, under qemu-i386 7.2 (bookworm source) rebuilt with qemu-7.2-i386-wine.patch.
# Needs: apt access to bookworm main/updates/security (i386 + deb-src indexes, via private apt configs),
# gcc, ninja, python3, pkg-config, patch, xz; the host's wine64 8.0 (its wineserver is used).
# tools/w32/build-w32.sh runs it into the build folder once and keeps the result.
set -eu
D=$(readlink -f "${1:-/tmp/w32}"); HERE=$(dirname "$(readlink -f "$0")")
. /etc/os-release
[ "${VERSION_CODENAME:-}" = bookworm ] || { echo "setup-w32: made for Debian 12 (bookworm), not ${PRETTY_NAME:-this system}" >&2; exit 1; }
# The 32-bit programs talk to the host's wineserver: same Wine version, so the same protocol.
V=$(dpkg-query -W -f='${Version}' wine64 2>/dev/null) || { echo "setup-w32: wine64 is not installed" >&2; exit 1; }
mkdir -p "$D" && cd "$D"
K=/usr/share/keyrings/debian-archive-keyring.gpg
# The Debian mirrors this machine already uses: the first archive and the first security archive
# named in its apt sources (deb822 "URIs:" lines or one-line "deb" entries).
uris() { { grep -hsE '^URIs:' /etc/apt/sources.list.d/*.sources | sed 's/^URIs:[[:space:]]*//' | tr ' ' '\n'
           grep -hsE '^deb[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list | awk '{for(i=2;i<=NF;i++) if ($i ~ /:\/\//) {print $i; break}}'; } | sed 's#/*$##'; }
M=$(uris | grep -v -- '-security$' | grep -E '/debian$' | head -n 1)
S=$(uris | grep -E '/debian-security$' | head -n 1)
[ -n "$M" ] && [ -n "$S" ] || { echo "setup-w32: no Debian archive and security archive found in the apt sources" >&2; exit 1; }
mkconf() { # $1 dir, $2 arch-or-empty, $3 sources lines
  mkdir -p "$1/state/lists/partial" "$1/cache/archives/partial" "$1/etc/sources.list.d" "$1/etc/apt.conf.d" "$1/etc/preferences.d"
  : > "$1/state/status"; printf '%s\n' "$3" > "$1/etc/sources.list"
  { [ -n "$2" ] && printf 'APT::Architecture "%s";\nAPT::Architectures { "%s"; };\n' "$2" "$2"
    for k in State:state Cache:cache; do printf 'Dir::%s "%s/%s";\n' "${k%%:*}" "$1" "${k#*:}"; done
    printf 'Dir::State::status "%s/state/status";\nDir::Etc::SourceList "%s/etc/sources.list";\nDir::Etc::SourceParts "%s/etc/sources.list.d";\nDir::Etc::Parts "%s/etc/apt.conf.d";\nDir::Etc::PreferencesParts "%s/etc/preferences.d";\nAcquire::Languages "none";\n' "$1" "$1" "$1" "$1" "$1"; } > "$1/apt.conf"
}
# A mirror caught mid-sync serves index files that do not match its Release file ("File has
# unexpected size ... Mirror sync in progress?"): wait and retry once. Some mirrors stay that way
# for days in their security archive; the packages needed here are all in the main archive (the
# security archive only carries newer builds of some), so that archive is then left out, with a
# line saying so, rather than failing the run.
update() { # $1 apt config
  for wait in 30 0; do
    APT_CONFIG="$1" apt-get -q -o Acquire::Retries=3 update >/dev/null 2>"$D/update.err" && return 0
    [ "$wait" -gt 0 ] || break
    echo "setup-w32: apt index download failed, retrying in ${wait} s: $(grep -m1 '^E:' "$D/update.err")" >&2
    sleep "$wait"
  done
  list="$(dirname "$1")/etc/sources.list"
  if grep -q "^E: Failed to fetch $S/" "$D/update.err" && ! grep '^E: Failed to fetch' "$D/update.err" | grep -qv "$S/"; then
    echo "setup-w32: the security archive's index stays inconsistent on this mirror; going on without it" >&2
    grep -v " $S " "$list" > "$list.new" && mv "$list.new" "$list"
    APT_CONFIG="$1" apt-get -q -o Acquire::Retries=3 update >/dev/null 2>"$D/update.err" && return 0
  fi
  cat "$D/update.err" >&2
  return 1
}
# 1. i386 wine 8.0 + its i386 library closure (no dpkg --add-architecture; nothing installed)
mkconf "$D/apt" i386 "deb [arch=i386 signed-by=$K] $M bookworm main
deb [arch=i386 signed-by=$K] $M bookworm-updates main
deb [arch=i386 signed-by=$K] $S bookworm-security main"
update "$D/apt/apt.conf"
APT_CONFIG="$D/apt/apt.conf" apt-get -q -o Acquire::Retries=3 -y --download-only --no-install-recommends install \
  "wine32=$V" "wine32-preloader=$V" libxrender1 libxrandr2 libxi6 libxcursor1 libxfixes3 libxcomposite1 libxinerama1 libxxf86vm1 >/dev/null
mkdir -p root; for f in apt/cache/archives/*.deb; do dpkg -x "$f" root; done
# what libwine's postinst would do: zlib1.dll as wine builtin
for a in i686:i386 x86_64:x86_64; do in=root/usr/${a%%:*}-w64-mingw32/lib/zlib1.dll
  { head -c 64 "$in"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$in"; } > "root/usr/lib/i386-linux-gnu/wine/${a#*:}-windows/zlib1.dll"; done
echo 'include /etc/ld.so.conf.d/*.conf' > root/etc/ld.so.conf; ldconfig -r "$D/root"   # i386 ld.so.cache (else the host's is used)
# 2. qemu-i386 7.2 from bookworm source + patch (per-thread GDT, sigcontext trapno, MAP_FIXED_NOREPLACE,
# guest base 0 above the 64 KiB that the kernel keeps);
# the build's own dependencies are downloaded and unpacked, not installed (the host's package lists
# are not needed either: the private config has the binary indexes of the host's architecture)
mkconf "$D/apt-src" "" "deb [signed-by=$K] $M bookworm main
deb [signed-by=$K] $S bookworm-security main
deb-src [signed-by=$K] $M bookworm main
deb-src [signed-by=$K] $S bookworm-security main"
update "$D/apt-src/apt.conf"
mkdir -p qsrc bdeb broot bin; (cd qsrc && APT_CONFIG="$D/apt-src/apt.conf" apt-get -q -o Acquire::Retries=3 source --download-only qemu >/dev/null)
(cd bdeb && APT_CONFIG="$D/apt-src/apt.conf" apt-get -q -o Acquire::Retries=3 download libglib2.0-dev libpcre2-dev libffi-dev zlib1g-dev libmount-dev libblkid-dev libselinux1-dev libsepol-dev meson >/dev/null)
for f in bdeb/*.deb; do dpkg -x "$f" broot; done
printf '#!/bin/sh\nPYTHONPATH=%s/broot/usr/lib/python3/dist-packages exec python3 %s/broot/usr/bin/meson "$@"\n' "$D" "$D" > bin/meson; chmod +x bin/meson
cd qsrc && rm -rf qemu-7.2.0 && tar xf qemu_7.2+dfsg.orig.tar.xz && cd qemu-7.2.0 && tar xf ../qemu_*.debian.tar.xz
for p in $(grep -v '^#' debian/patches/series | awk '{print $1}'); do patch -p1 -s < "debian/patches/$p"; done
patch -p1 < "$HERE/qemu-7.2-i386-wine.patch"
mkdir -p build && cd build
export PKG_CONFIG_SYSROOT_DIR="$D/broot" PKG_CONFIG_LIBDIR="$D/broot/usr/lib/x86_64-linux-gnu/pkgconfig:$D/broot/usr/share/pkgconfig" PYTHONPATH="$D/broot/usr/lib/python3/dist-packages"
../configure --target-list=i386-linux-user --static --disable-system --enable-linux-user --disable-tools --disable-docs \
  --without-default-features --disable-werror --disable-capstone --disable-plugins --with-git-submodules=ignore --meson="$D/bin/meson" >/dev/null
nice ninja -j"${JOBS:-2}" qemu-i386 >/dev/null
cp qemu-i386 "$D/bin/qemu-i386-w32"; cd "$D"
# 3. wrappers: the kernel cannot exec i386 ELF, so wine's re-exec of its preloader goes through qemu.
# -B 0: guest addresses are host addresses, so the wineserver's reads and writes of another
# process's memory (/proc/PID/mem: ReadProcessMemory, WriteProcessMemory) reach the right bytes.
rm -f root/usr/lib/wine/wine-preloader
printf '#!/bin/sh\nexec "${W32_QEMU:-%s/bin/qemu-i386-w32}" -B 0 -L %s/root %s/root/usr/lib/wine/wine-preloader.static "$@"\n' "$D" "$D" "$D" > root/usr/lib/wine/wine-preloader
printf '#!/bin/sh\nexec "${W32_QEMU:-%s/bin/qemu-i386-w32}" -B 0 -L %s/root %s/root/usr/lib/wine/wine "$@"\n' "$D" "$D" "$D" > bin/wine32
chmod +x root/usr/lib/wine/wine-preloader bin/wine32
echo "ready: WINEARCH=win32 WINEPREFIX=... $D/bin/wine32 program.exe"
