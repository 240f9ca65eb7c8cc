#!/usr/bin/env bash
# Correction of a 10-minute 48 kHz 16-bit harmonic tone, as real-time factors (seconds of audio
# per second of work), side by side with `sox FILE OUT pitch 50` on the same file, which shifts
# the pitch by 50 cents as the up50 case does. Also the peak memory of `vocara-cli correct` on
# the 10-minute file and on its first minute: the render's memory must not grow with length.
#
#   scripts/bench-correct.sh          # Release build in build-bench/, files in the temp folder
#   RUNS=5 scripts/bench-correct.sh
#
# sox is only used for this comparison (Debian: apt-get install sox); without it the sox
# columns are left out.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD:-build-bench}
runs=${RUNS:-3}
audio_seconds=600
tmp=${TMPDIR:-/tmp}

log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOCARA_GUI=OFF &&
  cmake --build "$build" -j2 --target vocara_bench vocara-cli; } >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
cli="$build/src/cli/vocara-cli"

# The benchmark generates the tone and the SAS files on first use and keeps them.
bench_csv=$("$build/bench/vocara_bench" --benchmark_filter=BM_Correct --benchmark_repetitions="$runs" \
  --benchmark_format=csv 2>/dev/null)
wav="$tmp/vocara-correct-bench.wav"
out="$tmp/vocara-correct-bench-cmp.wav"

# Fastest of `runs` wall-clock times of a command, in seconds.
best_time() {
  local best="" t
  for _ in $(seq "$runs"); do
    t=$( { TIMEFORMAT=%R; time "$@" >/dev/null 2>&1; } 2>&1 )
    if [[ -z $best ]] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
  done
  echo "$best"
}

sox_s=""
if command -v sox >/dev/null; then
  sox_s=$(best_time sox "$wav" "$out" pitch 50)
fi

printf '%-10s %12s %12s %12s %10s\n' case "bench x_rt" "cli x_rt" "sox x_rt" "vs sox"
for case in identity up50 vibrato; do
  name=$(echo "$case" | sed 's/identity/Identity/; s/up50/Up50/; s/vibrato/Vibrato/')
  # Fastest repetition, real time in milliseconds.
  ms=$(echo "$bench_csv" | awk -F, -v n="\"BM_Correct$name/real_time\"" '$1 == n { print $3 }' | sort -g | head -1)
  cli_s=$(best_time "$cli" correct "$wav" "$tmp/vocara-correct-bench-$case.sas" "$out")
  if [[ -n $sox_s && $case == up50 ]]; then
    awk -v c="$case" -v ms="$ms" -v cl="$cli_s" -v sx="$sox_s" -v a="$audio_seconds" \
      'BEGIN { printf "%-10s %12.0f %12.0f %12.0f %9.1fx\n", c, a / (ms / 1000), a / cl, a / sx, sx / cl }'
  else
    awk -v c="$case" -v ms="$ms" -v cl="$cli_s" -v a="$audio_seconds" \
      'BEGIN { printf "%-10s %12.0f %12.0f %12s %10s\n", c, a / (ms / 1000), a / cl, "-", "-" }'
  fi
done

# Peak memory: the whole file against its first minute (the same SAS, rendered as a range).
rss_full=$(/usr/bin/time -f %M "$cli" correct "$wav" "$tmp/vocara-correct-bench-up50.sas" "$out" 2>&1 >/dev/null | tail -1)
rss_minute=$(/usr/bin/time -f %M "$cli" correct "$wav" "$tmp/vocara-correct-bench-up50.sas" "$out" \
  --range 0:2880000 2>&1 >/dev/null | tail -1)
echo "peak RSS of vocara-cli correct: 10 minutes $rss_full KiB, 1 minute $rss_minute KiB"
rm -f "$out"
echo "files kept in $tmp (vocara-correct-bench*); delete them when done"
