#!/usr/bin/env bash
# Installs what is missing, builds a Release build and runs the main job:
#   scripts/run.sh FILE...   converts the receiver logs to RINEX (options of
#                            quorvane-convert may come first, see --help)
#   scripts/run.sh           opens the window when a display is available;
#                            otherwise generates a short demo log and
#                            converts it, printing where the files went
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)"

if [ $# -gt 0 ]; then
  exec build/release/app/quorvane-convert "$@"
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/release/app/quorvane ]; then
  exec build/release/app/quorvane
fi
demo=build/demo
mkdir -p "$demo"
echo "No input given: converting a generated 10-minute RTCM 3 log ($demo/demo.rtcm3)." >&2
build/release/tools/rtcm3gen --duration 600 "$demo/demo.rtcm3"
build/release/app/quorvane-convert -o "$demo" "$demo/demo.rtcm3"
echo "RINEX files written to $(cd "$demo" && pwd)" >&2
