# 32-bit Windows with Debian's mingw-w64. SSE2 arithmetic, as on x86_64:
# x87's wider intermediates change the rounding of curved shapes' points,
# and so the movie's bytes.
set(CORVANEX_MINGW_TRIPLE i686-w64-mingw32)
set(CORVANEX_WINDOWS_ARCH i686)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
