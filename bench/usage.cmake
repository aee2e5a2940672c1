# Ranking the name mode's rows by use: the matcher alone and the matcher with
# the ranking, side by side on the same 100,000 cards and tokens. Windows
# only (run it under Wine with scripts/wine-run.sh build/win/bin/usage_bench.exe).
if(WIN32)
  add_executable(usage_bench ${CMAKE_CURRENT_LIST_DIR}/usage_bench.cpp)
  target_link_libraries(usage_bench PRIVATE vantrel_win)
endif()
