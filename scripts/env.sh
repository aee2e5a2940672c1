# Sourced by the scripts: a shared Xvfb display and a persistent wineserver for
# one run, stopped again when the calling script exits.
vantrel_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${VANTREL_WINEPREFIX:-$vantrel_root/build/wineprefix}
export WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="

vantrel_start_display() {
  "$vantrel_root/scripts/wine-prefix.sh"
  if [ -z "${VANTREL_KEEP_DISPLAY:-}" ] || [ -z "${DISPLAY:-}" ]; then
    local n
    for n in $(seq 90 130); do
      [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      vantrel_xvfb_pid=$!
      export DISPLAY=":$n"
      break
    done
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break; sleep 0.1; done
  fi
  wineserver -p >/dev/null 2>&1 || true
  trap vantrel_stop_display EXIT
}

vantrel_stop_display() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${vantrel_xvfb_pid:-}" ] && kill "$vantrel_xvfb_pid" >/dev/null 2>&1 || true
}
