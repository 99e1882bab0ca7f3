#!/usr/bin/env bash
# build-mplibs.sh [ARCH...] -- static GMP and MPFR (the deep type) and zlib
# and libpng (the renderer's PNG files) for the Windows builds,
# cross-compiled with the posix-thread mingw-w64 compilers from Debian 12's
# own source packages, into build/mplibs/ARCH/{include,lib}. ARCH: x86_64,
# i686 (default both). Made once and kept while this recipe is unchanged (a
# stamp in build/mplibs/ARCH/stamp); see README.md here.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "${here}/../.." && pwd)"
out="${QUAXEL_MPLIBS_DIR:-${root}/build/mplibs}"
work="${out}.work"
jobs="${JOBS:-2}"
# QUAXEL_MPLIBS_PARALLEL=0 builds the architectures one after the other.

# The source packages, pinned: every machine builds the same bytes, and a
# run whose stamp matches needs no network at all. When the archive moves
# on (a point release or security update replaces a version), the download
# fails and says so; change the pin, which also changes the stamp.
gmp_version='2:6.2.1+dfsg1-1.1'
mpfr_version='4.2.0-1'
zlib_version='1:1.2.13.dfsg-1'
libpng_version='1.6.39-2+deb12u5'

archs=("$@")
[ "${#archs[@]}" -gt 0 ] || archs=(x86_64 i686)
for arch in "${archs[@]}"; do
  case "${arch}" in
    x86_64 | i686) command -v "${arch}-w64-mingw32-gcc-posix" >/dev/null ||
      { echo "mplibs: ${arch}-w64-mingw32-gcc-posix is not installed" >&2; exit 1; } ;;
    *) echo "mplibs: unknown ARCH '${arch}' (x86_64 or i686)" >&2; exit 2 ;;
  esac
done

stamp_of() { # $1 arch
  {
    cat "$0"
    echo "gmp ${gmp_version} mpfr4 ${mpfr_version} zlib ${zlib_version} libpng1.6 ${libpng_version} $1"
    "$1-w64-mingw32-gcc-posix" --version | head -n 1
  } | sha256sum | cut -c1-16
}
todo=()
for arch in "${archs[@]}"; do
  [ "$(cat "${out}/${arch}/stamp" 2>/dev/null || true)" = "$(stamp_of "${arch}")" ] &&
    [ -f "${out}/${arch}/lib/libmpfr.a" ] && [ -f "${out}/${arch}/lib/libgmp.a" ] &&
    [ -f "${out}/${arch}/lib/libpng16.a" ] && [ -f "${out}/${arch}/lib/libz.a" ] || todo+=("${arch}")
done
if [ "${#todo[@]}" -eq 0 ]; then
  echo "mplibs: ${archs[*]} ready in ${out#"${root}"/} (made before, recipe unchanged)"
  exit 0
fi

fail() { # $1 log, $2 what
  {
    echo "mplibs: $2 failed. The end of ${1#"${root}"/}:"
    tail -n 25 "$1" | sed 's/^/    /'
  } >&2
  exit 1
}

# 1. Sources, with a private apt configuration: the host's package state is
# neither read nor changed. The binary index is there for m4 alone, which
# GMP's configure needs for its assembly; it is unpacked, not installed.
start=$(date +%s)
rm -rf "${work:?}"
mkdir -p "${work}" "${out}"
fetchlog="${out}-fetch.log"
(
  # as in setup-w32.sh, a sh-style pipeline: a missing sources file is no error
  set -eu +o pipefail
  K=/usr/share/keyrings/debian-archive-keyring.gpg
  # The Debian mirrors this machine already uses, as tools/w32/setup-w32.sh
  # finds them.
  uris() { { grep -hsE '^URIs:' /etc/apt/sources.list.d/*.sources | sed 's/^URIs:[[:space:]]*//' | tr ' ' '\n'
             grep -hsE '^deb[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list | awk '{for(i=2;i<=NF;i++) if ($i ~ /:\/\//) {print $i; break}}'; } | sed 's#/*$##'; }
  M=$(uris | grep -v -- '-security$' | grep -E '/debian$' | head -n 1)
  S=$(uris | grep -E '/debian-security$' | head -n 1)
  if [ -z "$M" ] || [ -z "$S" ]; then echo "no Debian archive and security archive found in the apt sources"; exit 1; fi
  A="${work}/apt"
  mkdir -p "$A/state/lists/partial" "$A/cache/archives/partial" "$A/etc/sources.list.d" "$A/etc/apt.conf.d" "$A/etc/preferences.d"
  : >"$A/state/status"
  printf '%s\n' "deb [signed-by=$K] $M bookworm main" "deb-src [signed-by=$K] $M bookworm main" \
    "deb-src [signed-by=$K] $M bookworm-updates main" "deb-src [signed-by=$K] $S bookworm-security main" >"$A/etc/sources.list"
  { for k in State:state Cache:cache; do printf 'Dir::%s "%s/%s";\n' "${k%%:*}" "$A" "${k#*:}"; done
    printf 'Dir::State::status "%s/state/status";\nDir::Etc::SourceList "%s/etc/sources.list";\nDir::Etc::SourceParts "%s/etc/sources.list.d";\nDir::Etc::Parts "%s/etc/apt.conf.d";\nDir::Etc::PreferencesParts "%s/etc/preferences.d";\nAcquire::Languages "none";\n' "$A" "$A" "$A" "$A" "$A"; } >"$A/apt.conf"
  export APT_CONFIG="$A/apt.conf"
  # A mirror caught mid-sync serves index files that do not match its
  # Release file; that passes within minutes, so wait and retry.
  for wait in 30 60 90 120 0; do
    apt-get -q -o Acquire::Retries=3 update >/dev/null 2>"${work}/update.err" && break
    [ "$wait" -gt 0 ] || { cat "${work}/update.err"; exit 1; }
    echo "apt index download failed, retrying in ${wait} s: $(grep -m1 '^E:' "${work}/update.err")" | tee /dev/stderr
    sleep "$wait"
  done
  cd "${work}"
  apt-get -q -o Acquire::Retries=3 source --download-only "gmp=${gmp_version}" "mpfr4=${mpfr_version}" \
    "zlib=${zlib_version}" "libpng1.6=${libpng_version}"
  apt-get -q -o Acquire::Retries=3 download m4
  mkdir m4root && dpkg -x m4_*.deb m4root
  # One source tree of each, shared by the architectures' build folders.
  tar xf gmp_*.orig.tar.xz && tar xf gmp_*.debian.tar.xz && mv debian gmp-debian
  tar xf mpfr4_*.orig.tar.xz && tar xf mpfr4_*.debian.tar.xz && mv debian mpfr-debian
  cd gmp-6.2.1
  # Debian's two GMP patches: the mpz_inp_raw size overflow fix is source
  # and applies as it is. The other drops doc/ from Makefile.am and
  # configure.ac, since Debian's repacked tarball has no doc/; Debian
  # regenerates with autoreconf, which we have not got, so the same change
  # goes into the generated configure and Makefile.in.
  patch -p1 <../gmp-debian/patches/CVE-2021-43618.patch
  sed -i 's/^\(SUBDIRS = .*\) doc$/\1/' Makefile.in
  sed -i -e 's# doc/Makefile##' -e '/"doc\/Makefile") CONFIG_FILES=/d' configure
  if grep -q 'doc/Makefile' configure; then echo "configure still makes doc/Makefile"; exit 1; fi
  cd ..
  # MPFR: Debian's series is empty; should a patch appear, look at it.
  if grep -qv '^#' mpfr-debian/patches/series; then echo "MPFR has Debian patches now"; exit 1; fi
  # zlib and libpng: Debian's patches are applied as they are (quilt's
  # series order).
  tar xf zlib_*.orig.tar.* && tar xf zlib_*.debian.tar.* && mv debian zlib-debian
  tar xf libpng1.6_*.orig.tar.* && tar xf libpng1.6_*.debian.tar.* && mv debian libpng-debian
  for lib in zlib:zlib-1.2.13.dfsg libpng:libpng-1.6.39; do
    series="${lib%%:*}-debian/patches/series"
    [ -f "${series}" ] || continue
    grep -v '^#' "${series}" | while read -r p _; do
      [ -n "$p" ] && patch -d "${lib#*:}" -p1 <"${lib%%:*}-debian/patches/$p"
    done
  done
  # A libpng patch adds a test to Makefile.am; its generated files stay as
  # released (make would otherwise want automake to remake them).
  (cd libpng-1.6.39 && touch aclocal.m4 && touch configure config.h.in Makefile.in)
) >"${fetchlog}" 2>&1 &
# (run apart and waited for: under "||" the shell would ignore set -e inside)
wait $! || fail "${fetchlog}" "downloading and unpacking the sources"
echo "mplibs: sources ready in $(($(date +%s) - start)) s"

# 2. Per architecture: GMP, then MPFR on it, each configured in a folder of
# its own and installed into build/mplibs/ARCH.
#
# GMP: --enable-fat builds the assembly of every processor of the family and
# picks one at startup by cpuid, so the library runs on any x86_64 and on
# any i686, and still uses the mulx/adx code where the processor has it.
# No -march: GMP's flags are its own, plus SSE2 floating point for i686 as
# the program's win32 toolchain has it.
# MPFR: thread-safe (its caches, flags and exponent range per thread);
# without the decimal and binary128 conversions, which we do not use and
# whose formats its configure cannot check when cross-compiling. Only src/
# is built: no tests, no documents, no benchmarks.
build_arch() { # $1 arch
  local arch="$1" host="$1-w64-mingw32" prefix="${out}/$1" gmpflags=() mpfrflags
  # Cross-compiling, MPFR cannot take GMP's flags from it and would build
  # with -g: its own optimisation, no debug information (a quarter the size).
  mpfrflags="-O2 -fomit-frame-pointer"
  if [ "${arch}" = i686 ]; then
    # GMP's own choice for this host (what it picks without CFLAGS), plus
    # SSE2 arithmetic.
    gmpflags=(CFLAGS="-m32 -O2 -pedantic -fomit-frame-pointer -msse2 -mfpmath=sse")
    mpfrflags="-m32 ${mpfrflags} -msse2 -mfpmath=sse"
  fi
  phase() { echo "== $(date -u +%T) $*"; }
  # Debian's /bin/sh (dash) runs configure, and the libtool script it
  # writes, which starts once for every object file, about a quarter
  # faster than bash.
  export CONFIG_SHELL=/bin/sh
  rm -rf "${prefix:?}" "${work:?}/${arch}"
  mkdir -p "${work}/${arch}/gmp" "${work}/${arch}/mpfr"
  phase "GMP ${gmp_version} for ${host}: configure"
  cd "${work}/${arch}/gmp"
  nice -n 15 "${CONFIG_SHELL}" "${work}/gmp-6.2.1/configure" --host="${host}" --build="$(gcc -dumpmachine)" \
    --prefix="${prefix}" --enable-static --disable-shared --enable-fat --disable-cxx \
    CC="${host}-gcc-posix" M4="${work}/m4root/usr/bin/m4" "${gmpflags[@]}"
  grep -E '^CFLAGS = ' Makefile
  phase "GMP: make"
  nice -n 15 make -j"${jobs}"
  nice -n 15 make install
  phase "MPFR ${mpfr_version} for ${host}: configure"
  cd "${work}/${arch}/mpfr"
  nice -n 15 "${CONFIG_SHELL}" "${work}/mpfr-4.2.0/configure" --host="${host}" --build="$(gcc -dumpmachine)" \
    --prefix="${prefix}" --enable-static --disable-shared --enable-thread-safe \
    --disable-decimal-float --disable-float128 \
    --with-gmp="${prefix}" CC="${host}-gcc-posix" CFLAGS="${mpfrflags}"
  phase "MPFR: make"
  nice -n 15 make -C src -j"${jobs}"
  nice -n 15 make -C src install
  # zlib: its own configure (not autoconf: the host comes as CHOST), in a
  # copy of the tree, since it builds in place; only the static library.
  phase "zlib ${zlib_version} for ${host}"
  cp -a "${work}/zlib-1.2.13.dfsg" "${work}/${arch}/zlib"
  cd "${work}/${arch}/zlib"
  CHOST="${host}" CC="${host}-gcc-posix" CFLAGS="${mpfrflags}" nice -n 15 "${CONFIG_SHELL}" ./configure --static \
    --prefix="${prefix}"
  nice -n 15 make -j"${jobs}" libz.a
  install -d "${prefix}/include" "${prefix}/lib"
  install -m 644 zlib.h zconf.h "${prefix}/include"
  install -m 644 libz.a "${prefix}/lib"
  # libpng on it: the library and its headers only (no tools, no tests).
  phase "libpng ${libpng_version} for ${host}: configure"
  mkdir -p "${work}/${arch}/libpng"
  cd "${work}/${arch}/libpng"
  nice -n 15 "${CONFIG_SHELL}" "${work}/libpng-1.6.39/configure" --host="${host}" --build="$(gcc -dumpmachine)" \
    --prefix="${prefix}" --enable-static --disable-shared \
    CC="${host}-gcc-posix" CFLAGS="${mpfrflags}" CPPFLAGS="-I${prefix}/include" LDFLAGS="-L${prefix}/lib"
  phase "libpng: make"
  nice -n 15 make -j"${jobs}" libpng16.la
  nice -n 15 make install-libLTLIBRARIES install-pkgincludeHEADERS install-nodist_pkgincludeHEADERS \
    install-header-links install-library-links
  phase "installed"
  find "${prefix}" -type f | sort
}

build_one() { # $1 arch
  local arch="$1" log="${out}-$1.log" s
  s=$(date +%s)
  build_arch "${arch}" >"${log}" 2>&1 &
  if ! wait $!; then
    { echo "mplibs: building for ${arch} failed. The end of ${log#"${root}"/}:"
      tail -n 25 "${log}" | sed 's/^/    /'; } >&2
    return 1
  fi
  stamp_of "${arch}" >"${out}/${arch}/stamp"
  echo "mplibs: ${arch} ready in ${out#"${root}"/}/${arch} ($(($(date +%s) - s)) s)"
}
# Both at once, each with make -j2: their configure scripts and make's
# serial stretches use one core, and the other build fills the second.
if [ "${QUAXEL_MPLIBS_PARALLEL:-1}" = 1 ]; then
  pids=()
  for arch in "${todo[@]}"; do
    build_one "${arch}" &
    pids+=($!)
  done
  status=0
  for pid in "${pids[@]}"; do wait "${pid}" || status=1; done
  [ "${status}" -eq 0 ] || exit 1
else
  for arch in "${todo[@]}"; do build_one "${arch}"; done
fi
rm -rf "${work}"
echo "mplibs: ${todo[*]} made in $(($(date +%s) - start)) s"
