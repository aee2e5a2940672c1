#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine (as root) lacks to build Vantrel
# and run it under 32-bit Wine. Idempotent and quiet when everything is there.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

pkgs=(cmake ninja-build g++ g++-mingw-w64-i686 wine wine32 xvfb xauth
      libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
      imagemagick x11-apps locales zip unzip unicode-data bzip2
      # Chinese and Japanese glyphs for Wine's fonts: without a CJK font the
      # names in the pop-up (scripts/demo.sh --names) are drawn as boxes.
      fonts-wqy-microhei)
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done

if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "setup: missing packages: ${need[*]} (run as root to install them)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  echo "setup: installing ${need[*]}" >&2
  apt-get update -qq >/dev/null
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
