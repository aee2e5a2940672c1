#!/usr/bin/env bash
# Runs a Windows program under 32-bit Wine in the project's own prefix.
# Used by ctest as the cross-compiling emulator and by the other scripts.
# Without a DISPLAY it runs the program under its own Xvfb.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${VANTREL_WINEPREFIX:-$root/build/wineprefix}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$root/scripts/wine-prefix.sh" >&2
fi
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" wine "$@"
fi
exec wine "$@"
