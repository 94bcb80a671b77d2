#!/usr/bin/env bash
# Pictures of the layout editor (layouts view, definitions, canvas, each dialog) in a real X
# window, for a person to look at. Usage: scripts/editor-screenshots.sh [output folder]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build-editor}"
out="$(realpath -m "${1:-$root/screenshots/editor}")"

echo "screenshots: building tst_qml_editor in $build"
cmake --build "$build" --target tst_qml_editor -j2 >/dev/null
mkdir -p "$out"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
echo "screenshots: writing to $out"
EDITOR_SCREENSHOTS_DIR="$out" xvfb-run -a -s "-screen 0 1600x1000x24" \
    "$build/tests/qml_editor/tst_qml_editor" -input "$root/tests/qml_editor/screenshots"
ls -1 "$out"
