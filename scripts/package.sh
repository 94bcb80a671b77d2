#!/usr/bin/env bash
# Builds a release of the program and its Debian package labelprinter_<version>_<arch>.deb.
#   scripts/package.sh [OUTPUT_DIR]                   release build in build-release/ (PACKAGE_BUILD_DIR)
#   scripts/package.sh --from-build BUILD [OUTPUT_DIR] package a tree that is already built
# OUTPUT_DIR defaults to the current folder.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${PACKAGE_BUILD_DIR:-$root/build-release}"
from_build=0
if [ "${1:-}" = "--from-build" ]; then
  [ $# -ge 2 ] || { echo "package: --from-build needs a build folder" >&2; exit 2; }
  build="$(cd "$2" && pwd)"
  from_build=1
  shift 2
fi
out="$(mkdir -p "${1:-.}" && cd "${1:-.}" && pwd)"

staging="$(mktemp -d)"
trap 'rm -rf "$staging"' EXIT

if [ "$from_build" = 0 ]; then
  SETUP_PACKAGES_ONLY=1 "$root/scripts/setup.sh"
  echo "package: configuring a release build in $build"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  echo "package: building the program"
  cmake --build "$build" --target labelprinter labelprinter_package_files
fi

echo "package: making the Debian package from $build"
(cd "$build" && cpack -G DEB -B "$staging" >/dev/null)
deb=("$staging"/labelprinter_*.deb)
[ -f "${deb[0]}" ] || { echo "package: cpack made no package" >&2; exit 1; }
mv "${deb[0]}" "$out/"
echo "package: $out/$(basename "${deb[0]}")"
