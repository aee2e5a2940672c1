#!/usr/bin/env bash
# Makes the release package dist/Vantrel-<version>-win32.zip from a clean
# build: Vantrel.dll, VantrelAddresses.exe, the user's readme in English
# (README.txt) and Simplified Chinese (README.zh-CN.txt), and SHA256SUMS.
#
# Two runs on the same commit give the same bytes, in any folder: the build
# records no link time and no build paths (CMakeLists.txt), and every file
# in the zip carries the commit's time (SOURCE_DATE_EPOCH, if set, instead),
# mode 644, no extra fields, in a fixed order.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
"$root/scripts/setup.sh"

version=$(sed -n 's/^project(Vantrel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [ -z "$version" ]; then
  echo "package: no version in CMakeLists.txt" >&2
  exit 1
fi
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || true)}
if [ -z "$epoch" ]; then
  echo "package: not a git checkout; set SOURCE_DATE_EPOCH to the time the files should carry" >&2
  exit 1
fi
if [ -n "$(git status --porcelain 2>/dev/null)" ]; then
  echo "package: warning: uncommitted changes are packaged too" >&2
fi

# No zip from an earlier run survives a failed build.
rm -rf build/package "dist/Vantrel-$version-win32.zip"
scripts/build.sh package Vantrel VantrelAddresses

stage=build/package/stage
name="Vantrel-$version-win32"
mkdir -p "$stage" dist
cp build/package/bin/Vantrel.dll build/package/bin/VantrelAddresses.exe "$stage/"
# Notepad before Windows 10 1903 guesses the encoding of a file without a
# byte-order mark (and may take UTF-8 for the ANSI code page, GBK on Chinese
# Windows); before 1809 it shows LF-only text as one line. UTF-8 with a BOM
# and CR LF reads right in every Notepad since Windows 2000.
for readme in README.txt README.zh-CN.txt; do
  { printf '\357\273\277'; sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "docs/user/$readme"; } \
    >"$stage/$readme"
done
files=(Vantrel.dll VantrelAddresses.exe README.txt README.zh-CN.txt)
# ASCII with CR LF: Notepad shows it and sha256sum -c reads it.
(cd "$stage" && sha256sum "${files[@]}" | sed 's/$/\r/' >SHA256SUMS)
files+=(SHA256SUMS)

for f in "${files[@]}"; do
  chmod 644 "$stage/$f"
  touch -d "@$epoch" "$stage/$f"
done
# zip stores local times: TZ fixes them. -X: no uid/gid or extra times.
(cd "$stage" && TZ=UTC zip -q -X -9 "$root/dist/$name.zip" "${files[@]}")

unzip -l "dist/$name.zip"
(cd dist && sha256sum "$name.zip")
