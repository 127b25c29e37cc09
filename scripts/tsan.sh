#!/usr/bin/env bash
# Builds with ThreadSanitizer and runs the tests that start threads: the task
# runner on its worker thread and the compression beside the conversion.
# Kept apart from scripts/test.sh: a ThreadSanitizer build runs the tests
# several times slower, and these are the ones it has something to say about.
# Usage: scripts/tsan.sh [BUILD_DIR]   (default: build/tsan)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/tsan}
jobs=$(nproc)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_TSAN=ON -DQUORVANE_GUI=ON >/dev/null
cmake --build "$build" -j"$jobs" --target test_task test_pipeline
# Qt is not instrumented: the memcpy and memmove it calls on data handed over
# through its (invisible) event queue would look like races, whichever
# thread's bytes they copy; the project's own accesses are all still seen.
for t in test_task test_pipeline; do
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ignore_noninstrumented_modules=1 suppressions=$PWD/scripts/tsan.supp" "$build/tests/$t"
done
