#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (fuzzer, address and undefined
# behaviour sanitizers) and runs each for SECONDS (default 600).
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# Findings are written to build/fuzz/findings/; the corpus grows in
# build/fuzz/corpus-TARGET/ and is seeded from the receiver logs in
# ../shared/data when they are there.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz.sh: clang++ is needed (apt-get install clang libclang-rt-dev)" >&2
  exit 2
fi
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DQUORVANE_FUZZ=ON -DQUORVANE_TESTS=OFF >/dev/null
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=($(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//'))
cmake --build build/fuzz -j"$(nproc)" --target "${targets[@]}"
mkdir -p build/fuzz/findings
seeds=()
[ -d ../shared/data/go-gnss-rtcm ] && seeds+=(../shared/data/go-gnss-rtcm)
for t in "${targets[@]}"; do
  corpus=build/fuzz/corpus-$t
  mkdir -p "$corpus"
  echo "fuzzing $t for ${seconds}s"
  build/fuzz/fuzz/"$t" -max_total_time="$seconds" -max_len=20000 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/findings/"$t"- "$corpus" "${seeds[@]}" 2>&1 | tail -n 12
done
