#!/usr/bin/env bash
# Builds Vantrel.dll and runs it in the stand-in host on a copy of the sample
# address books.
#
#   scripts/demo.sh                 headless (own Xvfb): types a token into a
#                                   compose window, saves a PNG of the window
#                                   with the suggestion list, prints the
#                                   addresses offered
#   scripts/demo.sh --live          also adds an address to an address book
#                                   while the compose window is open and
#                                   captures the list that now offers it
#                                   (<token>da.newcomer@example.org)
#   scripts/demo.sh --token al      the token to type (default "a")
#   scripts/demo.sh --interactive   opens the host on your own $DISPLAY to
#                                   try it by hand (File > New message)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
token=a
live=
interactive=
while [ $# -gt 0 ]; do
  case "$1" in
    --live) live=1 ;;
    --interactive) interactive=1 ;;
    --token) token=$2; shift ;;
    *) echo "usage: scripts/demo.sh [--live] [--token TEXT] [--interactive]" >&2; exit 2 ;;
  esac
  shift
done

"$root/scripts/setup.sh"
"$root/scripts/build.sh" win

out="$root/build/demo"
rm -rf "$out"
mkdir -p "$out"
cp -r "$root/sample/Data" "$out/Data"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
host="$root/build/win/bin/StandinHost.exe"

if [ -n "$interactive" ]; then
  "$root/scripts/wine-prefix.sh"
  export WINEPREFIX=${VANTREL_WINEPREFIX:-$root/build/wineprefix} WINEARCH=win32 WINEDEBUG=-all
  exec wine "$host" --data "$(winpath "$out/Data")"
fi

source "$root/scripts/env.sh"
vantrel_start_display

echo "The sample address books hold these addresses (VantrelAddresses.exe, the plug-in's reader):"
"$root/scripts/wine-run.sh" "$root/build/win/bin/VantrelAddresses.exe" "$(winpath "$out/Data/AddrBook")" | sed 's/^/  /'
echo

args=(--demo --data "$(winpath "$out/Data")" --token "$token" --screenshot "$(winpath "$out/completion.bmp")")
if [ -n "$live" ]; then
  # An address the typed token completes to, so the list can show it.
  args+=(--live-add "${token}da.newcomer@example.org" --live-book "$(winpath "$out/Data/AddrBook/Personal.bab")"
         --live-screenshot "$(winpath "$out/live.bmp")")
fi

rc=0
"$root/scripts/wine-run.sh" "$host" "${args[@]}" || rc=$?
for bmp in "$out"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  echo "saved ${bmp%.bmp}.png"
done
exit "$rc"
