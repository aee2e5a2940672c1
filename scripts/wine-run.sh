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
# Wine's helper processes (wineserver, services, explorer) outlive the
# program and inherit its output descriptors; a caller that reads our output
# through a pipe (ctest) would wait for them forever. So the program writes to
# a file, which is copied out once it has ended.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
rc=0
if [ -z "${DISPLAY:-}" ]; then
  xvfb-run -a -s "-screen 0 1280x1024x24" wine "$@" >"$out" 2>&1 </dev/null || rc=$?
else
  wine "$@" >"$out" 2>&1 </dev/null || rc=$?
fi
cat "$out"
exit "$rc"
