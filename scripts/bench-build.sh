#!/usr/bin/env bash
# Building a SAS from a 10-minute 48 kHz 16-bit harmonic tone, as real-time factors (seconds
# of audio per second of work), side by side with `aubiopitch -p yinfft -i FILE` on the same
# file, and their ratio. The benchmark figures come from bench/BuildBench.cpp (the block engine
# per instrument, on one worker, and the plain evaluation on the first minute); the command-line
# figures are whole runs of `vocara-cli build`, reading and writing included.
#
#   scripts/bench-build.sh          # Release build in build-bench/, the tone in the temp folder
#   RUNS=5 scripts/bench-build.sh
#
# aubiopitch is only used for this comparison (Debian: apt-get install aubio-tools); without
# it the aubio columns are left out.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD:-build-bench}
runs=${RUNS:-3}
audio_seconds=600
tmp=${TMPDIR:-/tmp}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOCARA_GUI=OFF >/dev/null
cmake --build "$build" -j2 --target vocara_bench vocara-cli >/dev/null
cli="$build/src/cli/vocara-cli"

# The benchmark generates the tone on first use and keeps it.
bench_csv=$("$build/bench/vocara_bench" --benchmark_filter='BM_Build' --benchmark_repetitions="$runs" \
  --benchmark_format=csv 2>/dev/null)
wav="$tmp/vocara-build-bench.wav"
out="$tmp/vocara-build-bench-cmp.sas"

# Fastest of `runs` wall-clock times of a command, in seconds.
best_time() {
  local best="" t
  for _ in $(seq "$runs"); do
    t=$( { TIMEFORMAT=%R; time "$@" >/dev/null 2>&1; } 2>&1 )
    if [[ -z $best ]] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
  done
  echo "$best"
}

# The x_realtime counter of the fastest repetition of a benchmark.
bench_rate() {
  echo "$bench_csv" | awk -F, -v n="\"$1\"" '
    NR == 1 { for (i = 1; i <= NF; i++) if ($i == "\"x_realtime\"" || $i == "x_realtime") col = i }
    $1 == n && col { print $col }' | sort -g | tail -1
}

aubio_s=""
if command -v aubiopitch >/dev/null; then
  aubio_s=$(best_time aubiopitch -p yinfft -i "$wav")
fi

printf '%-34s %10s\n' benchmark x_realtime
for name in instrument:20 instrument:37 instrument:65 instrument:38; do
  rate=$(bench_rate "BM_Build/$name/iterations:2/real_time")
  printf '%-34s %10.0f\n' "BM_Build/$name" "$rate"
done
for lanes in 8 4 2; do
  rate=$(bench_rate "BM_BuildOneWorker/lanes:$lanes/iterations:2/real_time")
  if [[ -n $rate ]]; then printf '%-34s %10.0f\n' "BM_BuildOneWorker/lanes:$lanes" "$rate"; fi
done
printf '%-34s %10.0f\n' "BM_BuildReference (first minute)" "$(bench_rate 'BM_BuildReference/iterations:1/real_time')"

cli_s=$(best_time "$cli" build "$wav" "$out")
echo
printf '%-34s %10s %10s\n' "whole runs on the same file" seconds x_realtime
awk -v s="$cli_s" -v a="$audio_seconds" 'BEGIN { printf "%-34s %10.2f %10.0f\n", "vocara-cli build (Flute)", s, a / s }'
if [[ -n $aubio_s ]]; then
  awk -v s="$aubio_s" -v a="$audio_seconds" 'BEGIN { printf "%-34s %10.2f %10.0f\n", "aubiopitch -p yinfft", s, a / s }'
  awk -v c="$cli_s" -v x="$aubio_s" 'BEGIN { printf "vocara-cli build is %.2fx the speed of aubiopitch -p yinfft\n", x / c }'
fi
echo "load average during the run: $(cut -d' ' -f1-3 /proc/loadavg) (figures are only comparable on an idle machine)"
rm -f "$out"
echo "files kept in $tmp (vocara-build-bench*); delete them when done"
