#!/bin/bash
# The formant table of the README. For each case a sung vowel (Praat's own source-filter
# synthesis: a phonation pulse train with +-30 cents of vibrato at 5.5 Hz through five
# formants) is moved by the case's cents by vocara-cli both ways, by Praat's overlap-add and by
# Rubber Band R3 with formants kept; each result is compared with the same vowel made directly
# at the target pitch. The formants come from Praat's Burg tracker over the steady middle (4.5
# formants below 5000 Hz). Comparing with the direct vowel rather than with the input cancels
# the tracker's own pull towards the harmonics, which grows with the pitch. Then the time each
# takes on 60 s of the first case's vowel.
#
# With --grid, instead: every vowel at F0 150, 220, 300 and 400 Hz moved -700, -400, +400 and
# +700 cents, the worst of the three formants' changes for Vocara's keep render and Praat's
# overlap-add, and how many of the 80 are within 3 %.
#
# Needs praat and rubberband-cli (Debian packages; not needed to build or test Vocara).
# Usage: scripts/formant-table.sh [BUILD_DIR] [--grid]   (default build)
set -euo pipefail
build=${1:-build}
grid=${2:-}
cli="$build/src/cli/vocara-cli"
for tool in praat rubberband bc; do
  command -v "$tool" >/dev/null || { echo "formant-table: $tool is not installed" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# F1 F2 F3 of each vowel (Hz); F4 and F5 are 3500 and 4500 Hz for all.
declare -A formantsOf=([a]="730 1090 2440" [e]="530 1840 2480" [i]="300 2250 3000"
  [o]="570 840 2410" [u]="320 870 2240")
# vowel, F0 (Hz), move (cents)
cases=("a 150 400" "u 120 700" "i 220 -400" "e 180 -700" "o 300 400" "a 300 -700" "e 400 -400"
  "i 400 400")

# vowel SECONDS F0 VOWEL OUT: the vowel sung at F0.
vowel() {
  cat >"$work/vowel.praat" <<'PRAAT'
form Vowel
  real seconds 3
  real f0 150
  real fa 730
  real fb 1090
  real fc 2440
  sentence out x.wav
endform
pt = Create PitchTier: "f0", 0, seconds
for i from 0 to seconds * 200
  t = i / 200
  Add point: t, f0 * 2 ^ (30 / 1200 * sin (2 * pi * 5.5 * t))
endfor
pp = To PointProcess
source = To Sound (phonation): 48000, 1, 0.05, 0.7, 0.03, 3, 4
fg = Create FormantGrid: "v", 0, seconds, 5, 550, 1100, 60, 50
for f from 1 to 5
  Remove formant points between: f, 0, seconds
  Remove bandwidth points between: f, 0, seconds
endfor
Add formant point: 1, 0, fa
Add bandwidth point: 1, 0, 80
Add formant point: 2, 0, fb
Add bandwidth point: 2, 0, 90
Add formant point: 3, 0, fc
Add bandwidth point: 3, 0, 120
Add formant point: 4, 0, 3500
Add bandwidth point: 4, 0, 200
Add formant point: 5, 0, 4500
Add bandwidth point: 5, 0, 250
selectObject: source, fg
voice = Filter
Scale peak: 0.5
Save as WAV file: out$
PRAAT
  # shellcheck disable=SC2086
  praat --run "$work/vowel.praat" "$1" "$2" ${formantsOf[$3]} "$4"
}

formants() {
  cat >"$work/formants.praat" <<'PRAAT'
form Formants
  sentence file x.wav
endform
s = Read from file: file$
d = Get total duration
f = To Formant (burg): 0, 4.5, 5000, 0.025, 50
f1 = Get mean: 1, d / 4, 3 * d / 4, "hertz"
f2 = Get mean: 2, d / 4, 3 * d / 4, "hertz"
f3 = Get mean: 3, d / 4, 3 * d / 4, "hertz"
writeInfoLine: fixed$ (f1, 0), " ", fixed$ (f2, 0), " ", fixed$ (f3, 0)
PRAAT
  praat --run "$work/formants.praat" "$1"
}

# overlapAdd IN OUT CENTS
overlapAdd() {
  cat >"$work/ola.praat" <<'PRAAT'
form Shift
  sentence in x.wav
  sentence out y.wav
  real cents 400
endform
s = Read from file: in$
m = To Manipulation: 0.01, 60, 700
pt = Extract pitch tier
Multiply frequencies: 0, 1000, 2 ^ (cents / 1200)
selectObject: m, pt
Replace pitch tier
selectObject: m
r = Get resynthesis (overlap-add)
Save as WAV file: out$
PRAAT
  praat --run "$work/ola.praat" "$1" "$2" "$3"
}

# vocara IN CENTS: a SAS of the input with every target moved by CENTS.
vocara() {
  "$cli" build "$1" "$work/v.sas" --lowest C2 --highest C6 >/dev/null
  "$cli" edit "$work/v.sas" --transpose "$2" >/dev/null
}

# change REFERENCE FILE: "F1 / F2 / F3" in signed percent against the reference's formants.
change() {
  local r1 r2 r3 f1 f2 f3
  read -r r1 r2 r3 <<<"$1"
  read -r f1 f2 f3 <<<"$(formants "$2")"
  printf '%+.1f / %+.1f / %+.1f' "$(echo "100 * ($f1 / $r1 - 1)" | bc -l)" \
    "$(echo "100 * ($f2 / $r2 - 1)" | bc -l)" "$(echo "100 * ($f3 / $r3 - 1)" | bc -l)"
}

# worst REFERENCE FILE: the largest of the three changes, unsigned, in percent.
worst() {
  local r1 r2 r3 f1 f2 f3
  read -r r1 r2 r3 <<<"$1"
  read -r f1 f2 f3 <<<"$(formants "$2")"
  echo "$f1 $f2 $f3 $r1 $r2 $r3" | awk '{ m = 0; for (i = 1; i <= 3; i++) { d = 100 * ($i / $(i + 3) - 1);
    if (d < 0) d = -d; if (d > m) m = d } printf "%.1f", m }'
}

if [ "$grid" = --grid ]; then
  keepWithin=0 olaWithin=0
  echo '| vowel, F0, move | Vocara `--formants keep`, worst % | Praat overlap-add, worst % |'
  echo '|---|---|---|'
  for v in a e i o u; do
    for f0 in 150 220 300 400; do
      for cents in -700 -400 400 700; do
        target=$(echo "$f0 * e($cents / 1200 * l(2))" | bc -l)
        vowel 3 "$f0" "$v" "$work/in.wav"
        vowel 3 "$target" "$v" "$work/direct.wav"
        direct=$(formants "$work/direct.wav")
        vocara "$work/in.wav" "$cents"
        "$cli" correct "$work/in.wav" "$work/v.sas" "$work/keep.wav" --formants keep >/dev/null
        overlapAdd "$work/in.wav" "$work/ola.wav" "$cents"
        keep=$(worst "$direct" "$work/keep.wav")
        ola=$(worst "$direct" "$work/ola.wav")
        keepWithin=$((keepWithin + $(echo "$keep <= 3" | bc)))
        olaWithin=$((olaWithin + $(echo "$ola <= 3" | bc)))
        printf '| /%s/ %s Hz %+d c | %s | %s |\n' "$v" "$f0" "$cents" "$keep" "$ola"
      done
    done
  done
  echo
  echo "Within 3 %: Vocara keep $keepWithin of 80, Praat overlap-add $olaWithin of 80"
  exit 0
fi

echo '| vowel, F0, move | direct vowel F1 / F2 / F3 (Hz) | Vocara `--formants keep` | Praat overlap-add | Rubber Band R3 `-F` | Vocara resampling |'
echo '|---|---|---|---|---|---|'
for c in "${cases[@]}"; do
  read -r v f0 cents <<<"$c"
  target=$(echo "$f0 * e($cents / 1200 * l(2))" | bc -l)
  vowel 3 "$f0" "$v" "$work/in.wav"
  vowel 3 "$target" "$v" "$work/direct.wav"
  direct=$(formants "$work/direct.wav")
  vocara "$work/in.wav" "$cents"
  "$cli" correct "$work/in.wav" "$work/v.sas" "$work/shift.wav" >/dev/null
  "$cli" correct "$work/in.wav" "$work/v.sas" "$work/keep.wav" --formants keep >/dev/null
  overlapAdd "$work/in.wav" "$work/ola.wav" "$cents"
  rubberband -q -3 -p "$(echo "$cents / 100" | bc -l)" -F "$work/in.wav" "$work/r3.wav" 2>/dev/null
  printf '| /%s/ %s Hz %+d c | %s | %s | %s | %s | %s |\n' "$v" "$f0" "$cents" "${direct// / \/ }" \
    "$(change "$direct" "$work/keep.wav")" "$(change "$direct" "$work/ola.wav")" \
    "$(change "$direct" "$work/r3.wav")" "$(change "$direct" "$work/shift.wav")"
done

echo
echo 'Time on 60 s of /a/ at 150 Hz raised 400 cents (s, wall clock):'
vowel 60 150 a "$work/long.wav"
vocara "$work/long.wav" 400
seconds() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N); echo "$t1 - $t0" | bc -l | xargs printf '%.2f'; }
echo "  Vocara resampling:  $(seconds "$cli" correct "$work/long.wav" "$work/v.sas" "$work/o.wav")"
echo "  Vocara keep:        $(seconds "$cli" correct "$work/long.wav" "$work/v.sas" "$work/o.wav" --formants keep)"
echo "  Praat overlap-add:  $(seconds overlapAdd "$work/long.wav" "$work/o.wav" 400)"
echo "  Rubber Band R3 -F:  $(seconds rubberband -q -3 -p 4 -F "$work/long.wav" "$work/o.wav")"
