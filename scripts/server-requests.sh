#!/usr/bin/env bash
# The requests that one typed key sends to the Wine server, per subject of
# plugin_key_bench (the host's own field, the plug-in, any other build of it
# named on the command line), averaged over the keys of one round after the
# first. Under Wine most window calls are answered in the process; the ones
# that reach the server are what a keystroke's time grows with on a loaded
# machine.
#   scripts/server-requests.sh [other.dll ...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin="$root/build/win/bin"
# The server writes the trace, so it must be started for this run: wait
# until the prefix's server from an earlier program has gone.
WINEPREFIX=${VANTREL_WINEPREFIX:-$root/build/wineprefix} wineserver -w || true
trace=$(mktemp)
trap 'rm -f "$trace"' EXIT
(cd "$bin" && WINEDEBUG=+server,+debugstr "$root/scripts/wine-run.sh" ./plugin_key_bench.exe \
   --rounds 1 "$@" >"$trace" 2>&1) || true
# Each key lies between the bench's "key <subject>" and "key end" marks; a
# request shows as "<thread>: name( ... )", its reply as "<thread>: name() = ".
# The marks' own requests (OutputDebugString's) are left out.
awk '
  /OutputDebugStringA "key end/ { if (cur != "") { keys[cur]++; if (keys[cur] > 1) for (r in now) total[cur, r] += now[r] } cur = ""; next }
  /OutputDebugStringA "key / { cur = $0; sub(/.*"key /, "", cur); sub(/\\n".*/, "", cur); delete now; subjects[cur] = 1; next }
  cur != "" && /^[0-9a-f]+: [a-z_]+\( / {
    name = $2; sub(/\(.*/, "", name)
    if (name != "open_mapping" && name != "open_directory" && name != "create_mutex") { now[name]++; names[name] = 1 }
  }
  END {
    for (s in subjects) {
      n = keys[s] - 1; if (n < 1) continue
      sum = 0; line = ""
      for (r in names) if ((s, r) in total) { sum += total[s, r]; line = line sprintf(" %s %.1f", r, total[s, r] / n) }
      printf "%s: %.1f requests per key (%d keys):%s\n", s, sum / n, n, line
    }
  }' "$trace"
