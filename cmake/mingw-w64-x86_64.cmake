# Cross compiling for 64-bit Windows with Debian's MinGW-w64 (the -posix thread model,
# which std::thread and friends need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(WINTREL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${WINTREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WINTREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${WINTREL_MINGW_TRIPLE}-windres)

# Headers and libraries come from the MinGW sysroot only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${WINTREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
