# Cross-building the Windows program on Linux with MinGW-w64:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# -DKORVANE_MINGW_THREADS=posix picks the compilers of the posix thread model,
# which have std::mutex (GoogleTest needs it); the program itself needs no
# threads and is built with the system's default ones.
set(KORVANE_MINGW_THREADS "" CACHE STRING "MinGW-w64 thread model of the compilers: \"\", win32 or posix")
if(KORVANE_MINGW_THREADS)
  set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-${KORVANE_MINGW_THREADS})
  set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-${KORVANE_MINGW_THREADS})
else()
  set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc)
  set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++)
endif()
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Tests of the Windows build run under Wine (ctest uses this for add_test).
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  if(EXISTS /usr/lib/wine/wine64)
    set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
  else()
    find_program(KORVANE_WINE64 wine64)
    if(KORVANE_WINE64)
      set(CMAKE_CROSSCOMPILING_EMULATOR ${KORVANE_WINE64})
    endif()
  endif()
endif()
