# Directory watcher stress figures under Wine:
#   scripts/wine-run.sh build/win/bin/watch_stress.exe
#   scripts/wine-run.sh build/win/bin/watch_stress.exe --check   (the test)
if(WIN32)
  add_executable(watch_stress ${CMAKE_CURRENT_LIST_DIR}/watch_stress.cpp)
  target_link_libraries(watch_stress PRIVATE vantrel_win)
  # A short run that checks its figures, part of every test run.
  add_test(NAME watch_stress_check COMMAND watch_stress --check)
  set_tests_properties(watch_stress_check PROPERTIES TIMEOUT 300)
endif()
