#!/usr/bin/env bash
# Configures and builds one preset (native, fuzz, win, win-clang or package),
# all of it or the given targets; prints the build's output only when it
# fails.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
preset=$1
shift
cd "$root"
mkdir -p build
log="build/$preset.log"
targets=()
[ $# -gt 0 ] && targets=(--target "$@")
if ! { cmake --preset "$preset" && cmake --build "build/$preset" -j"$(nproc)" "${targets[@]}"; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "build ($preset) failed" >&2
  exit 1
fi
