# The compose hook with 100,000 addresses: opening a compose window (shared
# index against one AddSearchString per address) and typing with 10 KB of
# recipients. Windows only; run it under Wine:
#   scripts/wine-run.sh build/win/bin/compose_bench.exe
if(WIN32)
  add_executable(compose_bench ${CMAKE_CURRENT_LIST_DIR}/compose_bench.cpp)
  target_link_libraries(compose_bench PRIVATE vantrel_win vantrel_host_ui)
endif()
