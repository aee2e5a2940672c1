# Second compiler: clang for 32-bit Windows, on the headers, libraries and
# linker of the posix-thread mingw-w64 g++ (same libstdc++, winpthreads, CRT
# and GNU ld). Built in CI so that clang's warnings are errors too; the tests
# run on the g++ build only (they pass on this one as well).
#
# Debian's clang 14 finds a mingw g++ installation only in a folder named
# after a plain version number. Debian names them 12-posix and 12-win32, so
# the driver finds neither and would search the native /usr/include instead.
# The sysroot below keeps /usr/include out; the libstdc++ folders, crtbegin.o
# and libgcc are named here from the posix g++ itself.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET i686-w64-mingw32)
set(CMAKE_CXX_COMPILER_TARGET i686-w64-mingw32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_SYSROOT /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)

execute_process(COMMAND i686-w64-mingw32-g++-posix -print-libgcc-file-name
                OUTPUT_VARIABLE vantrel_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT EXISTS "${vantrel_libgcc}")
  message(FATAL_ERROR "i686-w64-mingw32-g++-posix not found (scripts/setup.sh installs it)")
endif()
get_filename_component(vantrel_gcc_dir "${vantrel_libgcc}" DIRECTORY)

# -femulated-tls: the g++-built libstdc++ keeps its thread-local variables
# (std::call_once's among them) in emulated TLS; clang's native TLS would not
# link against it.
set(CMAKE_CXX_FLAGS_INIT
    "-femulated-tls -isystem ${vantrel_gcc_dir}/include/c++ -isystem ${vantrel_gcc_dir}/include/c++/i686-w64-mingw32 -isystem ${vantrel_gcc_dir}/include/c++/backward")
set(CMAKE_C_FLAGS_INIT "-femulated-tls")
# -B finds crtbegin.o/crtend.o, -L libgcc and libstdc++; -pthread puts
# winpthreads (which the posix libstdc++ needs) after libstdc++.
# GNU ld rather than lld: lld 14 writes export tables with ordinal base 0
# and an empty slot, where the plug-in must export exactly its 14 callbacks.
# ld warns "duplicate section ... has different size" for the type-name
# strings that clang emits in every object on mingw and g++ pads: harmless,
# the strings are equal.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-B${vantrel_gcc_dir} -L${vantrel_gcc_dir} -pthread")
endforeach()
