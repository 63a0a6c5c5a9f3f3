# libjpeg (IJG API) as the target norvex_jpeg.
# Native: the system's libjpeg62-turbo. Windows: cross-built once per build folder from
# Debian's libjpeg-turbo source package (SIMD off, static), fetched by fetch-libjpeg-source.sh.
if(NOT WIN32)
  find_package(JPEG REQUIRED)
  add_library(norvex_jpeg INTERFACE)
  target_link_libraries(norvex_jpeg INTERFACE JPEG::JPEG)
  return()
endif()

include(ExternalProject)
set(NORVEX_JPEG_ROOT ${CMAKE_BINARY_DIR}/libjpeg)
set(NORVEX_JPEG_LIB ${NORVEX_JPEG_ROOT}/install/lib/libjpeg.a)
file(MAKE_DIRECTORY ${NORVEX_JPEG_ROOT}/install/include)

ExternalProject_Add(libjpeg_turbo_win
  PREFIX ${NORVEX_JPEG_ROOT}
  SOURCE_DIR ${NORVEX_JPEG_ROOT}/source
  DOWNLOAD_COMMAND ${CMAKE_CURRENT_LIST_DIR}/fetch-libjpeg-source.sh ${NORVEX_JPEG_ROOT}/apt ${NORVEX_JPEG_ROOT}/source
  UPDATE_COMMAND ""
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=${NORVEX_JPEG_ROOT}/install
    -DCMAKE_INSTALL_LIBDIR:PATH=lib
    -DWITH_SIMD=OFF
    -DENABLE_SHARED=OFF
    -DENABLE_STATIC=ON
    -DWITH_TURBOJPEG=OFF
    -DWITH_JAVA=OFF
    -DREQUIRE_SIMD=OFF
  BUILD_BYPRODUCTS ${NORVEX_JPEG_LIB}
)

add_library(norvex_jpeg STATIC IMPORTED GLOBAL)
set_target_properties(norvex_jpeg PROPERTIES
  IMPORTED_LOCATION ${NORVEX_JPEG_LIB}
  INTERFACE_INCLUDE_DIRECTORIES ${NORVEX_JPEG_ROOT}/install/include)
add_dependencies(norvex_jpeg libjpeg_turbo_win)
