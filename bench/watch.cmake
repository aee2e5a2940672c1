# Directory watcher stress figures under Wine:
#   scripts/wine-run.sh build/win/bin/watch_stress.exe
if(WIN32)
  add_executable(watch_stress ${CMAKE_CURRENT_LIST_DIR}/watch_stress.cpp)
  target_link_libraries(watch_stress PRIVATE vantrel_win)
endif()
