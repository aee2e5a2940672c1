#!/usr/bin/env bash
# Builds the Windows side. The plug-in and the stand-in host that runs it on
# the sample address books are still being written; until then this command
# only builds what exists and says so.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" win
echo "demo: Vantrel.dll and the stand-in host are not built yet; nothing to run."
