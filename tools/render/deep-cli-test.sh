#!/usr/bin/env bash
# quaxel-render's deep views from outside: centre and zoom, location files,
# the choice of the deep type, the same bytes on any thread count, and each
# bad input with its message and exit code (2: the input, 1: cannot compute),
# never a file left behind. Usage: deep-cli-test.sh QUAXEL-RENDER WORK_FOLDER
set -uo pipefail
render="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
here="$(cd "$(dirname "$0")" && pwd)"
locations="$(cd "$(dirname "$0")/../../tests/data/locations" && pwd)"
work="$2"
rm -rf "${work}"
mkdir -p "${work}"
cd "${work}" || exit 1
source "${here}/expect.sh"

# A boundary point at 1e30: the deep type on its own, named with its reason.
centre=(-0.7436438870371587522 0.1318259042053119566)
expect 0 'Numeric type: Deep \(no other type can tell' "${render}" --centre "${centre[@]}" --zoom 1e30 \
  --iter 400 400 2000 --size 64x48 auto.bmp
grep -Eq '^Reference: [0-9]+ steps at [0-9]+ bits' out.txt || fail "no reference figures"
expect 0 'Numeric type: Deep \(as asked\)' "${render}" --centre "${centre[@]}" --zoom 1e30 --iter 400 400 2000 \
  --size 64x48 --type deep asked.bmp
cmp -s auto.bmp asked.bmp || fail "the deep type chosen and asked for give other bytes"
for t in 1 3; do
  QUAXEL_RENDER_THREADS=$t "${render}" --centre "${centre[@]}" --zoom 1e30 --iter 400 400 2000 --size 64x48 t$t.bmp >/dev/null 2>&1
  cmp -s auto.bmp t$t.bmp || fail "$t threads give other bytes than the default"
done
"${render}" --centre "${centre[@]}" --zoom 1e30 --iter 2000 2000 2000 --size 64x48 oneshot.bmp >/dev/null 2>&1
cmp -s auto.bmp oneshot.bmp || fail "passes give other bytes than one pass to the same end"

# The approximation (on unless told) names its table and share of the
# steps; off, every step is taken and the figures say so.
grep -Eq '^Approximation: tolerance 9.09495e-13, [0-9]+ entries .* steps by [0-9]+ entries \([0-9.]+ %\)$' out.txt ||
  fail "no approximation figures"
expect 0 '^Approximation: off$' "${render}" --centre "${centre[@]}" --zoom 1e30 --iter 2000 2000 2000 --size 64x48 \
  --approximation off plain.bmp
expect 2 'option --tolerance needs a number above 0 and below 1' "${render}" --centre "${centre[@]}" --zoom 1e30 \
  --tolerance 1 bad.bmp
[ -e bad.bmp ] && fail "a refused tolerance left a file"
# A reference and table of two billion steps fit nowhere: refused at once.
expect 1 'iterations needs [0-9]+ MB of memory' "${render}" --centre "${centre[@]}" --zoom 1e30 \
  --iter 2000000000 2000000000 2000000000 --size 32x24 huge.bmp
[ -e huge.bmp ] && fail "a refused deep view left a file"

# Ranges past FPU Extended's reach: the chain ends in the deep type, unless a
# type was asked for, which stays as it always was.
range=(--real -0.7436438870371587500 -0.7436438870371587495 --imag 0.1318259042053119500 0.1318259042053119504)
expect 0 'Numeric type: Deep \(FPU Extended cannot tell' "${render}" "${range[@]}" --iter 500 500 1500 --size 48x36 r.bmp
expect 0 'Numeric type: FPU Extended \(as asked\)' "${render}" "${range[@]}" --iter 500 500 1500 --size 48x36 \
  --type extended rx.bmp

# Below double's range, around c = i (boundary at every depth): the number
# the differences are kept in is named, and the bytes do not depend on the
# thread count there either.
for deep in "1e400 rescaled double" "1e700 80-bit" "1e3000 wide exponent"; do
  zoom=${deep%% *}
  expect 0 "differences in ${deep#* }" "${render}" --centre 0 1 --zoom "${zoom}" --iter 9000 9000 9000 --size 24x16 \
    "i${zoom}.bmp"
  QUAXEL_RENDER_THREADS=1 "${render}" --centre 0 1 --zoom "${zoom}" --iter 9000 9000 9000 --size 24x16 \
    "i${zoom}-1.bmp" >/dev/null 2>&1
  cmp -s "i${zoom}.bmp" "i${zoom}-1.bmp" || fail "zoom ${zoom}: one thread gives other bytes"
done

# Smooth colouring and supersampling in the deep type: RGB written, the same
# bytes for one thread, and one sample a pixel is no supersampling at all.
smooth=(--centre 0 1 --zoom 1e400 --iter 1500 1500 1500 --size 24x16 --colouring smooth)
expect 0 'Samples: 2 x 2 a pixel' "${render}" "${smooth[@]}" --supersample 2 s2.png
QUAXEL_RENDER_THREADS=1 "${render}" "${smooth[@]}" --supersample 2 s2-1.png >/dev/null 2>&1
cmp -s s2.png s2-1.png || fail "deep smooth: one thread gives other bytes"
"${render}" "${smooth[@]}" s1.png >/dev/null 2>&1
"${render}" "${smooth[@]}" --supersample 1 s1b.png >/dev/null 2>&1
cmp -s s1.png s1b.png || fail "deep smooth: --supersample 1 differs from none"
cmp -s s1.png s2.png && fail "deep smooth: 2 x 2 samples made no difference"

# A published location: one pass to its iterations, ignored keys named once.
expect 0 'Passes: 1' "${render}" --location "${locations}/kf2/1e50.kfr" --iter 3000 3000 3000 --size 32x24 kfr.png
expect 0 'warning: .*ignored' "${render}" --location "${locations}/kf2/1e50.kfr" --iter 3000 3000 3000 --size 32x24 kfr2.png

# A deep movie from the start range to the boundary point: frames of every
# type, each line the options that make the frame alone; a middle frame
# re-rendered alone with the movie's reference is the movie's, byte for byte,
# and three parts make the frames of one run.
deepmovie=(--frames 8 --centre "${centre[@]}" --zoom 1e30 --iter 400 400 2000 --size 64x48)
mkdir movie parts
expect 0 '^Frames: 8 written' "${render}" "${deepmovie[@]}" 'movie/f%d.png'
grep -q '^movie/f0.png: --centre -5e-1 0 --zoom 1.3333333333333333333[0-9]* --iter 64 64 256, FPU Single' out.txt \
  || fail "the first frame is not the start range"
grep -q "^movie/f7.png: --centre ${centre[0]} ${centre[1]} --zoom 1e30 --iter 400 400 2000, Deep .*shared reference" \
  out.txt || fail "the last frame is not the target with the shared reference"
grep -q 'FPU Extended' out.txt || fail "no frame between the hardware types and the deep one"
bits="$(sed -n 's/^Reference: the target.s centre at \([0-9]*\) bits.*/\1/p' out.txt)"
[ -n "${bits}" ] || fail "no line for the shared reference"
read -r -a alone <<<"$(sed -n 's/^movie\/f6.png: \(--centre .*\), Deep.*/\1/p' out.txt)"
[ "${#alone[@]}" = 9 ] || fail "frame 6 is not a deep frame with its options: $(grep '^movie/f6' out.txt)"
expect 0 'at --reference$' "${render}" "${alone[@]}" --size 64x48 --reference "${centre[@]}" \
  --reference-precision "${bits}" f6.png
cmp -s f6.png movie/f6.png || fail "frame 6 alone with --reference differs from the movie's"
for k in 0 1 2; do "${render}" "${deepmovie[@]}" --part "${k}/3" 'parts/f%d.png' >/dev/null 2>&1; done
for f in movie/*.png; do cmp -s "${f}" "parts/${f#movie/}" || fail "${f#movie/}: three parts differ from one run"; done

# Bad input: a message, the exit code, and no file.
printf 'Re: -0.75\nIm: 0.1\n' >nozoom.txt
printf 'Re: -0.75\nIm: 0.1\nZoom: 1e30\n' >noiter.txt
printf 'Re: -0.7x5\nIm: 0.1\nZoom: 1e30\nIterations: 100\n' >badnumber.txt
printf 'Re: -0.75\nIm: 0.1\nZoom: -5\nIterations: 100\n' >badzoom.txt
head -c 2000000 /dev/zero | tr '\0' '7' >huge.txt
expect 2 'Zoom' "${render}" --location nozoom.txt --size 32x24 x1.bmp
expect 2 'no iterations: give --iter' "${render}" --location noiter.txt --size 32x24 x2.bmp
expect 2 'position' "${render}" --location badnumber.txt --size 32x24 x3.bmp
expect 2 'zoom' "${render}" --location badzoom.txt --size 32x24 x4.bmp
expect 2 'huge.txt' "${render}" --location huge.txt --size 32x24 x5.bmp
expect 2 'nothere.toml' "${render}" --location nothere.toml --size 32x24 x6.bmp
expect 2 'zoom must be a number above 0' "${render}" --centre 0 0 --zoom 0 x7.bmp
expect 1 'beyond' "${render}" --centre -0.75 0.1 --zoom 1e400000000 --size 32x24 x8.bmp
expect 2 'Mandelbrot' "${render}" --type deep --formula julia --size 32x24 x9.bmp
expect 2 'belongs to single images' "${render}" "${deepmovie[@]}" --reference 0 0 'x%d.bmp'
expect 2 'needs --reference' "${render}" --centre 0 1 --zoom 1e20 --reference-precision 300 x10.bmp
ls x*.bmp 2>/dev/null && fail "a refused view left a file"

[ "${failures}" -eq 0 ] && echo "all passed"
exit $((failures > 0))
