#!/usr/bin/env bash
# Makes the Debian package from this build, installs it on the machine, checks that the installed
# program runs (its window's QML loads, it stops on SIGTERM), removes it and checks that none of its
# files are left. Needs root; skipped otherwise.
#   tst_package.sh SOURCE_DIR BUILD_DIR VERSION
set -euo pipefail
root="$1" build="$2" version="$3"

[ "$(id -u)" -eq 0 ] || { echo "SKIP: installing a package needs root"; exit 77; }
if dpkg-query -W -f='${Status}' labelprinter 2>/dev/null | grep -q 'ok installed'; then
  echo "SKIP: a labelprinter package is installed on this machine already; leaving it alone"
  exit 77
fi

work="$(mktemp -d)"
installed=0
# Waits for other package installs on this machine rather than failing on the dpkg lock.
apt_get() { apt-get -y -qq -o DPkg::Lock::Timeout=300 "$@"; }
cleanup() {
  [ "$installed" = 0 ] || apt_get purge labelprinter >/dev/null || dpkg --purge labelprinter
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$root/scripts/package.sh" --from-build "$build" "$work"
deb="$work/labelprinter_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $(basename "$deb") in: $(ls "$work")"
depends="$(dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | sed 's/^ *//; s/ .*//')"
for needed in libqt5quick5 libqt5printsupport5 libcurl4 qml-module-qtquick-controls2 qml-module-qt-labs-platform libqt5svg5 barcode; do
  grep -qx "$needed" <<< "$depends" || fail "Depends lacks $needed"
done
! grep -q -- '-dev$' <<< "$depends" || fail "Depends names a build-only package"

dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print substr($6, 2)}' > "$work/files"
installed=1
apt_get install "$deb" >/dev/null
[ "$(env -u DISPLAY -u QT_QPA_PLATFORM labelprinter --version)" = "labelprinter $version" ] || fail "--version"
desktop-file-validate /usr/share/applications/labelprinter.desktop || fail "desktop entry"
grep -qx 'ExecStart=/usr/bin/labelprinter --logto dual' /usr/lib/systemd/user/labelprinter.service \
  || fail "the service starts something else"

# The import trace shows that the window's QML was loaded and found its modules.
mkdir -p "$work/data/share" "$work/data/home"
XDG_DATA_DIRS="$work/data/share" HOME="$work/data/home" QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software \
  QML_IMPORT_TRACE=1 labelprinter --ui --logto console > "$work/run.log" 2>&1 &
program=$!
for _ in $(seq 100); do grep -q 'Starting' "$work/run.log" && break; sleep 0.2; done
sleep 2
kill -TERM "$program"
for _ in $(seq 150); do kill -0 "$program" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$program" 2>/dev/null; then
  kill -KILL "$program"
  fail "the program did not stop on SIGTERM"
fi
wait "$program" || fail "the program did not stop cleanly: $(tail -5 "$work/run.log")"
grep -q 'Leaving with exit code 0' "$work/run.log" || fail "no clean stop: $(tail -5 "$work/run.log")"
grep -q 'QQmlImports(qrc:/ui/qml/standalone.qml)::importExtension: loaded' "$work/run.log" \
  || fail "the window's QML was not loaded"
! grep -E 'qrc:/ui/qml/.*(is not installed|Error)' "$work/run.log" || fail "the window's QML did not load"

apt_get remove labelprinter >/dev/null
installed=0
! dpkg-query -W labelprinter >/dev/null 2>&1 || dpkg --purge labelprinter >/dev/null
left=()
while IFS= read -r f; do [ ! -e "$f" ] || left+=("$f"); done < "$work/files"
[ "${#left[@]}" -eq 0 ] || fail "left behind: ${left[*]}"
echo "PASS: package installed, checked and removed"
