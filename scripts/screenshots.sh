#!/usr/bin/env bash
# Screenshots of the station window: starts the stand-in console and the program's window under a
# virtual X server with two print jobs, waits until it is connected and has printed a report, then
# saves each view, the settings panel and a help page at 1200 x 800 and at 1920 x 1080, last the
# window once the console stopped answering.
#   scripts/screenshots.sh [OUTPUT_DIR]      (default: <build>/screenshots)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
out="$(mkdir -p "${1:-$build/screenshots}" && cd "${1:-$build/screenshots}" && pwd)"

for program in "$build/tools/mc-standin/mc-standin" "$build/tools/ui-screenshots/ui-screenshots"; do
  if [ ! -x "$program" ]; then
    echo "screenshots: building the stand-in console and the screenshot helper in $build"
    cmake --build "$build" --target mc-standin ui-screenshots >/dev/null
    break
  fi
done
command -v xvfb-run >/dev/null || { echo "screenshots: xvfb-run is missing (package xvfb)" >&2; exit 3; }

work="$(mktemp -d)"
standin_pid=""
cleanup() {
  if [ -n "$standin_pid" ]; then kill "$standin_pid" 2>/dev/null || true; wait "$standin_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

echo "screenshots: starting the stand-in console"
"$build/tools/mc-standin/mc-standin" --port 0 --reports 30 --rate 0.5 --seed 7 > "$work/standin.out" 2>&1 &
standin_pid=$!
for _ in $(seq 100); do grep -q "listening on" "$work/standin.out" 2>/dev/null && break; sleep 0.1; done
address=$(sed -n 's/.*listening on \(http[s]*:\/\/[^ ]*\).*/\1/p' "$work/standin.out")
[ -n "$address" ] || { echo "screenshots: the stand-in console did not start" >&2; exit 1; }
port="${address##*:}"

# Two jobs with filters on the file printer; the report id a little back so the first poll prints.
source "$root/scripts/station-data.sh"
prepare_station "$work" "$port" 20

echo "screenshots: starting the window under a virtual X server; pictures go to $out"
# The software renderer needs no OpenGL driver on the build machine.
XDG_DATA_DIRS="$work/share" HOME="$work/home" QT_QPA_PLATFORM=xcb QT_QUICK_BACKEND=software \
  xvfb-run -a -s "-screen 0 2000x1200x24" \
  "$build/tools/ui-screenshots/ui-screenshots" --out "$out" --timeout "${SCREENSHOT_TIMEOUT:-120}"
