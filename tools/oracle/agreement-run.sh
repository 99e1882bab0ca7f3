#!/usr/bin/env bash
# The full agreement run of the deep type against the MPFR oracle: 3,000
# pixels of each view at 640x360, the reports into build/agreement/, and a
# summary line per view. Locations whose limit runs to hundreds of thousands
# are cut to 60,000 iterations (the oracle's share of such a run would take
# hours: an inside pixel costs it every step in MPFR). The deep calculation
# takes the approximation as the renderer does; arguments are passed on to
# every view (--approximation off: every step).
#   tools/oracle/agreement-run.sh [--approximation off] (after: cmake --preset bench && cmake --build --preset bench)
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
agree="${root}/build/bench/tools/oracle/quaxel-oracle-agree"
out="${root}/build/agreement"
locations="${root}/tests/data/locations/rust-fractal"
[ -x "${agree}" ] || { echo "build the bench preset first (${agree})" >&2; exit 2; }
mkdir -p "${out}"
# A Misiurewicz point: boundary at every depth.
C=-0.2281554936539618192145720140991260067373983511745080323795979810844156630360130667574210427119704372689395853868164699053606217683389294942385453905473536385036091514212085247889149552407182946498073999359998588167613691100065455015579476925115115364565760151940105399092769355043257072039273452379232586677021
D=1.115142508039937359745764636315014068188778090467954603627468033481040909294635516857257200687476522887210032245103332467408949081745718845259984253013988800378961149845153818713558226744792671019403938236901475882169695320397390989068481578753953582133839396195487225762427539014369370066740615605805124236847
failed=0
extra=("$@")
run() {
  local name="$1"
  shift
  "${agree}" "$@" "${extra[@]}" >"${out}/${name}.txt" 2>&1 || failed=$((failed + 1))
  printf '%-16s %s\n' "${name}" "$(grep -E '^(PASS|FAIL)|compared' "${out}/${name}.txt" | tr -s ' \n' ' ')"
}
run 1e20 --centre "$C" "$D" --zoom 1e20 --iter 1000
run 1e50 --centre "$C" "$D" --zoom 1e50 --iter 2000
run 1e280 --centre "$C" "$D" --zoom 1e280 --iter 4000
run 1e287 --centre "$C" "$D" --zoom 1e287 --iter 4000
for f in flake glitch_test_3 glitch_test_4 glitch_test_5; do run "$f" --location "${locations}/$f.toml"; done
for f in glitch_test glitch_test_2 glitch_test_6 e50 e227; do run "$f" --location "${locations}/$f.toml" --iter 60000; done
# Below double's range: c = i (boundary at every depth, the centre exact) in
# the rescaled double, at its end, and the published locations in each
# difference number; e10000's oracle works at 33,000 bits, so a few pixels.
run i1e400 --centre 0 1 --zoom 1e400 --iter 2000
run i1e600 --centre 0 1 --zoom 1e600 --iter 3000
run e401 --location "${locations}/e401.toml" --size 320x180
run e1000 --location "${locations}/e1000.toml" --size 320x180
run e1086 --location "${locations}/e1086.toml" --size 320x180 --pixels 100
run e10000 --location "${locations}/e10000.toml" --size 32x24 --pixels 4
echo "reports in ${out}"
exit $((failed > 0))
