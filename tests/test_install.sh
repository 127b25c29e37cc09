#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a user's system
# gets: every file in its place, the desktop entry, the AppStream metadata,
# manual pages that render without warnings, a completion script that loads,
# and an installed converter that converts a log.
#   test_install.sh BUILD_DIR DATA_DIR
set -euo pipefail
build=$1 data=$2
for tool in desktop-file-validate appstreamcli man; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is not installed (scripts/test.sh installs it)"; exit 77; }
done
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail=0
check() { if ! "$@"; then echo "FAILED: $*"; fail=1; fi; }

share=$prefix/share
for f in bin/quorvane bin/quorvane-convert bin/quorvane-qc bin/gnssscan bin/rtcm3gen \
         share/applications/quorvane.desktop share/metainfo/org.ostrel.quorvane.metainfo.xml \
         share/icons/hicolor/scalable/apps/quorvane.svg share/bash-completion/completions/quorvane-convert \
         share/doc/quorvane/copyright share/doc/quorvane/changelog.gz; do
  check test -s "$prefix/$f"
done
for s in 16 32 48 64 128 256; do
  check test -s "$share/icons/hicolor/${s}x$s/apps/quorvane.png"
done

check desktop-file-validate "$share/applications/quorvane.desktop"
check appstreamcli validate --no-net "$share/metainfo/org.ostrel.quorvane.metainfo.xml"

# Every program has a page, and every page renders cleanly.
for p in "$prefix"/bin/*; do
  page=$share/man/man1/$(basename "$p").1.gz
  check test -s "$page"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "FAILED: $page: $warnings"; fail=1; }
  # --help answers on a terminal without a display.
  check env -u DISPLAY -u WAYLAND_DISPLAY "$p" --help >/dev/null
done

# The completion offers the RINEX versions after -r.
versions=$(bash -c 'source "$1"; compopt() { :; }; COMP_WORDS=(quorvane-convert -r 3.0); COMP_CWORD=2
                    _quorvane_convert; echo "${COMPREPLY[*]}"' _ "$share/bash-completion/completions/quorvane-convert")
check test "$versions" = "3.02 3.03 3.04 3.05"

# The installed converter converts a real log, or a generated one where the
# shared logs are absent.
work=$prefix/work
mkdir -p "$work/out"
log=$data/gnss-converters/sept.rtcm
if [ ! -f "$log" ]; then
  echo "note: $log is absent; converting a generated log instead"
  log=$work/demo.rtcm3
  "$prefix/bin/rtcm3gen" --duration 60 "$log"
fi
written=$("$prefix/bin/quorvane-convert" -q -o "$work/out" "$log")
check test -n "$written"
while IFS= read -r f; do
  check grep -q "RINEX VERSION / TYPE" "$f"
done <<<"$written"

# Names from standard input give the same files as names on the command
# line (the run date in the header aside), and the same standard output.
mkdir -p "$work/logs" "$work/by-name" "$work/by-stdin"
"$prefix/bin/rtcm3gen" --duration 30 "$work/logs/a b.rtcm3"
"$prefix/bin/rtcm3gen" --duration 30 --seed 2 --station 7 "$work/logs/c.rtcm3"
(cd "$work/by-name" && "$prefix/bin/quorvane-convert" -q -o . ../logs/"a b.rtcm3" ../logs/c.rtcm3 >../names.txt)
(cd "$work/by-stdin" && printf '../logs/a b.rtcm3\n\n../logs/c.rtcm3\n' | "$prefix/bin/quorvane-convert" -q -o . - >../stdin.txt)
check diff <(sed "s|^$work/by-name/||" "$work/names.txt") <(sed "s|^$work/by-stdin/||" "$work/stdin.txt")
check test "$(ls "$work/logs" | wc -l)" = 2 # "-o ." wrote nothing next to the inputs
check test "$(wc -l <"$work/names.txt")" -ge 4
check diff -r -I 'PGM / RUN BY / DATE' "$work/by-name" "$work/by-stdin"
check test "$(printf '' | "$prefix/bin/quorvane-convert" -q - 2>/dev/null; echo $?)" = 2

[ $fail -eq 0 ] && echo "installed tree checked"
exit $fail
