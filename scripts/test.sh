#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest: once in
# a normal build and once under AddressSanitizer and UndefinedBehaviorSanitizer.
# When clang is present, the fuzz targets also run for about a minute in all.
set -euo pipefail
cd "$(dirname "$0")/.."
# The install test validates the desktop entry, the AppStream file and the manual pages.
scripts/deps.sh desktop-file-utils appstream man-db
jobs=$(nproc)

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/test -j"$jobs"
ctest --test-dir build/test --output-on-failure -j"$jobs"

cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE=ON >/dev/null
cmake --build build/sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure -j"$jobs"

if command -v clang++ >/dev/null 2>&1; then
  scripts/fuzz.sh 30
else
  echo "clang++ not found: fuzz targets skipped"
fi
