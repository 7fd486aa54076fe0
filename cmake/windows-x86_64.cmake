# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads, so
# std::thread and std::mutex work). QV_DEPS_PREFIX is where scripts/build-players
# installed the static dependency stack for this target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(QV_DEPS_PREFIX "" CACHE PATH "Prefix of the static dependency stack")
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${QV_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(QV_DEPS_PREFIX)
  set(ENV{PKG_CONFIG_LIBDIR} "${QV_DEPS_PREFIX}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()
