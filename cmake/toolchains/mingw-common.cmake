# Shared by mingw-i686.cmake and mingw-x86_64.cmake, which set
# CORVANEX_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR first: Debian's mingw-w64
# cross compilers (the -posix ones, whose libstdc++ has std::thread) and the
# libraries scripts/windows-deps builds into build/windows/<arch>/prefix.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${CORVANEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CORVANEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${CORVANEX_MINGW_TRIPLE}-windres)

# The private prefix: given on the command line (the presets do), else the
# one beside the preset's build folder. The compiler checks run in projects of
# their own, which see it only through the environment.
if(NOT CORVANEX_WINDOWS_PREFIX)
  if(DEFINED ENV{CORVANEX_WINDOWS_PREFIX})
    set(CORVANEX_WINDOWS_PREFIX $ENV{CORVANEX_WINDOWS_PREFIX})
  else()
    get_filename_component(CORVANEX_WINDOWS_PREFIX
      ${CMAKE_CURRENT_LIST_DIR}/../../build/windows/${CORVANEX_WINDOWS_ARCH}/prefix ABSOLUTE)
  endif()
endif()
set(ENV{CORVANEX_WINDOWS_PREFIX} ${CORVANEX_WINDOWS_PREFIX})

# Headers and libraries from the mingw tree and the prefix only, programs
# (pkg-config, help2man, npm) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${CORVANEX_MINGW_TRIPLE} ${CORVANEX_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# zlib's static archive, not the import library of its DLL that FindZLIB
# prefers (the prefix holds static archives only).
set(ZLIB_LIBRARY /usr/${CORVANEX_MINGW_TRIPLE}/lib/libz.a CACHE FILEPATH "zlib, static")

# pkg-config reads the prefix's files alone, never the host's, and gives the
# libraries a static archive needs after it.
set(ENV{PKG_CONFIG_LIBDIR} ${CORVANEX_WINDOWS_PREFIX}/lib/pkgconfig:/usr/${CORVANEX_MINGW_TRIPLE}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(PKG_CONFIG_ARGN --static)

# One executable that imports only the system's DLLs: libgcc, libstdc++ and
# winpthread linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
