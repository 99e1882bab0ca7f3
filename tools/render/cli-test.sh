#!/usr/bin/env bash
# quaxel-render from outside: saved views, movies, and each bad input with its
# message and exit code. Usage: cli-test.sh QUAXEL-RENDER WORK_FOLDER
set -uo pipefail
render="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
here="$(cd "$(dirname "$0")" && pwd)"
work="$2"
# A run that failed half-way may have left its tiny file system mounted.
umount "${work}/full" 2>/dev/null
rm -rf "${work}"
mkdir -p "${work}"
cd "${work}" || exit 1
source "${here}/expect.sh"

printf '[Seahorse]\r\nRealMin=-0.7536\r\nRealMax=-0.7336\r\nImagMin=0.09\r\nImagMax=0.105\r\nConstReal=0\r\nConstImag=0\r\nIterStart=64\r\nIterInc=64\r\nIterEnd=512\r\nFormula=0\r\n[Hand edit]\r\nRealMin=-0.7.5\r\nIterEnd=300\r\n' >quaxel.ini

expect 0 '^Seahorse$' "${render}" --list-views quaxel.ini
grep -q '^Hand edit$' out.txt || fail "--list-views misses a name"
expect 0 'Numeric type: FPU Single \(the program.s default\)' "${render}" --ini quaxel.ini --view Seahorse --size 160x120 saved.bmp
expect 0 'Written' "${render}" --real -0.7536 -0.7336 --imag 0.09 0.105 --iter 64 64 512 --size 160x120 typed.bmp
cmp -s saved.bmp typed.bmp || fail "a saved view renders otherwise than the same view typed"
# An explicit option overrides the saved value.
expect 0 'FPU Double \(as asked\)' "${render}" --ini quaxel.ini --view Seahorse --type double --iter 64 64 128 --size 160x120 over.bmp
expect 0 'Written' "${render}" --real -0.7536 -0.7336 --imag 0.09 0.105 --iter 64 64 128 --type double --size 160x120 over2.bmp
cmp -s over.bmp over2.bmp || fail "options given do not override the saved view"
# Too fine for FPU Single: the program's fallback, and why.
expect 0 'FPU Double \(FPU Single cannot tell neighbouring pixels apart' "${render}" --real -0.75 -0.74999999 --imag 0.1 0.10000001 --size 100x100 deep.png

# Bad input.
expect 1 'cannot open nothere.ini' "${render}" --ini nothere.ini --view Seahorse x.png
expect 1 'no view "Nope" in quaxel.ini; the views there: Seahorse, Hand edit' "${render}" --ini quaxel.ini --view Nope x.png
expect 0 'warning: quaxel.ini \[Hand edit\] RealMin="-0.7.5" is damaged: read as -2' "${render}" --ini quaxel.ini --view 'Hand edit' --size 40x30 hand.png
expect 1 'the folder missing/ does not exist' "${render}" --size 40x30 missing/x.png
expect 2 'option --frames needs a number from 1 to 100000.*' "${render}" --frames 0 --real -1 0 --imag 0 1 f%d.png
expect 2 'usage: quaxel-render' "${render}" --frames 100001 --real -1 0 --imag 0 1 f%d.png
expect 1 'needs [0-9]+ MB of memory' "${render}" --size 65535x65535 --type extended huge.png
[ -e huge.png ] && fail "a refused poster left a file"

# Ctrl+C: a clean end, no file under the output name and no temporary one.
"${render}" --size 4000x4000 --iter 64 64 4096 stopped.png >stop.txt 2>&1 &
pid=$!
sleep 2
kill -INT "${pid}"
wait "${pid}"
code=$?
[ "${code}" -eq 130 ] || fail "Ctrl+C ended with ${code}, not 130"
grep -q 'interrupted; nothing written to stopped.png' stop.txt || fail "no interruption message"
ls -a | grep -q '\.tmp$' && fail "a temporary file was left"
[ -e stopped.png ] && fail "an interrupted poster was written"

# Movie: first and last frames are the start and target views; --resume
# computes only what is missing.
mkdir frames
expect 0 'Frames: 5 written' "${render}" --ini quaxel.ini --zoom-to Seahorse --frames 5 --size 160x120 'frames/f%03d.bmp'
expect 0 'Written' "${render}" --size 160x120 start.bmp
cmp -s frames/f000.bmp start.bmp || fail "the first frame is not the start view"
cmp -s frames/f004.bmp saved.bmp || fail "the last frame is not the saved view"
cp frames/f002.bmp middle.bmp
rm frames/f002.bmp
expect 0 'Frames: 1 written, 4 existing skipped' "${render}" --ini quaxel.ini --zoom-to Seahorse --frames 5 --size 160x120 --resume 'frames/f%03d.bmp'
cmp -s frames/f002.bmp middle.bmp || fail "a resumed frame differs"

# Frames on several threads are the frames of one, byte for byte, and their
# lines come in frame order; the zoom goes deep enough for the types to change.
mkdir one many
for t in 1 3; do
  dir=one; [ "${t}" = 1 ] || dir=many
  expect 0 'Frames: 12 written' env QUAXEL_RENDER_THREADS="${t}" "${render}" --frames 12 --size 96x72 \
    --real -0.75 -0.74999999 --imag 0.1 0.10000001 --iter 64 64 512 "${dir}/f%02d.png"
  grep -o '^[a-z]*/f[0-9]*\.png:' out.txt | sed 's,^[a-z]*/,,' >"${dir}.lines"
done
grep -q 'FPU Double' out.txt || fail "the threaded movie never changed its type"
for f in one/*.png; do cmp -s "${f}" "many/${f#one/}" || fail "${f#one/} differs between 1 and 3 threads"; done
cmp -s one.lines many.lines || fail "the frames' lines are out of order on 3 threads"
[ "$(wc -l <one.lines)" = 12 ] || fail "not one line per frame"

# RGB output: one sample a pixel is no supersampling at all, and the bytes
# (so the decoded pixels) do not depend on the number of threads, for full
# and adaptive supersampling; what is not an RGB PNG is a usage error.
smooth=(--real -0.7536 -0.7336 --imag 0.09 0.105 --iter 64 64 512 --palette 4 --colouring smooth --size 96x72)
expect 0 'Colouring: ' "${render}" "${smooth[@]}" plain.png
expect 0 'Samples: 1 x 1' "${render}" "${smooth[@]}" --supersample 1 one.png
cmp -s plain.png one.png || fail "--supersample 1 differs from no supersampling"
for t in 1 3; do
  expect 0 'Written' env QUAXEL_RENDER_THREADS="${t}" "${render}" "${smooth[@]}" --supersample 2 "full${t}.png"
  expect 0 'Refined: [0-9]+ of 6912 pixels' env QUAXEL_RENDER_THREADS="${t}" "${render}" "${smooth[@]}" \
    --supersample 3 --adaptive --depth 16 "adaptive${t}.png"
done
cmp -s full1.png full3.png || fail "a supersampled image differs between 1 and 3 threads"
cmp -s adaptive1.png adaptive3.png || fail "an adaptive image differs between 1 and 3 threads"
cmp -s full1.png plain.png && fail "supersampling changed nothing"
expect 1 '8000 x 8000 \(8 x 8 samples a pixel\) image in FPU Single needs [0-9]+ MB' "${render}" --size 8000x8000 \
  --colouring smooth --supersample 8 huge.png
expect 2 'option --supersample needs a number from 1 to 16' "${render}" --supersample 0 x.png
expect 2 'option --depth takes 8 or 16 bits per channel, not 12' "${render}" --depth 12 x.png
expect 2 'the output must end in .png \(a BMP stays 8-bit\)' "${render}" --colouring smooth x.bmp
expect 1 '8000 x 8000 \(8 x 8 samples a pixel\) image in the deep type to 256 iterations needs [0-9]+ MB' \
  "${render}" --colouring smooth --supersample 8 --centre 0 1 --zoom 1e30 --size 8000x8000 huge.png

# A full disk: a tiny file system where this may mount one (root, as in CI).
mkdir full
if mount -t tmpfs -o size=16k tmpfs full 2>/dev/null; then
  trap 'umount "${work}/full" 2>/dev/null' EXIT
  expect 1 'cannot write full/f[0-9].png: No space left on device; [0-9] frames written before it are kept' \
    "${render}" --frames 10 --real -0.75 -0.74 --imag 0.1 0.11 --size 200x150 'full/f%d.png'
  kept="$(sed -n 's/.* \([0-9]\) frames written before it are kept/\1/p' out.txt)"
  [ "$(ls full | grep -c '^f[0-9]\.png$')" = "${kept}" ] || fail "not exactly the ${kept} frames written were kept"
  [ "${kept:-0}" -ge 1 ] || fail "the disk was full before the first frame"
  ls -a full | grep -q '\.tmp$' && fail "a temporary file was left on the full disk"
  chmod 755 full
  umount full
else
  echo "note: no tmpfs could be mounted here; the full-disk case was not run"
fi

[ "${failures}" -eq 0 ] && echo "all passed"
exit $((failures > 0))
