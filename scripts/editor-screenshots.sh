#!/usr/bin/env bash
# Pictures of the layout editor (layouts view, definitions, canvas, each dialog) in a real X
# window, for a person to look at. Uses the same build folder as scripts/screenshots.sh.
#   scripts/editor-screenshots.sh [OUTPUT_DIR]      (default: <build>/screenshots/editor)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
out="$(mkdir -p "${1:-$build/screenshots/editor}" && cd "${1:-$build/screenshots/editor}" && pwd)"

[ -f "$build/CMakeCache.txt" ] || { echo "screenshots: no build in $build (run scripts/setup.sh first)" >&2; exit 2; }
command -v xvfb-run >/dev/null || { echo "screenshots: xvfb-run is missing (package xvfb)" >&2; exit 3; }
if [ ! -x "$build/tests/qml_editor/tst_qml_editor" ]; then
  echo "screenshots: building tst_qml_editor in $build"
  cmake --build "$build" --target tst_qml_editor >/dev/null
fi

runtime=""
cleanup() { if [ -n "$runtime" ]; then rm -rf "$runtime"; fi; }
trap cleanup EXIT INT TERM
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  runtime="$(mktemp -d)"
  export XDG_RUNTIME_DIR="$runtime"
fi

echo "screenshots: writing to $out"
EDITOR_SCREENSHOTS_DIR="$out" QT_QPA_PLATFORM=xcb QT_QUICK_BACKEND=software xvfb-run -a -s "-screen 0 2000x1200x24" \
    "$build/tests/qml_editor/tst_qml_editor" -input "$root/tests/qml_editor/screenshots"
ls -1 "$out"
