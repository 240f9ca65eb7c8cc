#!/usr/bin/env bash
# Times SAS File / Build in the real program under Xvfb against `vocara-cli build` on the same
# recording (default: the benchmarks' ten-minute tone), both from the moment the work starts to
# the moment the SAS file appears (it appears whole, by a rename, so its appearance is the end).
#
#   scripts/gui-build-timing.sh [build-dir] [recording.wav]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
WAV=${2:-${TMPDIR:-/tmp}/vocara-program-bench.wav}
[ -f "$WAV" ] || { echo "no recording at $WAV (run the benchmarks once, or name one)" >&2; exit 1; }
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT

now() { date +%s.%N; }

start=$(now)
"$BUILD/src/cli/vocara-cli" build "$WAV" "$OUT/cli.sas"
cli=$(echo "$(now) - $start" | bc)

export OUT WAV BUILD
gui=$(xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  "$BUILD/vocara" "$WAV" >/dev/null 2>&1 &
  program=$!
  name=$(basename "$WAV")
  until xdotool search --name "$name" >/dev/null 2>&1; do sleep 0.1; done
  sleep 1
  # The "SAS File" menu title on the menu bar, then its "&Build" item.
  xdotool mousemove 268 8 click 1
  sleep 0.5
  xdotool key b
  until xdotool search --name "Build SAS as" >/dev/null 2>&1; do sleep 0.1; done
  sleep 0.5
  xdotool type "$OUT/gui.sas"
  start=$(date +%s.%N)
  xdotool key Return
  until [ -f "$OUT/gui.sas" ]; do sleep 0.005; done
  end=$(date +%s.%N)
  kill $program
  echo "$end - $start" | bc')
cmp "$OUT/cli.sas" "$OUT/gui.sas" && echo "same bytes"
echo "vocara-cli build: ${cli} s"
echo "program Build:    ${gui} s"
echo "ratio:            $(echo "scale=3; $gui / $cli" | bc)"
