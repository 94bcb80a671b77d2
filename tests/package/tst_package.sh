#!/usr/bin/env bash
# Makes the Debian package from this build, installs it on the machine, checks what it installed
# (the program runs, the desktop entry, the icons, the manual page, the service), removes it and
# checks that none of its files are left. Needs root; skipped otherwise.
#   tst_package.sh SOURCE_DIR BUILD_DIR VERSION
set -euo pipefail
root="$1" build="$2" version="$3"

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: installing a package needs root"
  exit 77
fi
if dpkg-query -W -f='${Status}' labelprinter 2>/dev/null | grep -q 'ok installed'; then
  echo "SKIP: a labelprinter package is installed on this machine already; leaving it alone"
  exit 77
fi
for tool in cpack desktop-file-validate man; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/setup.sh installs it)"; exit 1; }
done

work="$(mktemp -d)"
installed=0
cleanup() {
  if [ "$installed" = 1 ]; then
    apt-get purge -y -qq -o DPkg::Lock::Timeout=300 labelprinter >/dev/null || dpkg --purge labelprinter
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
# Waits for other package installs on this machine rather than failing on the dpkg lock.
apt_get() { apt-get -y -qq -o DPkg::Lock::Timeout=300 "$@"; }

echo "step: making the package from $build"
"$root/scripts/package.sh" --from-build "$build" "$work"
deb="$work/labelprinter_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $(basename "$deb") in: $(ls "$work")"

echo "step: dependencies"
dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | sed 's/^ *//; s/ .*//' | sort -u > "$work/depends"
echo "Depends: $(paste -sd' ' "$work/depends")"
for needed in libqt5quick5 libqt5printsupport5 libcurl4 qml-module-qtquick-controls2 qml-module-qt-labs-platform libqt5svg5 barcode; do
  grep -qx "$needed" "$work/depends" || fail "Depends lacks $needed"
done
! grep -q -- '-dev$' "$work/depends" || fail "Depends names a build-only package"

dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print substr($6, 2)}' > "$work/files"
echo "step: installing ($(wc -l < "$work/files") files)"
installed=1
apt_get install "$deb" >/dev/null

echo "step: the installed program"
[ "$(command -v labelprinter)" = /usr/bin/labelprinter ] || fail "labelprinter is not /usr/bin/labelprinter"
[ "$(env -u DISPLAY -u QT_QPA_PLATFORM labelprinter --version)" = "labelprinter $version" ] || fail "--version"
man_page=/usr/share/man/man1/labelprinter.1.gz
verify_options=()
if [ ! -f "$man_page" ]; then
  echo "note: dpkg leaves manual pages out on this machine; reading the one in the package"
  dpkg-deb -x "$deb" "$work/root"
  man_page="$work/root$man_page"
  verify_options=(--man=no)
fi
rendered="$(man -l "$man_page")"
[[ "$rendered" == *"EXIT STATUS"* ]] || fail "manual page"
warnings="$(man --warnings -l "$man_page" 2>&1 >/dev/null)"
[ -z "$warnings" ] || fail "manual page warnings: $warnings"
desktop-file-validate /usr/share/applications/labelprinter.desktop || fail "desktop entry"
for size in 16 22 24 32 48 64 128 256; do
  file "/usr/share/icons/hicolor/${size}x${size}/apps/labelprinter.png" | grep -q "PNG image data, $size x $size" \
    || fail "icon ${size}x${size}"
done
[ -f /usr/share/icons/hicolor/scalable/apps/labelprinter.svg ] || fail "scalable icon"
[ -f "/usr/share/labelprinter/examples/Station label.lyson" ] || fail "example layout"

echo "step: the service"
unit=/usr/lib/systemd/user/labelprinter.service
grep -qx 'ExecStart=/usr/bin/labelprinter --logto dual' "$unit" || fail "unit starts something else"
grep -qx 'Restart=on-failure' "$unit" || fail "unit restart"
if command -v systemd-analyze >/dev/null; then
  mkdir -m 700 "$work/runtime"
  XDG_RUNTIME_DIR="$work/runtime" systemd-analyze --user verify "${verify_options[@]}" "$unit" || fail "systemd-analyze verify"
fi

echo "step: the window's screens load from the installed program"
mkdir -p "$work/data/share" "$work/data/home"
# The import trace shows that the window's QML was loaded and found its modules.
XDG_DATA_DIRS="$work/data/share" HOME="$work/data/home" QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software \
  QML_IMPORT_TRACE=1 labelprinter --ui --logto console > "$work/run.log" 2>&1 &
program=$!
for _ in $(seq 100); do
  grep -q 'Starting' "$work/run.log" && break
  sleep 0.2
done
sleep 2
kill -TERM "$program"
for _ in $(seq 150); do
  kill -0 "$program" 2>/dev/null || break
  sleep 0.2
done
if kill -0 "$program" 2>/dev/null; then
  kill -KILL "$program"
  fail "the program did not stop on SIGTERM"
fi
wait "$program" || fail "the program did not stop cleanly: $(tail -5 "$work/run.log")"
grep -q 'Leaving with exit code 0' "$work/run.log" || fail "no clean stop: $(tail -5 "$work/run.log")"
grep -q 'QQmlImports(qrc:/ui/qml/standalone.qml)::importExtension: loaded' "$work/run.log" \
  || fail "the window's QML was not loaded"
if grep -E 'qrc:/ui/qml/.*(is not installed|Error)' "$work/run.log"; then
  fail "the window's QML did not load"
fi

echo "step: removing"
apt_get remove labelprinter >/dev/null
installed=0
if dpkg-query -W labelprinter >/dev/null 2>&1; then
  dpkg --purge labelprinter >/dev/null
fi
left=()
while IFS= read -r f; do
  [ ! -e "$f" ] || left+=("$f")
done < "$work/files"
[ "${#left[@]}" -eq 0 ] || fail "left behind: ${left[*]}"
echo "PASS: package installed, checked and removed"
