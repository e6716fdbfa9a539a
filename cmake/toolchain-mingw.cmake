# Cross-compiles for Windows with the posix-thread mingw-w64 compilers.
# TX_MINGW_ARCH (i686 or x86_64) comes from the preset.
set(TX_MINGW_ARCH "${TX_MINGW_ARCH}" CACHE STRING "mingw-w64 target architecture")
# The compiler checks run in projects of their own, which need it too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TX_MINGW_ARCH)
if(NOT TX_MINGW_ARCH MATCHES "^(i686|x86_64)$")
  message(FATAL_ERROR "TX_MINGW_ARCH must be i686 or x86_64, not '${TX_MINGW_ARCH}'")
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${TX_MINGW_ARCH})
set(TX_TRIPLE ${TX_MINGW_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${TX_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TX_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TX_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TX_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
