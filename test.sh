#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test headless. Non-zero exit on any failure.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${BUILD_DIR:-$root/build}"

"$root/scripts/setup.sh"

export QT_QPA_PLATFORM=offscreen
export QT_QUICK_BACKEND=software
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
echo "test: running ctest in $build"
cd "$build"
ctest --output-on-failure -j"${TEST_JOBS:-2}" "$@"
