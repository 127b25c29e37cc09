#!/usr/bin/env bash
# Installs what is missing, builds a Release build and runs the main job on
# the given receiver logs: for now the frame scanner, which lists what each
# log holds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc)"
if [ $# -eq 0 ]; then
  build/release/tools/gnssscan --help
  exit 0
fi
exec build/release/tools/gnssscan "$@"
