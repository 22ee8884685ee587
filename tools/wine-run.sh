#!/bin/sh
# Runs a Windows test executable under Wine: the emulator of the Windows
# build. Uses a Wine prefix of its own beside the build tree, created on first
# use, and a virtual X display (Xvfb) when none is set, so that GUI tests can
# create windows on a machine without a screen.
set -eu
: "${WINEPREFIX:=${PW_WINEPREFIX:-$HOME/.cache/pebblewire/wineprefix}}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko install prompts in a fresh prefix.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
WINE=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$WINE" wineboot --init >/dev/null 2>&1 || true
  wineserver -w 2>/dev/null || true
fi
# Windows not managed by an X window manager: Xvfb runs none, and Wine would
# wait two seconds for one at every hide and destroy of a top-level window.
if [ ! -f "$WINEPREFIX/.pw-unmanaged" ]; then
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  wineserver -w 2>/dev/null || true
  touch "$WINEPREFIX/.pw-unmanaged"
fi
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$WINE" "$@"
fi
exec "$WINE" "$@"
