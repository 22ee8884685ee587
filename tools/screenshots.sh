#!/bin/sh
# Screenshots of the Windows program under Wine in Xvfb, from the demo that
# the Windows build makes (tools/gui_demo/gui_demo.cpp):
#   main.png   the main dialog with rows, the details window beside it, and
#              Wine's system tray window with the notification icon
#   about.png  the same with the about box over it
#   menu.png   the same with the popup menu opened by a right click on a row
#   first.png  a first start: the about box before the main window shows
#   file.png   a capture file opened (tests/data/text2pcap_eth.pcap, every
#              protocol box checked by the settings), with the details of its
#              third datagram
# Usage: tools/screenshots.sh [OUTPUT-FOLDER]   (default /tmp/pw-shots)
set -eu
cd "$(dirname "$0")/.."
out=${1:-/tmp/pw-shots}
mkdir -p "$out"
demo=build/windows/tools/gui_demo/pw_gui_demo.exe
[ -f "$demo" ] || { echo "build the windows preset first" >&2; exit 1; }
export WINEPREFIX="$PWD/build/windows/wineprefix-shots"
# A first run creates and prepares the prefix (tools/wine-run.sh does that).
./tools/wine-run.sh cmd /c exit >/dev/null 2>&1 || true

shoot() {  # shoot NAME SECONDS ARGS...: runs the demo, waits, takes the picture
  name=$1; wait=$2; shift 2
  xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
    wine "$0" "$@" & pid=$!
    sleep '"$wait"'
    import -window root '"$out/$name"'.png
    kill $pid; wineserver -k' "$demo" "$@" >/dev/null 2>&1 || true
}

settings=$(mktemp -d)
mkdir -p "$settings/Gravlin"
printf '[Config]\r\nSaveSessionPreferences=Yes\r\nEnableFlipToTray=Yes\r\nOnTcp=Yes\r\nOnUdp=Yes\r\n' \
  > "$settings/Gravlin/gravlin.ini"
windows_folder="Z:$(echo "$settings" | tr / '\\')"
shoot main 6 "$windows_folder"
shoot about 6 "$windows_folder" about
shoot menu 6 "$windows_folder" menu
printf '[Config]\r\nSaveSessionPreferences=Yes\r\nEnableFlipToTray=No\r\nOnTcp=Yes\r\nOnUdp=Yes\r\nOnIcmp=Yes\r\nOnIgmp=Yes\r\nOnRaw=Yes\r\nDataInHexViewOnlyUdp=Yes\r\nTcpDataInTextView=Yes\r\n' \
  > "$settings/Gravlin/gravlin.ini"
shoot file 6 "$windows_folder" file "Z:$(echo "$PWD/tests/data/text2pcap_eth.pcap" | tr / '\\')"
fresh=$(mktemp -d)
shoot first 5 "Z:$(echo "$fresh" | tr / '\\')"
rm -rf "$settings" "$fresh"
ls -l "$out"
