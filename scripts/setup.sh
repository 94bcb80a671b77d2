#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need (only those missing),
# then configures and builds. Safe to run again: quick when everything is present.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

packages=(
  build-essential cmake ninja-build pkg-config
  qtbase5-dev qtdeclarative5-dev libqt5xmlpatterns5-dev libqt5svg5-dev qtquickcontrols2-5-dev
  qml-module-qtquick-controls2 qml-module-qtquick-dialogs qml-module-qtquick-layouts
  qml-module-qtquick-window2 qml-module-qtquick2 qml-module-qttest qml-module-qt-labs-platform
  libcurl4-openssl-dev libssl-dev libcpp-httplib-dev
  barcode zbar-tools poppler-utils xvfb xauth curl
  cups printer-driver-cups-pdf qttools5-dev-tools
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo_cmd=(sudo)
    else
      echo "setup: need root or sudo to install: ${missing[*]}" >&2
      exit 1
    fi
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
else
  echo "setup: all packages present"
fi

if [ "${SETUP_PACKAGES_ONLY:-0}" = "1" ]; then
  exit 0
fi

echo "setup: configuring $build"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
fi
echo "setup: building"
cmake --build "$build" -- -k 0
