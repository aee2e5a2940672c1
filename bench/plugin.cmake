# A change in the address books with 100,000 addresses and three open compose
# windows: the whole rebuild against reading the books alone, and the memory
# each open field adds. Windows only (under Wine:
# scripts/wine-run.sh build/win/bin/rebuild_bench.exe). The program plays the
# host itself, so it exports the host's functions.
if(WIN32)
  add_executable(rebuild_bench ${CMAKE_CURRENT_LIST_DIR}/rebuild_bench.cpp
                 $<TARGET_OBJECTS:vantrel_host_exports>)
  target_link_libraries(rebuild_bench PRIVATE vantrel_win vantrel_host vantrel_host_ui psapi)
  target_link_options(rebuild_bench PRIVATE -Wl,--kill-at)
endif()

# A typed key that matches nothing, through the real DLL as the host loads
# it, beside the host's own field and any other build of the DLL named on
# the command line. Under Wine:
#   scripts/wine-run.sh build/win/bin/plugin_key_bench.exe [other.dll ...]
if(WIN32)
  add_executable(plugin_key_bench ${CMAKE_CURRENT_LIST_DIR}/plugin_key_bench.cpp
                 $<TARGET_OBJECTS:vantrel_host_exports>)
  target_link_libraries(plugin_key_bench PRIVATE vantrel_host vantrel_host_ui)
  target_link_options(plugin_key_bench PRIVATE -Wl,--kill-at)
  add_dependencies(plugin_key_bench Vantrel)
endif()
