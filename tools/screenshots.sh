#!/bin/sh
# Screenshots of the Windows program under Wine in Xvfb (1280x1024), from
# the demo that the Windows build makes (tools/gui_demo/gui_demo.cpp):
#   main.png    the main dialog with rows, the details window beside it where
#               the program places it, and Wine's system tray window with the
#               notification icon
#   about.png   the same with the about box over it
#   menu.png    the same with the popup menu that a right click on a row opens
#   start.png   a start with flip to tray on: the window displayed, its icon
#               in the notification area
#   first.png   a first start: the about box before the main window shows
#   max.png     the main window maximised, its columns spread
#   red.png     a from field that matches nothing, red, with its tip
#   file.png    a capture file opened (tests/data/text2pcap_eth.pcap, every
#               protocol box checked by the settings), with the details of its
#               third datagram
#   mixed.png   a loopback capture file of both families
#               (tests/data/tcpdump_lo_mixed.pcap): IPv6 rows beside IPv4
#               ones, with the details of its third datagram (IPv6 tcp)
#   wide.png    a capture file of both families whose IPv6 addresses have
#               39 characters, in the maximised window: every field under
#               its caption
#   limit.png   a capture file of 10,001 datagrams: its last rows and the row
#               that says why the listing ended
#   into.png    "capture into file..." checked and a capture running: the
#               popup menu with the item checked and greyed
#   copy.png    a capture file of 25,000 datagrams copied into a file: the
#               store's last rows, the written count and the end row
#   main144.png, about144.png, red144.png   the same at 144 dots per inch
#               (150 %)
# Usage: tools/screenshots.sh [OUTPUT-FOLDER]   (default /tmp/pw-shots)
set -eu
cd "$(dirname "$0")/.."
out=${1:-/tmp/pw-shots}
mkdir -p "$out"
demo=build/windows/tools/gui_demo/pw_gui_demo.exe
[ -f "$demo" ] || { echo "build the windows preset first" >&2; exit 1; }
prefix="$PWD/build/windows/wineprefix-shots"

# prepare DPI: a prefix of its own for each dots-per-inch setting, which Wine
# reads from the registry.
prepare() {
  export WINEPREFIX="$prefix$1"
  # A first run creates and prepares the prefix (tools/wine-run.sh does that).
  ./tools/wine-run.sh cmd /c exit >/dev/null 2>&1 || true
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  wineserver -w
}

shoot() {  # shoot NAME SECONDS ARGS...: runs the demo, waits, takes the picture
  name=$1; wait=$2; shift 2
  xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
    wine "$0" "$@" & pid=$!
    sleep '"$wait"'
    import -window root '"$out/$name"'.png
    kill $pid; wineserver -k' "$demo" "$@" >/dev/null 2>&1 || true
}

windows_path() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }

settings=$(mktemp -d)
mkdir -p "$settings/Gravlin"
folder=$(windows_path "$settings")
prefs() {  # prefs FLIP [MORE]: the settings file of the next shots
  printf '[Config]\r\nSaveSessionPreferences=Yes\r\nEnableFlipToTray=%s\r\nOnTcp=Yes\r\nOnUdp=Yes\r\n%b' \
    "$1" "${2:-}" > "$settings/Gravlin/gravlin.ini"
}

prepare 96
prefs Yes
shoot main 6 "$folder"
shoot about 6 "$folder" about
shoot menu 6 "$folder" menu
shoot start 5 "$folder" start
shoot max 6 "$folder" max
shoot red 8 "$folder" red
shoot limit 12 "$folder" limit
shoot into 6 "$folder" into
shoot copy 15 "$folder" copy
shoot wide 8 "$folder" wide
prefs No 'OnIcmp=Yes\r\nOnIgmp=Yes\r\nOnRaw=Yes\r\nDataInHexViewOnlyUdp=Yes\r\nTcpDataInTextView=Yes\r\n'
shoot file 6 "$folder" file "$(windows_path "$PWD/tests/data/text2pcap_eth.pcap")"
shoot mixed 6 "$folder" file "$(windows_path "$PWD/tests/data/tcpdump_lo_mixed.pcap")"
fresh=$(mktemp -d)
shoot first 5 "$(windows_path "$fresh")"

prepare 144
prefs Yes
shoot main144 6 "$folder"
shoot about144 6 "$folder" about
shoot red144 8 "$folder" red
rm -rf "$settings" "$fresh"
ls -l "$out"
