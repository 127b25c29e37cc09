#!/usr/bin/env bash
# The tests' share of the code: non-blank lines of the C++, shell and Python
# files that git tracks, those under tests/ against all of them.
#   scripts/test_share.sh
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -- '*.cpp' '*.cc' '*.c' '*.h' '*.hpp' '*.sh' '*.py' |
  while IFS= read -r f; do printf '%s\t%s\n' "$f" "$(grep -cv '^[[:space:]]*$' "$f" || true)"; done |
  awk -F'\t' '{ if ($1 ~ /^tests\//) s += $2; t += $2 }
    END { printf "tests %d of %d non-blank lines (%.1f %%)\n", s, t, t ? 100 * s / t : 0 }'
