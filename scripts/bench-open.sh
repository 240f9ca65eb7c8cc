#!/usr/bin/env bash
# Opening a large WAV file (validation, block scan, checksum, overview) against reading it
# with `cat FILE > /dev/null`, both from the page cache, for a 16-bit and a 24-bit file.
# Prints the times and their ratio (the goal is at most 1.5) and the peak memory of an open.
#
#   scripts/bench-open.sh            # 1 GiB files in /tmp, Release build in build-bench/
#   SIZE_MIB=256 DIR=/var/tmp scripts/bench-open.sh
set -euo pipefail
cd "$(dirname "$0")/.."

size_mib=${SIZE_MIB:-1024}
dir=${DIR:-/tmp}
build=${BUILD:-build-bench}
runs=${RUNS:-5}

bytes=$((size_mib * 1024 * 1024))
need_kib=$((2 * bytes / 1024 + 65536))
avail_kib=$(df --output=avail -k "$dir" | tail -1)
if ((avail_kib < need_kib)); then
  echo "need $((need_kib / 1024)) MiB free in $dir, have $((avail_kib / 1024)) MiB" >&2
  exit 1
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOCARA_GUI=OFF >/dev/null
cmake --build "$build" -j2 --target vocara_bench vocara-cli >/dev/null

# Little-endian integers as bytes: the inner printf writes the escapes, the outer the bytes.
le16() { printf "$(printf '\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)))"; }
le32() { printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)))"; }

# A canonical mono file of `bytes` bytes with random samples; a partial sample at the end is
# allowed (24-bit), the opener ignores it.
make_wav() {
  local file=$1 align=$2
  local data=$((bytes - 44)) rate=48000
  {
    printf 'RIFF'; le32 $((data + 36)); printf 'WAVEfmt '; le32 16
    le16 1; le16 1; le32 $rate; le32 $((rate * align)); le16 "$align"; le16 $((8 * align))
    printf 'data'; le32 $data
    head -c "$data" /dev/urandom
  } >"$file"
}

best_cat() {
  local file=$1 best="" t
  cat "$file" >/dev/null
  for _ in $(seq "$runs"); do
    t=$( { TIMEFORMAT=%R; time cat "$file" >/dev/null; } 2>&1 )
    if [[ -z $best ]] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$t; fi
  done
  echo "$best"
}

files=()
for bits in 16 24; do
  file="$dir/vocara-open-${bits}bit.wav"
  [[ -f $file && $(stat -c %s "$file") -eq $bytes ]] || make_wav "$file" $((bits / 8))
  files+=("$file")
done

list=$(IFS=:; echo "${files[*]}")
bench_csv=$(VOCARA_BENCH_FILES=$list "$build/bench/vocara_bench" --benchmark_filter=BM_WavOpen \
  --benchmark_repetitions="$runs" --benchmark_format=csv 2>/dev/null)

printf '%-28s %10s %10s %7s %9s\n' file "cat s" "open s" ratio "peak RSS"
for file in "${files[@]}"; do
  name=$(basename "$file")
  cat_s=$(best_cat "$file")
  # Fastest repetition, real time in milliseconds.
  open_ms=$(echo "$bench_csv" | awk -F, -v n="\"BM_WavOpen/$name/real_time\"" '$1 == n { print $3 }' | sort -g | head -1)
  rss=$(/usr/bin/time -f %M "$build/src/cli/vocara-cli" info "$file" 2>&1 >/dev/null | tail -1)
  awk -v f="$name" -v c="$cat_s" -v o="$open_ms" -v r="$rss" \
    'BEGIN { printf "%-28s %10.3f %10.3f %7.2f %6d KiB\n", f, c, o / 1000, o / 1000 / c, r }'
done
echo "files kept in $dir (vocara-open-*.wav); delete them when done"
