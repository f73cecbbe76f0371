# Cross-building the layers below Qt for 64-bit Windows with Debian's MinGW-w64 (the POSIX
# threads flavour, which std::thread needs). The test programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELVASTRA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KELVASTRA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELVASTRA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KELVASTRA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KELVASTRA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs that carry their runtime (libstdc++, libgcc, winpthread) need no DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest runs the test programs through Wine; WINEPREFIX and WINEDEBUG come from the caller.
find_program(KELVASTRA_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(KELVASTRA_WINE NAMES wine64 wine)
if(KELVASTRA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KELVASTRA_WINE})
endif()
