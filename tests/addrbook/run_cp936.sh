#!/usr/bin/env bash
# Runs the code page 936 cases of addrbook_wine_tests: Wine takes a process's
# ANSI code page from LC_ALL, and names files in the Unix locale's charset, so
# the zh_CN.UTF-8 locale must exist; it is compiled into the build folder
# once (glibc finds it through LOCPATH), since the machine may not have it.
set -euo pipefail
exe=$1
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
locales=$(dirname "$exe")/../locale
if [ ! -e "$locales/zh_CN.UTF-8/LC_CTYPE" ]; then
  mkdir -p "$locales"
  localedef -i zh_CN -f UTF-8 "$locales/zh_CN.UTF-8" >/dev/null 2>&1 || true
fi
export LOCPATH=$locales LC_ALL=zh_CN.UTF-8 VANTREL_EXPECT_CP936=1
exec "$root/scripts/wine-run.sh" "$exe" --gtest_filter='CodePage936.*' --gtest_color=no
