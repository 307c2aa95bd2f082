# 32-bit Windows: the shipped DLL.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VTLS_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# 32-bit programs run in WoW64 mode under the Wine 10 of a Debian 13 root,
# in a mount namespace of their own (scripts/wow64-setup.sh, scripts/wow64-run.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wow64-run.sh)
