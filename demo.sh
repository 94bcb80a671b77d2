#!/usr/bin/env bash
# Sets up, builds and runs the program headless in an isolated data folder until Ctrl-C.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/setup.sh"

data="${DEMO_DIR:-$root/demo-data}"
mkdir -p "$data/share" "$data/home"
echo "demo: data folder $data/share/Korvex/KorvexSupportTool"
echo "demo: the print pipeline is not built yet; the program runs headless and logs. Ctrl-C stops it."
export XDG_DATA_DIRS="$data/share" HOME="$data/home"
exec "$build/src/labelprinter" --logto dual "$@"
