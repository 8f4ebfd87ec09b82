# Cross build for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64), e.g.
#   cmake -S . -B build-windows/core -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DKV_WITH_QT=OFF
# Programs are linked statically so they run under Wine (or on Windows) without the compiler's DLLs,
# and ctest runs them through wine64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KV_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread model, so that std::thread and std::mutex exist as on Linux.
find_program(CMAKE_C_COMPILER NAMES ${KV_MINGW_TRIPLE}-gcc-posix ${KV_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${KV_MINGW_TRIPLE}-g++-posix ${KV_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${KV_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(KV_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(KV_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KV_WINE64})
endif()
