# The completion field's per-keystroke work with up to 100,000 entries:
# matching and sorting against the literal algorithm, and a whole typed
# keystroke with real windows. Windows only (run it under Wine with
# scripts/wine-run.sh build/win/bin/complete_bench.exe).
if(WIN32)
  add_executable(complete_bench ${CMAKE_CURRENT_LIST_DIR}/complete_bench.cpp)
  target_link_libraries(complete_bench PRIVATE vantrel_win)
endif()

# The name mode's matching at 100,000 generated cards: per-keystroke time
# beside the plain address match, index memory beside the books' bytes, and
# every token's rows against the literal reference matcher. Window-free, so
# it builds both ways: natively from the bench preset (optimised, no
# sanitizers: scripts/build.sh bench name_bench && build/bench/bin/name_bench)
# and as a Windows program to run under Wine (scripts/wine-run.sh
# build/win/bin/name_bench.exe). Both test builds run its short --check (the
# 32-bit one under Wine).
add_executable(name_bench ${CMAKE_CURRENT_LIST_DIR}/name_bench.cpp
               ${CMAKE_SOURCE_DIR}/tests/complete/name_reference.cpp)
target_link_libraries(name_bench PRIVATE vantrel_core)
target_include_directories(name_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests)
add_test(NAME name_bench_check COMMAND name_bench --check)
set_tests_properties(name_bench_check PROPERTIES TIMEOUT 600)
