#!/usr/bin/env bash
# Runs every test: native unit tests (ASan/UBSan), the card reading thread
# under ThreadSanitizer, a short run of each fuzzer,
# the release package from a clean build, a clang build of the DLL and the
# Wine programs (compiled only: warnings are errors), then the Wine tests
# (real windows, loader, registry, directories, the package) on a private
# Xvfb display. Installs what is missing first.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
"$root/scripts/setup.sh"
fuzz_seconds=${VANTREL_FUZZ_SECONDS:-20}

passed=0; failed=0
run_ctest() {  # dir, extra args...
  local dir=$1; shift
  local out rc=0
  out=$(ctest --test-dir "$dir" --output-on-failure "$@" 2>&1) || rc=$?
  echo "$out" | grep -v -E '^ *(Start +[0-9]+|[0-9]+/[0-9]+ Test +#[0-9]+: .* Passed)' || true
  local total fails
  total=$(echo "$out" | sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' | tail -1)
  fails=$(echo "$out" | sed -n 's/.* \([0-9]*\) tests failed out of.*/\1/p' | tail -1)
  total=${total:-0}; fails=${fails:-0}
  if [ "$rc" != 0 ] && [ "$fails" = 0 ]; then fails=1; fi
  passed=$((passed + total - fails)); failed=$((failed + fails))
}

echo "== native unit tests"
scripts/build.sh native
run_ctest build/native -j"$(nproc)"

echo "== thread sanitizer: the card reading thread"
mkdir -p build/tsan
if g++ -std=c++17 -O1 -g -fsanitize=thread -Wall -Wextra -Werror -Isrc -Itests \
     tests/addrbook/card_reading_thread_test.cpp src/addrbook/card_reading_thread.cpp \
     src/addrbook/card_parser.cpp src/addrbook/address_parser.cpp \
     src/platform/charset_names.cpp src/platform/utf8.cpp \
     -lgtest -lgtest_main -pthread -o build/tsan/card_reading_thread_tsan &&
   TSAN_OPTIONS=halt_on_error=1 build/tsan/card_reading_thread_tsan >build/tsan/run.log 2>&1; then
  echo "card_reading_thread_tsan: $(grep -E 'PASSED' build/tsan/run.log)"
  passed=$((passed + 1))
else
  tail -40 build/tsan/run.log 2>/dev/null || true; echo "card_reading_thread_tsan: FAILED"
  failed=$((failed + 1))
fi

echo "== fuzzers (${fuzz_seconds}s each)"
scripts/build.sh fuzz
for f in build/fuzz/fuzz/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus="build/fuzz/corpus/$name"; mkdir -p "$corpus"
  if "$f" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 "$corpus" >"build/fuzz/$name.log" 2>&1; then
    echo "$name: $(grep -E '^#[0-9]+.*(DONE|pulse)' "build/fuzz/$name.log" | tail -1)"
    passed=$((passed + 1))
  else
    tail -40 "build/fuzz/$name.log"; echo "$name: FAILED"
    failed=$((failed + 1))
  fi
done

echo "== release package (clean build)"
scripts/package.sh || { echo "package: FAILED"; failed=$((failed + 1)); }

echo "== clang build of the DLL and the Wine programs (warnings are errors; not run)"
if scripts/build.sh win-clang; then
  echo "clang build: ok"
  passed=$((passed + 1))
else
  echo "clang build: FAILED"
  failed=$((failed + 1))
fi

echo "== Wine tests"
scripts/build.sh win
source scripts/env.sh
vantrel_start_display
# One at a time: the end-to-end tests type into focused windows on the one
# display, and two of them at once would steal each other's focus.
run_ctest build/win -j1 --timeout 600

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
