#!/bin/bash
# The formant table of the README: a sung /a/ at 150 Hz (Praat's own source-filter synthesis:
# a phonation pulse train with +-30 cents of vibrato at 5.5 Hz through five formants) raised by
# 400 cents by vocara-cli both ways, by sox, by Rubber Band (R2 and R3, formants kept) and by
# Praat's overlap-add; the formants of each measured by Praat's Burg tracker over the steady
# middle (4.5 formants below 5000 Hz: the setting under which the input reads back the formants
# it was made with). Then the time each takes on 60 s of the same vowel.
#
# Needs praat, sox and rubberband-cli (Debian packages; not needed to build or test Vocara).
# Usage: scripts/formant-table.sh [BUILD_DIR]   (default build)
set -euo pipefail
build=${1:-build}
cli="$build/src/cli/vocara-cli"
for tool in praat sox rubberband; do
  command -v "$tool" >/dev/null || { echo "formant-table: $tool is not installed" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A sung /a/: the first argument seconds long.
vowel() {
  cat >"$work/vowel.praat" <<'PRAAT'
form Vowel
  real seconds 3
  sentence out x.wav
endform
pt = Create PitchTier: "f0", 0, seconds
for i from 0 to seconds * 200
  t = i / 200
  Add point: t, 150 * 2 ^ (30 / 1200 * sin (2 * pi * 5.5 * t))
endfor
pp = To PointProcess
source = To Sound (phonation): 48000, 1, 0.05, 0.7, 0.03, 3, 4
fg = Create FormantGrid: "a", 0, seconds, 5, 550, 1100, 60, 50
for f from 1 to 5
  Remove formant points between: f, 0, seconds
  Remove bandwidth points between: f, 0, seconds
endfor
Add formant point: 1, 0, 780
Add bandwidth point: 1, 0, 80
Add formant point: 2, 0, 1200
Add bandwidth point: 2, 0, 90
Add formant point: 3, 0, 2500
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
  praat --run "$work/vowel.praat" "$1" "$2"
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

overlapAdd() {
  cat >"$work/ola.praat" <<'PRAAT'
form Shift
  sentence in x.wav
  sentence out y.wav
endform
s = Read from file: in$
m = To Manipulation: 0.01, 75, 600
pt = Extract pitch tier
Multiply frequencies: 0, 1000, 2 ^ (400 / 1200)
selectObject: m, pt
Replace pitch tier
selectObject: m
r = Get resynthesis (overlap-add)
Save as WAV file: out$
PRAAT
  praat --run "$work/ola.praat" "$1" "$2"
}

# Vocara's two renders of a SAS built from the vowel with every target 400 cents up.
vocara() {
  "$cli" build "$1" "$work/v.sas" --lowest E2 --highest C6 >/dev/null
  "$cli" edit "$work/v.sas" --transpose 400 >/dev/null
}

row() {
  local name=$1 file=$2
  read -r f1 f2 f3 <<<"$(formants "$file")"
  if [ -z "${in1:-}" ]; then
    in1=$f1 in2=$f2 in3=$f3
    printf '| %s | %s | %s | %s | — |\n' "$name" "$f1" "$f2" "$f3"
  else
    printf '| %s | %s | %s | %s | %+.1f %% / %+.1f %% |\n' "$name" "$f1" "$f2" "$f3" \
      "$(echo "100 * ($f1 / $in1 - 1)" | bc -l)" "$(echo "100 * ($f2 / $in2 - 1)" | bc -l)"
  fi
}

vowel 3 "$work/in.wav"
vocara "$work/in.wav"
"$cli" correct "$work/in.wav" "$work/v.sas" "$work/shift.wav" >/dev/null
"$cli" correct "$work/in.wav" "$work/v.sas" "$work/keep.wav" --formants keep >/dev/null
sox "$work/in.wav" "$work/sox.wav" pitch 400
rubberband -q -p 4 -F "$work/in.wav" "$work/r2.wav"
rubberband -q -3 -p 4 -F "$work/in.wav" "$work/r3.wav"
overlapAdd "$work/in.wav" "$work/ola.wav"

echo '| Render | F1 (Hz) | F2 (Hz) | F3 (Hz) | change of F1 / F2 |'
echo '|---|---:|---:|---:|---:|'
row input "$work/in.wav"
row 'Vocara Correct (shift)' "$work/shift.wav"
row '`sox pitch 400`' "$work/sox.wav"
row 'Rubber Band `-p 4 -F` (R2)' "$work/r2.wav"
row 'Rubber Band `-3 -p 4 -F` (R3)' "$work/r3.wav"
row 'Praat Manipulation, overlap-add' "$work/ola.wav"
row 'Vocara Correct, `--formants keep`' "$work/keep.wav"

echo
echo 'Time on 60 s of the same vowel (s, wall clock):'
vowel 60 "$work/long.wav"
vocara "$work/long.wav"
seconds() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null 2>&1; t1=$(date +%s.%N); echo "$t1 - $t0" | bc -l | xargs printf '%.2f'; }
echo "  Vocara shift:       $(seconds "$cli" correct "$work/long.wav" "$work/v.sas" "$work/o.wav")"
echo "  Vocara keep:        $(seconds "$cli" correct "$work/long.wav" "$work/v.sas" "$work/o.wav" --formants keep)"
echo "  Praat overlap-add:  $(seconds overlapAdd "$work/long.wav" "$work/o.wav")"
echo "  Rubber Band R3 -F:  $(seconds rubberband -q -3 -p 4 -F "$work/long.wav" "$work/o.wav")"
