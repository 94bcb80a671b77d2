#!/usr/bin/env bash
# The station end to end: a stand-in console that receives new reports every few seconds, and the
# label printer polling it and printing every matching report to a PDF file. Ctrl-C stops both.
#   ./demo.sh          headless; shows each label file and the printed-reports log as they appear
#   ./demo.sh --ui     the same with the window (needs a display, or runs under xvfb-run)
#   ./demo.sh --zpl    the labels go to a stand-in ZPL label printer instead (each one saved as a PNG)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/setup.sh"

zpl=0
args=()
for arg in "$@"; do
  if [ "$arg" = "--zpl" ]; then zpl=1; else args+=("$arg"); fi
done

demo="${DEMO_DIR:-$root/demo-data}"
rm -rf "$demo"
mkdir -p "$demo"
pids=()
cleanup() {
  echo "demo: stopping"
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT INT TERM

echo "demo: starting the stand-in console (30 older reports, a new one about every 4 s)"
"$build/tools/mc-standin/mc-standin" --port 0 --reports 30 --rate 0.25 --seed 7 > "$demo/standin.out" &
pids+=($!)
for _ in $(seq 50); do grep -q "listening on" "$demo/standin.out" 2>/dev/null && break; sleep 0.1; done
address=$(sed -n 's/.*listening on \(http[s]*:\/\/[^ ]*\).*/\1/p' "$demo/standin.out")
[ -n "$address" ] || { echo "demo: the stand-in console did not start" >&2; exit 1; }
port="${address##*:}"
echo "demo: console at $address (user demo, password demo)"

labels="$demo/labels"
zpl_address=""
if [ "$zpl" = 1 ]; then
  labels="$demo/zpl-labels"
  echo "demo: starting the stand-in ZPL label printer"
  "$build/tools/zpl-standin/zpl-standin" --port 0 --control-port 0 --out "$labels" > "$demo/zpl-standin.out" &
  pids+=($!)
  for _ in $(seq 50); do grep -q "listening on" "$demo/zpl-standin.out" 2>/dev/null && break; sleep 0.1; done
  zpl_address=$(sed -n 's/.*listening on \([0-9.]*:[0-9]*\).*/\1/p' "$demo/zpl-standin.out")
  [ -n "$zpl_address" ] || { echo "demo: the stand-in ZPL printer did not start" >&2; exit 1; }
  control=$(sed -n 's/.*control \(http:[^ ]*\).*/\1/p' "$demo/zpl-standin.out")
  echo "demo: ZPL printer at $zpl_address; switch it with: curl -d '{\"paperOut\":true}' $control/state"
fi

source "$root/scripts/station-data.sh"
prepare_station "$demo" "$port" "" "$zpl_address"

export XDG_DATA_DIRS="$demo/share" HOME="$demo/home"
echo "demo: starting the label printer (log: $station_log)"
"$build/src/labelprinter" --logto disk ${args[@]+"${args[@]}"} &
pids+=($!)
program=$((${#pids[@]} - 1))

echo "demo: labels appear in $labels, the printed-reports log is $demo/PrintedReports.csv"
echo "demo: the first poll runs 10 s after the connection check; press Ctrl-C to stop"
seen=0
lines=0
while kill -0 "${pids[$program]}" 2>/dev/null; do
  sleep 2
  mapfile -t files < <(ls -1 "$labels" 2>/dev/null | sort)
  for ((i = seen; i < ${#files[@]}; i++)); do echo "label: $labels/${files[$i]}"; done
  seen=${#files[@]}
  if [ -f "$demo/PrintedReports.csv" ]; then
    total=$(wc -l < "$demo/PrintedReports.csv")
    if [ "$total" -gt "$lines" ]; then tail -n "$((total - lines))" "$demo/PrintedReports.csv" | sed 's/^/log:   /'; fi
    lines=$total
  fi
done
