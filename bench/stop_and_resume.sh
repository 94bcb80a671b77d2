#!/usr/bin/env bash
# A backlog on the stand-in console printed by the real program, stopped in the middle (SIGTERM as at
# the end of a shift, or SIGKILL as in a power cut) and started again. Prints how many reports got
# exactly one label, how many none (lost) and how many more than one, by label file and by CSV line.
#   bench/stop_and_resume.sh [reports=1000] [TERM|KILL] [labels before the stop=reports/4]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
reports="${1:-1000}"
signal="${2:-TERM}"
stop_after="${3:-$((reports / 4))}"

work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

echo "bench: stand-in console with $reports new reports"
"$build/tools/mc-standin/mc-standin" --port 0 --reports 0 --seed 11 > "$work/standin.out" &
pids+=($!)
for _ in $(seq 50); do grep -q "listening on" "$work/standin.out" 2>/dev/null && break; sleep 0.1; done
address=$(sed -n 's/.*listening on \(http[s]*:\/\/[^ ]*\).*/\1/p' "$work/standin.out")
port="${address##*:}"
curl -sf -d "" "$address/standin/generate?count=$reports" > /dev/null

source "$root/scripts/station-data.sh"
prepare_station "$work" "$port" 0
# One job without filters: every report but the issue reports gets a label.
global="$station_data/home/global/settingsStorage.ini"
sed -i '/^\[jobs\]/,$d' "$global"
printf '[jobs]\nall\\jobname=All reports\nall\\active=true\nall\\layout=Station label\nall\\printer=PDF files (label archive)\n' >> "$global"
sed -i 's/^\[MC\]$/[MC]\nonlyreported=false/' "$global"

export XDG_DATA_DIRS="$work/share" HOME="$work/home"
run() { "$build/src/labelprinter" --logto disk > /dev/null 2>&1 & pids+=($!); program=$!; }
labels() { find "$work/labels" -name '*.pdf' 2>/dev/null | wc -l; }

started=$(date +%s)
run
echo "bench: printing; SIG$signal after $stop_after labels"
while [ "$(labels)" -lt "$stop_after" ]; do sleep 0.2; done
kill "-$signal" "$program"
wait "$program" 2>/dev/null || true
echo "bench: stopped with $(labels) label files; starting again"
run
expected=$(curl -sf "$address/standin/reports" | python3 -c 'import json,sys; print(sum(1 for r in json.load(sys.stdin) if not r["issue"]))')
last=-1
quiet=0
while [ "$quiet" -lt 25 ]; do
  sleep 1
  now=$(labels)
  if [ "$now" -eq "$last" ]; then quiet=$((quiet + 1)); else quiet=0; fi
  last=$now
done
kill -TERM "$program"
wait "$program" 2>/dev/null || true
elapsed=$(( $(date +%s) - started ))

curl -sf "$address/standin/reports" | python3 -c '
import json, os, re, sys
work = sys.argv[1]
reports = [r["uuid"] for r in json.load(sys.stdin) if not r["issue"]]
files = {}
for name in os.listdir(os.path.join(work, "labels")):
    for uuid in re.findall(r"[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}", name):
        files[uuid] = files.get(uuid, 0) + 1
csv = open(os.path.join(work, "PrintedReports.csv")).read()
for what, count in (("label files", lambda u: files.get(u, 0)), ("CSV lines", lambda u: csv.count(u))):
    counts = [count(u) for u in reports]
    print("%-11s: %d reports, printed once %d, lost %d, printed twice or more %d" % (
        what, len(reports), counts.count(1), counts.count(0), sum(1 for c in counts if c > 1)))
partial = [n for n in os.listdir(os.path.join(work, "labels")) if not n.endswith(".pdf") or
           os.path.getsize(os.path.join(work, "labels", n)) == 0]
print("partial or empty files left: %d" % len(partial))
' "$work"
echo "bench: $expected labels expected; ${elapsed} s from the first start to the last label"
