# Shared by demo.sh and scripts/screenshots.sh (source it): a station data folder with the sample
# layout, its logo, the console connection, two phone jobs on the built-in PDF printer (or on a ZPL
# label printer at host:port), and where labels and the printed-reports log go.
#   prepare_station <work folder> <console port> [report-id watermark] [ZPL printer host:port]
# Sets $station_data (the data root) and $station_log (the program's log file).
prepare_station() {
  local work="$1" port="$2" watermark="${3:-}" zpl="${4:-}" repo
  repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  station_data="$work/share/Korvex/KorvexSupportTool"
  local global="$station_data/home/global"
  station_log="$global/TVKRsupport.log"
  mkdir -p "$work/home" "$work/labels" "$global/customlayouts" "$station_data/custom/userapps/logos"
  cp "$repo/resources/demo/Station label.lyson" "$global/customlayouts/"
  cp "$repo/resources/demo/korvex-logo.png" "$station_data/custom/userapps/logos/"
  local printer="PDF files (label archive)"
  [ -n "$zpl" ] && printer="Demo ZPL printer"
  {
    printf '[MC]\naddress=http://127.0.0.1\nport=%s\nusername=demo\npassword=demo\n' "$port"
    [ -n "$watermark" ] && printf 'lastReportId=%s\n' "$watermark"
    printf '\n[ReportView]\nreportLogPath=%s/PrintedReports.csv\n' "$work"
    printf '\n[printer]\npdfFolder=%s/labels\n' "$work"
    if [ -n "$zpl" ]; then
      printf '\n[zplPrinters]\np1\\name=%s\np1\\address=%s\np1\\dpi=203\np1\\darkness=15\n' "$printer" "$zpl"
      printf 'p1\\speed=4\np1\\offsetLeft=0\np1\\offsetTop=0\np1\\media=gap\n'
    fi
    printf '\n[jobs]\n'
    # Apple phones, and the other phones (computers print nothing).
    printf 'apple\\jobname=Apple phones\napple\\active=true\napple\\layout=Station label\napple\\printer=%s\n' "$printer"
    printf 'apple\\f1\\filterName=korvex_data.korvex_hardware_report.system.manufacturer\napple\\f1\\operator===\n'
    printf 'apple\\f1\\filterValue=Apple\napple\\f1\\operatorType=string\n'
    printf 'others\\jobname=Other phones\nothers\\active=true\nothers\\layout=Station label\nothers\\printer=%s\n' "$printer"
    printf 'others\\f1\\filterName=korvex_data.korvex_hardware_report.system.manufacturer\nothers\\f1\\operator=!=\n'
    printf 'others\\f1\\filterValue=Apple\nothers\\f1\\operatorType=string\n'
    printf 'others\\f2\\filterName=korvex_data.korvex_hardware_report.system.chassis_type\nothers\\f2\\operator===\n'
    printf 'others\\f2\\filterValue=Phone\nothers\\f2\\operatorType=string\n'
  } > "$global/settingsStorage.ini"
}
