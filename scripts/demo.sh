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
#   scripts/demo.sh --names         switches the name mode on (the plug-in's
#                                   second menu command) and types a pinyin
#                                   token (default "zhang"), in code page 936
#                                   so that the Chinese names can show: the
#                                   PNG shows each name beside its address.
#                                   The setting is taken back afterwards
#   scripts/demo.sh --token al      the token to type (default "a")
#   scripts/demo.sh --interactive   opens the host on your own $DISPLAY to
#                                   try it by hand (File > New message)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
token=
names=
live=
interactive=
while [ $# -gt 0 ]; do
  case "$1" in
    --live) live=1 ;;
    --names) names=1 ;;
    --interactive) interactive=1 ;;
    --token) token=$2; shift ;;
    *) echo "usage: scripts/demo.sh [--live] [--names] [--token TEXT] [--interactive]" >&2; exit 2 ;;
  esac
  shift
done
if [ -z "$token" ]; then
  if [ -n "$names" ]; then token=zhang; else token=a; fi
fi

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

shot=completion
[ -n "$names" ] && shot=names
args=(--demo --data "$(winpath "$out/Data")" --token "$token" --screenshot "$(winpath "$out/$shot.bmp")")
run=("$root/scripts/wine-run.sh")
if [ -n "$names" ]; then
  # The name mode through its menu command, as a user switches it on; the
  # host runs in code page 936 (names that the code page cannot hold are not
  # shown, so in 1252 the Chinese names would be missing).
  args=(--check-command 1 "${args[@]}")
  run=("$root/tests/run_in_code_page.sh" 936 936)
fi
if [ -n "$live" ]; then
  # An address the typed token completes to, so the list can show it.
  args+=(--live-add "${token}da.newcomer@example.org" --live-book "$(winpath "$out/Data/AddrBook/Personal.bab")"
         --live-screenshot "$(winpath "$out/live.bmp")")
fi

rc=0
"${run[@]}" "$host" "${args[@]}" || rc=$?
if [ -n "$names" ]; then
  # The demo's choice is not the user's: the setting goes back to missing.
  "$root/scripts/wine-run.sh" reg delete 'HKCU\software\Vantrel\Setup' /v MatchNames /f >/dev/null 2>&1 || true
fi
for bmp in "$out"/*.bmp; do
  [ -e "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
  echo "saved ${bmp%.bmp}.png"
done
exit "$rc"
