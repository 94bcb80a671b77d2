#!/usr/bin/env bash
# Screenshots of the station window: starts the stand-in console and the program's window under a
# virtual X server with two print jobs, waits until it is connected and has printed a report, then
# saves each view and the settings panel at 1200 x 800 and at 1920 x 1080.
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

data="$work/share/Korvex/KorvexSupportTool"
global="$data/home/global"
mkdir -p "$work/home" "$work/labels" "$global/customlayouts" "$data/custom/userapps/logos"
cp "$root/resources/demo/Station label.lyson" "$global/customlayouts/"
cp "$root/resources/demo/korvex-logo.png" "$data/custom/userapps/logos/"

echo "screenshots: starting the stand-in console"
"$build/tools/mc-standin/mc-standin" --port 0 --reports 30 --rate 0.5 --seed 7 > "$work/standin.out" 2>&1 &
standin_pid=$!
for _ in $(seq 100); do grep -q "listening on" "$work/standin.out" 2>/dev/null && break; sleep 0.1; done
address=$(sed -n 's/.*listening on \(http[s]*:\/\/[^ ]*\).*/\1/p' "$work/standin.out")
[ -n "$address" ] || { echo "screenshots: the stand-in console did not start" >&2; exit 1; }
port="${address##*:}"

# Two jobs with filters on the file printer; the report id a little back so the first poll prints.
printer="PDF files (label archive)"
cat > "$global/settingsStorage.ini" <<INI
[MC]
address=http://127.0.0.1
port=$port
username=demo
password=demo
lastReportId=20

[ReportView]
reportLogPath=$work/PrintedReports.csv

[printer]
pdfFolder=$work/labels

[jobs]
apple\\jobname=Apple phones
apple\\active=true
apple\\layout=Station label
apple\\printer=$printer
apple\\f1\\filterName=korvex_data.korvex_hardware_report.system.manufacturer
apple\\f1\\operator===
apple\\f1\\filterValue=Apple
apple\\f1\\operatorType=string
others\\jobname=Other phones
others\\active=true
others\\layout=Station label
others\\printer=$printer
others\\f1\\filterName=korvex_data.korvex_hardware_report.system.manufacturer
others\\f1\\operator=!=
others\\f1\\filterValue=Apple
others\\f1\\operatorType=string
INI

echo "screenshots: starting the window under a virtual X server; pictures go to $out"
# The software renderer needs no OpenGL driver on the build machine.
XDG_DATA_DIRS="$work/share" HOME="$work/home" QT_QPA_PLATFORM=xcb QT_QUICK_BACKEND=software \
  xvfb-run -a -s "-screen 0 2000x1200x24" \
  "$build/tools/ui-screenshots/ui-screenshots" --out "$out" --timeout "${SCREENSHOT_TIMEOUT:-120}"
