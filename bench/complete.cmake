# The completion field's per-keystroke work with up to 100,000 entries:
# matching and sorting against the literal algorithm, and a whole typed
# keystroke with real windows. Windows only (run it under Wine with
# scripts/wine-run.sh build/win/bin/complete_bench.exe).
if(WIN32)
  add_executable(complete_bench ${CMAKE_CURRENT_LIST_DIR}/complete_bench.cpp)
  target_link_libraries(complete_bench PRIVATE vantrel_win)
endif()
