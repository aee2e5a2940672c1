#!/usr/bin/env bash
# Runs a Wine test program with another system ANSI code page and user
# locale: run_in_code_page.sh <system code page> <user code page> <exe> [args].
# The code pages are 1252, 936 or 932.
#
# Wine fixes both when a process starts: the system locale (and with it
# GetACP()) from LC_CTYPE, the user locale from LC_MESSAGES; LC_ALL would set
# both. It also names files in LC_CTYPE's charset, so each locale must really
# exist: they are compiled once into the build folder (glibc finds them
# through LOCPATH), since the machine may have none of them. The program is
# told what to expect (VANTREL_EXPECT_ACP, VANTREL_EXPECT_USER_ACP) and fails
# when Wine gave it something else, rather than passing in code page 1252.
set -euo pipefail
system_cp=$1 user_cp=$2 exe=$3
shift 3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
locales=$(cd "$(dirname "$exe")/.." && pwd)/locale

locale_of() {
  case $1 in
    1252) echo en_US ;;
    936) echo zh_CN ;;
    932) echo ja_JP ;;
    *) echo "run_in_code_page.sh: no locale for code page $1" >&2; exit 2 ;;
  esac
}

compile() {  # name: compiled under a lock, since ctest may run entries at once
  local name=$1
  [ -e "$locales/$name.UTF-8/LC_CTYPE" ] && return
  mkdir -p "$locales"
  (
    flock 9
    if [ ! -e "$locales/$name.UTF-8/LC_CTYPE" ]; then
      rm -rf "$locales/$name.UTF-8.tmp"
      # localedef warns about some of the charmap's characters and exits 1;
      # the locale is written all the same, which the check below confirms.
      localedef -i "$name" -f UTF-8 "$locales/$name.UTF-8.tmp" >/dev/null 2>&1 || true
      mv "$locales/$name.UTF-8.tmp" "$locales/$name.UTF-8"
    fi
  ) 9>"$locales/.lock"
  if [ ! -e "$locales/$name.UTF-8/LC_CTYPE" ]; then
    echo "run_in_code_page.sh: could not compile the $name.UTF-8 locale" >&2
    exit 1
  fi
}

system=$(locale_of "$system_cp")
user=$(locale_of "$user_cp")
compile "$system"
compile "$user"
# Through env: set in this shell, the locale variables would make bash try
# them itself before it knows LOCPATH, and warn.
exec env -u LC_ALL -u LANG -u LANGUAGE LOCPATH="$locales" LC_CTYPE="$system.UTF-8" \
  LC_MESSAGES="$user.UTF-8" VANTREL_EXPECT_ACP="$system_cp" VANTREL_EXPECT_USER_ACP="$user_cp" \
  "$root/scripts/wine-run.sh" "$exe" "$@"
