# 64-bit Windows. Test programs run under wine64 when it is installed.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Debian puts wine64 under /usr/lib/wine and not always on PATH.
find_program(INSTALLER_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(INSTALLER_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${INSTALLER_WINE64})
endif()
