#!/usr/bin/env bash
# The release zip as a user gets it (scripts/package.sh makes it from a
# clean build): exactly its five files with fixed times and modes, checksums
# that match, readmes that Notepad shows right, the very binaries this build
# tested, and its DLL loaded by the stand-in host from the unpacked folder.
#
#   package_test.sh <zip> <folder of the Windows build's programs> <sample data folder>
set -uo pipefail
zip=$1 bin=$2 data=$3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
failures=0
version=$(basename "$zip" -win32.zip)
version=${version#Vantrel-}
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if [ ! -f "$zip" ]; then
  echo "FAIL: no $zip (scripts/package.sh makes it)"
  exit 1
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
unzip -q "$zip" -d "$tmp/pkg" || fail "unzip failed"
pkg=$tmp/pkg

expected=$'Vantrel.dll\nVantrelAddresses.exe\nREADME.txt\nREADME.zh-CN.txt\nSHA256SUMS'
listing=$(zipinfo -1 "$zip")
[ "$listing" = "$expected" ] || fail "the zip holds"$'\n'"$listing"
# One time and mode for every entry and no extra fields (uid/gid, Unix
# times): what keeps two packages of one commit byte-identical.
stamps=$(zipinfo -T "$zip" | awk '$1 ~ /^-/ { print $1, $7 }' | sort -u)
[ "$(echo "$stamps" | wc -l)" = 1 ] && [ "${stamps%% *}" = "-rw-r--r--" ] ||
  fail "entries differ in mode or time:"$'\n'"$stamps"
[ "$(zipinfo -v "$zip" | grep -c 'length of extra field: *0 bytes')" = 5 ] ||
  fail "entries carry extra fields"

# SHA256SUMS covers every other file, and the sums match.
sums_names=$(tr -d '\r' <"$pkg/SHA256SUMS" | sed 's/^[0-9a-f]\{64\}  //')
[ "$sums_names" = "$(echo "$expected" | grep -vx SHA256SUMS)" ] ||
  fail "SHA256SUMS lists"$'\n'"$sums_names"
(cd "$pkg" && sha256sum --quiet -c SHA256SUMS) || fail "checksums do not match"

# Notepad: UTF-8 with a byte-order mark, every line ended by CR LF (no bare
# LF or CR), no placeholder left; both tell what the user needs.
for readme in README.txt README.zh-CN.txt SHA256SUMS; do
  f=$pkg/$readme
  lf=$(tr -cd '\n' <"$f" | wc -c)
  cr=$(tr -cd '\r' <"$f" | wc -c)
  crlf=$(grep -c $'\r$' "$f")
  [ "$lf" -gt 0 ] && [ "$lf" = "$cr" ] && [ "$lf" = "$crlf" ] && [ -z "$(tail -c1 "$f" | tr -d '\n')" ] ||
    fail "$readme: $lf LF, $cr CR, $crlf CR LF line ends"
  if [ "$readme" = SHA256SUMS ]; then
    LC_ALL=C grep -q '[^ -~'$'\r'']' "$f" && fail "SHA256SUMS is not plain ASCII"
    continue
  fi
  [ "$(head -c3 "$f" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "$readme has no UTF-8 byte-order mark"
  iconv -f UTF-8 -t UTF-16LE "$f" >/dev/null 2>&1 || fail "$readme is not UTF-8"
  grep -q '@[A-Z]*@' "$f" && fail "$readme keeps a placeholder"
  for needle in 'HKEY_CURRENT_USER\software\Vantrel\Setup' AutoParse REG_DWORD \
                'VantrelAddresses.exe --paths' 'reg delete "HKCU\software\Vantrel" /f' \
                '跟踪地址簿信息变化' NT Vista "Vantrel $version for Becky!"; do
    grep -qF -- "$needle" "$f" || fail "$readme does not mention $needle"
  done
done
grep -q '安装' "$pkg/README.zh-CN.txt" || fail "README.zh-CN.txt is not in Chinese"

# The shipped binaries are the ones this build tested: the same sources
# built clean in another folder give the same bytes.
for f in Vantrel.dll VantrelAddresses.exe; do
  cmp -s "$pkg/$f" "$bin/$f" ||
    fail "$f in the zip differs from $bin/$f (a stale zip, or the build is not reproducible)"
done

# The unpacked DLL in the stand-in host, and the unpacked tool on the
# sample address books: no file beside them is needed.
winpath() { printf 'Z:%s' "${1//\//\\}"; }
out=$("$root/scripts/wine-run.sh" "$bin/StandinHost.exe" --info \
        --plugin "$(winpath "$pkg/Vantrel.dll")" --data "$(winpath "$data")" 2>&1)
rc=$?
command=$(printf '\xB8\xFA\xD7\xD9\xB5\xD8\xD6\xB7\xB2\xBE\xD0\xC5\xCF\xA2\xB1\xE4\xBB\xAF')
if [ "$rc" != 0 ] || ! grep -qF "loaded $(winpath "$pkg/Vantrel.dll") " <<<"$out" ||
   ! grep -q '^  name: *Vantrel Plugin' <<<"$out" || ! grep -qF "\"$command\"" <<<"$out"; then
  fail "the stand-in host with the unpacked DLL (exit $rc):"$'\n'"$out"
fi
out=$("$root/scripts/wine-run.sh" "$pkg/VantrelAddresses.exe" "$(winpath "$data/AddrBook")" 2>&1)
rc=$?
[ "$rc" = 0 ] && grep -qx 'alpine-club@example.org' <<<"$out" ||
  fail "the unpacked VantrelAddresses.exe (exit $rc):"$'\n'"$out"

if [ "$failures" != 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "package ok: $(basename "$zip")"
