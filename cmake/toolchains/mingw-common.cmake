# The posix threading flavour: GoogleTest needs std::mutex, which the win32
# flavour of this compiler lacks. The DLLs use the platform's threads and locks
# only, and their build checks that no threading runtime is linked in.
# Everything is linked statically, so no mingw runtime DLL is needed at run time.
set(CMAKE_C_COMPILER ${VTLS_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VTLS_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VTLS_MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${VTLS_MINGW_TRIPLE}-dlltool)
set(VTLS_OBJDUMP ${VTLS_MINGW_TRIPLE}-objdump)
set(VTLS_NM ${VTLS_MINGW_TRIPLE}-nm)
set(VTLS_WINDMC ${VTLS_MINGW_TRIPLE}-windmc)
# Writes the MSVC-format import libraries beside the MinGW ones.
find_program(VTLS_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${VTLS_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# A consumer of an installed package outside the toolchain's root sets BOTH.
if(NOT CMAKE_FIND_ROOT_PATH_MODE_PACKAGE)
  set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
endif()
