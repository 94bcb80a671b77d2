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

# The parsers' fuzz targets, a few seconds each, so they keep building and finding nothing.
# Where there is no clang they are skipped; FUZZ_SECONDS=0 skips them too.
if [ "${FUZZ_SECONDS:-5}" != 0 ] && command -v clang++ >/dev/null; then
  "$root/scripts/fuzz.sh" "${FUZZ_SECONDS:-5}"
else
  echo "test: fuzz targets skipped (no clang++, or FUZZ_SECONDS=0)"
fi
