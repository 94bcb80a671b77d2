#!/usr/bin/env bash
# Starts a private CUPS server (as root) with one cups-pdf queue whose PPD declares label sizes, for
# real-printer tests and for trying the printer path by hand. Clients reach it with CUPS_SERVER.
#   scripts/cups-label-queue.sh <folder> <queue> [<name>=<port>@<dpi>]...
# (runs until killed; prints "ready" when every queue is usable; cupsd's process id is in
# <folder>/cupsd.pid, for tests that freeze the print system). PDFs of printed jobs land in
# <folder>/PDF. Each <name>=<port>@<dpi> adds a queue on CUPS's own ZPL label driver at 203, 300 or
# 600 dpi, sending to a raw TCP listener on 127.0.0.1:<port>; its paper is 62 x 100 mm unless a job
# asks for another size (the driver takes any size from 0.5 x 0.5 to 8 x 50 inches).
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 <folder> <queue> [<name>=<port>@<dpi>]..." >&2; exit 2; }
dir="$1"
queue="$2"
shift 2
zpl=("$@")
for queue_arg in "${zpl[@]}"; do
  [[ "$queue_arg" =~ ^[A-Za-z0-9_-]+=[0-9]+@(203|300|600)$ ]] ||
    { echo "cups-label-queue: '$queue_arg' is not <name>=<port>@<203|300|600>" >&2; exit 2; }
done
[ "$(id -u)" -eq 0 ] || { echo "cups-label-queue: needs root (cupsd and the cups-pdf backend)" >&2; exit 2; }
command -v cupsd >/dev/null || { echo "cups-label-queue: cupsd is not installed" >&2; exit 2; }
[ -x /usr/lib/cups/backend/cups-pdf ] || { echo "cups-label-queue: the cups-pdf backend is not installed" >&2; exit 2; }

mkdir -p "$dir"/{root,spool,cache,state,log,tmp,PDF}
# Filters run as the unprivileged "lp" user: they must reach the spool and the queue's PPD.
chmod 755 "$dir"
chmod 1777 "$dir/PDF" "$dir/tmp"
socket="$dir/cups.sock"
cat > "$dir/root/cupsd.conf" <<CONF
Listen $socket
LogLevel warn
WebInterface No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cat > "$dir/root/cups-files.conf" <<CONF
ServerRoot $dir/root
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/tmp
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
SystemGroup root
CONF

# Label sizes in points (1 mm = 72/25.4 pt): 62 x 100, 62 x 29 and 102 x 152 mm.
ppd="$dir/label.ppd"
{
  cat <<'PPD'
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "LABELPDF.PPD"
*Manufacturer: "Generic"
*Product: "(Label PDF)"
*ModelName: "Label PDF printer"
*ShortNickName: "Label PDF printer"
*NickName: "Label PDF printer"
*PSVersion: "(3010) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*OpenUI *PageSize/Media Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: w176h283
*PageSize w176h283/62 x 100 mm: "<</PageSize[175.75 283.46]/ImagingBBox null>>setpagedevice"
*PageSize w176h82/62 x 29 mm: "<</PageSize[175.75 82.2]/ImagingBBox null>>setpagedevice"
*PageSize w289h431/102 x 152 mm: "<</PageSize[289.13 430.87]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageSize
*OpenUI *PageRegion: PickOne
*OrderDependency: 10 AnySetup *PageRegion
*DefaultPageRegion: w176h283
*PageRegion w176h283/62 x 100 mm: "<</PageSize[175.75 283.46]/ImagingBBox null>>setpagedevice"
*PageRegion w176h82/62 x 29 mm: "<</PageSize[175.75 82.2]/ImagingBBox null>>setpagedevice"
*PageRegion w289h431/102 x 152 mm: "<</PageSize[289.13 430.87]/ImagingBBox null>>setpagedevice"
*CloseUI: *PageRegion
*DefaultImageableArea: w176h283
*ImageableArea w176h283/62 x 100 mm: "0 0 175.75 283.46"
*ImageableArea w176h82/62 x 29 mm: "0 0 175.75 82.2"
*ImageableArea w289h431/102 x 152 mm: "0 0 289.13 430.87"
*DefaultPaperDimension: w176h283
*PaperDimension w176h283/62 x 100 mm: "175.75 283.46"
*PaperDimension w176h82/62 x 29 mm: "175.75 82.2"
*PaperDimension w289h431/102 x 152 mm: "289.13 430.87"
PPD
} > "$ppd"

# cups-pdf reads its settings for this queue from /etc/cups; remove them again on exit.
conf="/etc/cups/cups-pdf-$queue.conf"
printf 'Out %s/PDF\nAnonDirName %s/PDF\nGrp root\nLog %s/log\n' "$dir" "$dir" "$dir" > "$conf"

pid=""
cleanup() {
  rm -f "$conf"
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT INT TERM

cupsd -f -c "$dir/root/cupsd.conf" -s "$dir/root/cups-files.conf" &
pid=$!
echo "$pid" > "$dir/cupsd.pid"
for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.1; done
[ -S "$socket" ] || { echo "cups-label-queue: cupsd did not start" >&2; cat "$dir/log/error_log" >&2 2>/dev/null || true; exit 1; }
export CUPS_SERVER="$socket"
lpadmin -p "$queue" -E -v "cups-pdf:/$queue" -P "$ppd"
cupsenable "$queue" 2>/dev/null || true
cupsaccept "$queue" 2>/dev/null || true
for queue_arg in "${zpl[@]}"; do
  name="${queue_arg%%=*}"
  port="${queue_arg#*=}"
  port="${port%@*}"
  dpi="${queue_arg##*@}"
  echo "cups-label-queue: ZPL queue $name at $dpi dpi to 127.0.0.1:$port"
  # The driver has no 62 x 100 mm paper but takes custom sizes; the default is one, so jobs that
  # name no size print as the label. lpadmin warns that drivers are deprecated: not an error here.
  lpadmin -p "$name" -E -v "socket://127.0.0.1:$port" -m drv:///sample.drv/zebra.ppd \
    -o "Resolution=${dpi}dpi" -o PageSize=Custom.62x100mm 2>&1 | grep -v deprecated >&2 || true
done
# Every queue must exist before a client is told to go on.
for name in "$queue" "${zpl[@]%%=*}"; do
  lpstat -p "$name" >/dev/null 2>&1 || { echo "cups-label-queue: queue $name was not created" >&2; exit 1; }
done
echo "ready $socket"
wait "$pid"
