#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need (only those missing),
# then configures and builds. Safe to run again: quick when everything is present.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

packages=(
  build-essential cmake ninja-build pkg-config
  qtbase5-dev qtdeclarative5-dev libqt5svg5-dev qtquickcontrols2-5-dev
  qml-module-qtquick-controls2 qml-module-qtquick-dialogs qml-module-qtquick-layouts
  qml-module-qtquick-window2 qml-module-qtquick2 qml-module-qttest qml-module-qt-labs-platform
  libcurl4-openssl-dev libssl-dev libcpp-httplib-dev libcups2-dev
  barcode zbar-tools poppler-utils xvfb xauth curl libzint-dev zlib1g-dev zxing-cpp-tools dmtx-utils
  cups printer-driver-cups-pdf qttools5-dev-tools
  file desktop-file-utils man-db
)

source "$root/scripts/packages.sh"
ensure_packages setup "${packages[@]}"

if [ "${SETUP_PACKAGES_ONLY:-0}" = "1" ]; then
  exit 0
fi

echo "setup: configuring $build"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
fi
echo "setup: building"
cmake --build "$build" -- -k 0
