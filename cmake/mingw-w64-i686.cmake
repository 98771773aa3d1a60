# 32-bit Windows, for makers who ship to it. Nothing built here runs on these machines (their
# kernel runs no 32-bit code, and Wine's 32-bit side needs it), so no emulator is set: the
# programs are built, never tested here.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
