# The Linux release player: host compiler, but libraries only from the static
# dependency stack scripts/build-players installed in QV_DEPS_PREFIX (plus the
# system's C library, OpenGL and the X11/Wayland headers SDL was built against).
set(QV_DEPS_PREFIX "" CACHE PATH "Prefix of the static dependency stack")
list(PREPEND CMAKE_PREFIX_PATH ${QV_DEPS_PREFIX})
if(QV_DEPS_PREFIX)
  set(ENV{PKG_CONFIG_LIBDIR} "${QV_DEPS_PREFIX}/lib/pkgconfig")
endif()
