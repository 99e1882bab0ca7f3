#!/usr/bin/env bash
# A movie split into parts from outside: N parts make exactly the frames of
# one run, byte for byte; a part killed mid-way leaves no partial frame and,
# resumed, ends with the same bytes. Usage: parts-test.sh QUAXEL-RENDER WORK_FOLDER
set -uo pipefail
render="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
here="$(cd "$(dirname "$0")" && pwd)"
work="$2"
rm -rf "${work}"
mkdir -p "${work}"
cd "${work}" || exit 1
source "${here}/expect.sh"

same_frames() {  # FOLDER WHAT: every frame of the single run, the same bytes, nothing else
  local f
  for f in one/*; do cmp -s "${f}" "$1/${f#one/}" || fail "$2: ${f#one/} differs from one run"; done
  [ "$(ls "$1" | grep -vc '\.tmp$')" = "$(ls one | wc -l)" ] || fail "$2: other files than the movie's frames"
}

movie=(--frames 6 --size 64x48 --real -0.7536 -0.7336 --imag 0.09 0.105 --iter 64 64 512)
mkdir one
expect 0 '^Frames: 6 written, 0 existing skipped, 0 failed, ' "${render}" "${movie[@]}" 'one/f%02d.png'

# Four parts and seven (one of which has no frame): each frame is made by
# exactly one part, and each part says so in its summary line.
for n in 4 7; do
  mkdir "parts${n}"
  : >"lines${n}"
  for ((k = 0; k < n; k++)); do
    mine=$(( (6 - k + n - 1) / n ))
    expect 0 "^Frames: ${mine} written, 0 existing skipped, 0 failed \(part ${k}/${n}: ${mine} of 6 frames\)" \
      "${render}" "${movie[@]}" --part "${k}/${n}" "parts${n}/f%02d.png"
    grep -o '^parts[0-9]*/f[0-9]*\.png:' out.txt >>"lines${n}"
  done
  [ "$(sort "lines${n}" | uniq | wc -l)" = 6 ] && [ "$(wc -l <"lines${n}")" = 6 ] \
    || fail "${n} parts did not make each frame once: $(tr '\n' ' ' <"lines${n}")"
  same_frames "parts${n}" "${n} parts"
done
expect 2 'option --part needs K/N' "${render}" "${movie[@]}" --part 3/3 'x%d.png'
expect 2 'option --part needs K/N' "${render}" "${movie[@]}" --part 1/0 'x%d.png'
expect 2 'option --part needs K/N' "${render}" "${movie[@]}" --part one/2 'x%d.png'

# The GNU parallel recipes of docs/renderer.md, the lines as they stand
# there: local jobs, and through an ssh login file whose one line (":") is
# this machine. Parallel keeps its files under $HOME: here, the work folder.
recipe() { grep -m1 -F "$1" "${here}/../../docs/renderer.md"; }
for how in "| QUAXEL_RENDER_THREADS=1 parallel -j 2 " "| parallel --sshloginfile hosts.txt "; do
  line="$(recipe "${how}")"
  [ -n "${line}" ] || { fail "docs/renderer.md has no line with '${how}'"; continue; }
  rm -rf frames && mkdir frames
  echo ':' >hosts.txt
  R="${render}" MOVIE="${movie[*]} --resume frames/f%02d.png" N=4 HOME="${work}" \
    bash -c "${line}" </dev/null >recipe.txt 2>&1 || fail "the recipe failed: ${line}: $(cat recipe.txt)"
  [ "$(grep -c '^Frames: ' recipe.txt)" = 4 ] || fail "not four summary lines from: ${line}"
  same_frames frames "${line}"
done

# A part killed for real (SIGKILL: no handler runs) while it writes: the
# frames it left are complete, and --resume makes the rest, the same bytes.
slow=(--frames 8 --size 200x150 --real -0.7536 -0.7336 --imag 0.09 0.105 --iter 64 64 2048)
mkdir slow killed
"${render}" "${slow[@]}" 'slow/f%d.bmp' >/dev/null 2>&1 || fail "the slow movie failed"
QUAXEL_RENDER_THREADS=1 "${render}" "${slow[@]}" --part 0/2 'killed/f%d.bmp' >killed.txt 2>&1 &
pid=$!
for _ in $(seq 1 300); do [ -e killed/f2.bmp ] && break; sleep 0.02; done
kill -KILL "${pid}"
wait "${pid}" 2>/dev/null
[ -e killed/f2.bmp ] || fail "the part was killed before its second frame"
[ -e killed/f6.bmp ] && fail "the part was done before it was killed"
for f in killed/*.bmp; do cmp -s "${f}" "slow/${f#killed/}" || fail "the killed part left ${f} incomplete or wrong"; done
expect 0 'Frames: [12] written, [23] existing skipped, 0 failed \(part 0/2' \
  "${render}" "${slow[@]}" --part 0/2 --resume 'killed/f%d.bmp'
expect 0 'Frames: 4 written, 0 existing skipped, 0 failed \(part 1/2' \
  "${render}" "${slow[@]}" --part 1/2 --resume 'killed/f%d.bmp'
for f in slow/*.bmp; do cmp -s "${f}" "killed/${f#slow/}" || fail "${f#slow/} differs after the resumed part"; done

[ "${failures}" -eq 0 ] && echo "all passed"
exit $((failures > 0))
