#!/bin/sh
# Builds a Release tree and measures, on a generated RTCM 3 log of at least
# 100 MB (MSM7 of five systems, 1 Hz, across a GPS week end):
#   - the framer alone (bench_framer),
#   - the conversion to RINEX 3.04 as a conversion task runs it (bench_convert):
#     input MB/s and peak memory, uncompressed and with each compression
#     choice (the sizes of the files written give the compression ratios),
#     and the compression at close for comparison; the conversion with
#     every file written on its own thread, for the single-thread figure;
#   - quorvane-convert on two copies of the log, one task at a time and two
#     at once (--jobs 2): the wall times and the gain.
# Usage: scripts/bench.sh [BUILD_DIR]   (default: build/release)
# SIZE_MB sets the log size (default 120), RATE the epoch rate (1 or 10).
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/release}
size=${SIZE_MB:-120}
rate=${RATE:-1}
if [ "$size" -lt 100 ]; then
    echo "bench.sh: SIZE_MB must be at least 100" >&2
    exit 2
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target rtcm3gen bench_framer bench_convert quorvane-convert

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM
log="$tmp/synthetic.rtcm3"
"$build/tools/rtcm3gen" --size "$size" --rate "$rate" "$log"

echo "== framer"
"$build/bench/bench_framer" --size "$size" "$log"
for how in none gzip hatanaka hatanaka+gzip; do
    echo "== conversion to RINEX 3.04, compression $how"
    "$build/bench/bench_convert" --compress "$how" "$log"
done
echo "== conversion to RINEX 3.04, hatanaka+gzip compressed at close on the conversion's thread"
"$build/bench/bench_convert" --compress hatanaka+gzip --single-thread "$log"
echo "== conversion to RINEX 3.04, uncompressed, everything on the conversion's thread"
"$build/bench/bench_convert" --single-thread "$log"

echo "== quorvane-convert on two copies of the log, RINEX 3.05, uncompressed"
cp "$log" "$tmp/copy.rtcm3"
size_bytes=$(stat -c %s "$log")
for jobs in 1 2; do
    rm -rf "$tmp/out" && mkdir "$tmp/out"
    start=$(date +%s.%N)
    "$build/app/quorvane-convert" -q --jobs "$jobs" -o "$tmp/out" "$log" "$tmp/copy.rtcm3" >/dev/null
    end=$(date +%s.%N)
    eval "wall$jobs=\$(awk -v a=$start -v b=$end 'BEGIN { print b - a }')"
done
awk -v one="$wall1" -v two="$wall2" -v bytes="$size_bytes" 'BEGIN {
    printf "  --jobs 1  %7.3f s  %7.1f MB/s of input\n", one, 2 * bytes / 1e6 / one
    printf "  --jobs 2  %7.3f s  %7.1f MB/s of input\n", two, 2 * bytes / 1e6 / two
    printf "  gain of two jobs over one: %.2f\n", one / two
}'
