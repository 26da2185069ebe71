# 64-bit Windows with Debian's mingw-w64.
set(CORVANEX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CORVANEX_WINDOWS_ARCH x86_64)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
