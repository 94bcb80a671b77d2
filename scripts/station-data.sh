# Shared by demo.sh and scripts/screenshots.sh (source it): a station data folder with the sample
# layout, its logo, the console connection, two phone jobs on the built-in PDF printer, and where
# labels and the printed-reports log go.
#   prepare_station <work folder> <console port> [report-id watermark]
# Sets $station_data (the data root) and $station_log (the program's log file).
prepare_station() {
  local work="$1" port="$2" watermark="${3:-}" repo
  repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  station_data="$work/share/Korvex/KorvexSupportTool"
  local global="$station_data/home/global"
  station_log="$global/TVKRsupport.log"
  mkdir -p "$work/home" "$work/labels" "$global/customlayouts" "$station_data/custom/userapps/logos"
  cp "$repo/resources/demo/Station label.lyson" "$global/customlayouts/"
  cp "$repo/resources/demo/korvex-logo.png" "$station_data/custom/userapps/logos/"
  local printer="PDF files (label archive)"
  {
    printf '[MC]\naddress=http://127.0.0.1\nport=%s\nusername=demo\npassword=demo\n' "$port"
    [ -n "$watermark" ] && printf 'lastReportId=%s\n' "$watermark"
    printf '\n[ReportView]\nreportLogPath=%s/PrintedReports.csv\n' "$work"
    printf '\n[printer]\npdfFolder=%s/labels\n\n[jobs]\n' "$work"
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
