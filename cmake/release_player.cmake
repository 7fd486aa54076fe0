# The release player: qvplayer alone, every library linked statically from the
# stack in QV_DEPS_PREFIX, so the file starts on a machine that has only what
# its system ships (glibc and libGL on Linux; Windows' own DLLs).
if(NOT QV_DEPS_PREFIX OR NOT EXISTS ${QV_DEPS_PREFIX}/.done)
  message(FATAL_ERROR "QV_RELEASE_PLAYER needs QV_DEPS_PREFIX, the dependency stack scripts/build-players makes")
endif()

# Header-only libraries come from the host's Debian packages, copied so that
# the host's /usr/include never enters a cross compiler's search path.
set(QV_HEADER_LIBS ${CMAKE_BINARY_DIR}/header-libs)
file(COPY /usr/include/nlohmann /usr/include/glm /usr/include/tiny_gltf.h /usr/include/stb/stb_image.h
  /usr/include/stb/stb_image_write.h DESTINATION ${QV_HEADER_LIBS})
# tinygltf (and the stb decoders it reads embedded pictures with) compiled in
# once, as Debian's shared library would provide them.
# (Written only when it changes, so a new configure compiles nothing again.)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/header_libs.cpp
  CONTENT "#define TINYGLTF_IMPLEMENTATION\n#define STB_IMAGE_IMPLEMENTATION\n#define STB_IMAGE_WRITE_IMPLEMENTATION\n#include <tiny_gltf.h>\n")

# SDL2_image's package asks for these even when stb decodes PNG and JPEG.
add_library(JPEG::JPEG INTERFACE IMPORTED)
add_library(PNG::PNG INTERFACE IMPORTED)
find_package(SDL2 CONFIG REQUIRED)
find_package(SDL2_image CONFIG REQUIRED)
find_package(SDL2_ttf CONFIG REQUIRED)
find_package(SDL2_mixer CONFIG REQUIRED)
find_package(kissfft CONFIG REQUIRED COMPONENTS STATIC float)
find_package(Threads REQUIRED)
find_library(QV_GLEW_STATIC glew_static PATHS ${QV_DEPS_PREFIX}/lib NO_DEFAULT_PATH REQUIRED)
find_library(QV_MODPLUG_STATIC libmodplug.a PATHS ${QV_DEPS_PREFIX}/lib NO_DEFAULT_PATH REQUIRED)

add_library(qv_header_libs STATIC ${CMAKE_BINARY_DIR}/header_libs.cpp)
target_include_directories(qv_header_libs SYSTEM PUBLIC ${QV_HEADER_LIBS})
target_compile_options(qv_header_libs PRIVATE -w)

add_library(qv_content STATIC ${QV_CONTENT_SOURCES})
target_include_directories(qv_content PUBLIC ${CMAKE_SOURCE_DIR})
target_include_directories(qv_content SYSTEM PUBLIC ${QV_DEPS_PREFIX}/include)
target_compile_definitions(qv_content PUBLIC MODPLUG_STATIC GLEW_STATIC GLEW_NO_GLU)
target_link_libraries(qv_content PUBLIC qv_header_libs kissfft::kissfft ${QV_MODPLUG_STATIC} Threads::Threads)

add_library(qv_device STATIC ${QV_DEVICE_SOURCES})
target_link_libraries(qv_device PUBLIC qv_content SDL2_mixer::SDL2_mixer-static SDL2_ttf::SDL2_ttf-static
  SDL2_image::SDL2_image-static ${QV_GLEW_STATIC})

add_executable(qvplayer app/main.cpp)
if(WIN32)
  # No console window opens; what the player prints still reaches a
  # redirected standard output. -static keeps winpthread's DLL out.
  target_link_options(qvplayer PRIVATE -mwindows -static)
  # GLEW's own calls (wglGetProcAddress) need opengl32 after it on the line.
  target_link_libraries(qv_device PUBLIC opengl32)
  target_link_libraries(qvplayer PRIVATE qv_device opengl32 SDL2::SDL2-static)
else()
  # libGL.so.1 itself: every desktop has it, while GLVND's libOpenGL.so.0 is
  # a package of its own that many do not install.
  set(OpenGL_GL_PREFERENCE LEGACY)
  find_package(OpenGL REQUIRED)
  target_sources(qvplayer PRIVATE app/static_runtime_linux.cpp)
  target_link_options(qvplayer PRIVATE -static-libstdc++ -static-libgcc)
  target_link_libraries(qvplayer PRIVATE qv_device OpenGL::GL SDL2::SDL2-static ${CMAKE_DL_LIBS})
endif()
