# Reading 100,000 addresses from 200 address-book files against reading the
# same files whole with one ReadFile each, in the same run. Windows only (run
# it under Wine with scripts/wine-run.sh build/win/bin/addrbook_bench.exe).
if(WIN32)
  add_executable(addrbook_bench ${CMAKE_CURRENT_LIST_DIR}/addrbook_bench.cpp)
  target_link_libraries(addrbook_bench PRIVATE vantrel_win)
endif()
