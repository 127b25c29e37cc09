#!/usr/bin/env bash
# Takes a screenshot of each tab of the real window under a virtual X
# display (Xvfb) and saves them as docs/window-file.png, docs/window-message.png
# and docs/window-device.png: three real logs from ../shared/data listed, one
# "Convert Individually" run finished in the "Message" tab. "Scan" is never
# pressed. Then the "Quality" view of the first converted file, its summary
# and its tracking timeline (docs/quality-summary.png, docs/quality-view.png),
# and the four PNG plots that quorvane-qc --plot writes of it
# (docs/quality-timeline.png, -sky, -snr, -multipath). Needs the optional
# packages xvfb, xdotool and imagemagick (installed here through
# scripts/deps.sh; the build and the tests do not need them).
#   QUORVANE_BUILD=DIR  use an existing build (default: a Release build in
#                       build/release, as scripts/run.sh makes)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
data="$root/../shared/data"
[ -d "$data" ] || { echo "receiver logs not found at $data" >&2; exit 1; }

scripts/deps.sh xvfb xdotool imagemagick
build=${QUORVANE_BUILD:-build/release}
if [ -z "${QUORVANE_BUILD:-}" ]; then
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_TESTS=OFF >/dev/null
  cmake --build build/release -j"$(nproc)" --target quorvane quorvane-qc
fi
[ -x "$build/app/quorvane" ] || { echo "no window program in $build/app" >&2; exit 1; }
app="$(cd "$build/app" && pwd)/quorvane"
qc=$(find "$build" -name quorvane-qc -type f -perm -u+x | head -1)
[ -n "$qc" ] || { echo "no quorvane-qc in $build" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The logs are copied so that the RINEX files land beside the copies.
# The first, 22 minutes of a reference station with dropped packets, is the
# one the quality pictures show: four systems, their ephemerides, gaps.
cp "$data/gnss-converters/dropped-packets-STR24.rtcm3" "$data/gpsd/rtcm3.2.log" "$data/gnss-converters/sept.rtcm" \
  "$work/"
mkdir -p docs "$work/config"

cat > "$work/shoot.sh" <<'INNER'
set -euo pipefail
app=$1 work=$2 docs=$3
# Settings of this run only.
export XDG_CONFIG_HOME="$work/config"
"$app" "$work/dropped-packets-STR24.rtcm3" "$work/rtcm3.2.log" "$work/sept.rtcm" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT
wid=$(xdotool search --sync --onlyvisible --name "Velmarok GNSS File Manager" | head -1)
sleep 1.5
eval "$(xdotool getwindowgeometry --shell "$wid")"
click() { xdotool mousemove "$((X + $1))" "$((Y + $2))" click 1; sleep 0.8; }
# Tab headers sit in the top left corner: "Device", "File", "Message".
tab_device=(30 12) tab_file=(80 12)
click "${tab_file[@]}"
import -window "$wid" "$docs/window-file.png"
# "Convert Individually" is the last button of the File tab's bottom row.
click "$((WIDTH - 75))" "$((HEIGHT - 22))"
confirm=$(xdotool search --sync --onlyvisible --name "^Confirm$" | head -1)
xdotool windowfocus --sync "$confirm" key Return
sleep 8
import -window "$wid" "$docs/window-message.png"
# "Quality" sits at the right end of the tab row.
click "$((WIDTH - 35))" 12
quality=$(xdotool search --sync --onlyvisible --name "^Quality$" | head -1)
sleep 5
import -window "$quality" "$docs/quality-summary.png"
# The second page, "Tracking timeline", right of "Summary".
eval "$(xdotool getwindowgeometry --shell "$quality" | sed 's/^/Q/')"
xdotool mousemove "$((QX + 150))" "$((QY + 58))" click 1
sleep 1.5
import -window "$quality" "$docs/quality-view.png"
xdotool key --window "$quality" Escape
sleep 0.5
click "${tab_device[@]}"
import -window "$wid" "$docs/window-device.png"
INNER

xvfb-run -a -s "-screen 0 1280x800x24" bash "$work/shoot.sh" "$app" "$work" "$root/docs"
# The PNG plots of the same file, written off-screen by the command-line check.
obs=$(ls "$work"/dropped-packets-STR24.*O)
"$qc" --plot "$work/plots" "$obs" "${obs%O}N" >/dev/null
for kind in timeline sky snr multipath; do
  cp "$work/plots/$(basename "$obs")_$kind.png" "docs/quality-$kind.png"
done
ls -l docs/window-*.png docs/quality-*.png
