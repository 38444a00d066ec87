# Third-party libraries of the Windows build, linked statically into the executables:
#   zlib_static  the MinGW zlib from Debian's libz-mingw-w64-dev
#   png_static   libpng compiled here from Debian's libpng1.6 source package, unpacked
#                by scripts/fetch-libpng-source.sh into a cache outside the sources
# PNG::PNG and ZLIB::ZLIB name them as the native build's find modules do, so an area's
# list can link the same names on both platforms.

set(WINTREL_MINGW_SYSROOT /usr/x86_64-w64-mingw32 CACHE PATH "MinGW-w64 sysroot")
set(WINTREL_DEPS_CACHE ${PROJECT_SOURCE_DIR}/build/deps CACHE PATH
    "Folder that holds the unpacked libpng source (scripts/fetch-libpng-source.sh)")
set(WINTREL_LIBPNG_SOURCE ${WINTREL_DEPS_CACHE}/libpng)

# --- zlib
set(_zlib_lib ${WINTREL_MINGW_SYSROOT}/lib/libz.a)
set(_zlib_inc ${WINTREL_MINGW_SYSROOT}/include)
if(NOT EXISTS ${_zlib_lib} OR NOT EXISTS ${_zlib_inc}/zlib.h)
  message(FATAL_ERROR "MinGW zlib not found at ${_zlib_lib}: install libz-mingw-w64-dev "
                      "(scripts/install-deps.sh)")
endif()
add_library(zlib_static STATIC IMPORTED GLOBAL)
set_target_properties(zlib_static PROPERTIES
  IMPORTED_LOCATION ${_zlib_lib}
  INTERFACE_INCLUDE_DIRECTORIES ${_zlib_inc})
add_library(ZLIB::ZLIB ALIAS zlib_static)

# --- libpng
if(NOT EXISTS ${WINTREL_LIBPNG_SOURCE}/png.c)
  message(STATUS "libpng source not in ${WINTREL_LIBPNG_SOURCE}: fetching it")
  execute_process(
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/fetch-libpng-source.sh ${WINTREL_DEPS_CACHE}
    RESULT_VARIABLE _fetch_result)
  if(NOT _fetch_result EQUAL 0 OR NOT EXISTS ${WINTREL_LIBPNG_SOURCE}/png.c)
    message(FATAL_ERROR "could not get the libpng source: run scripts/fetch-libpng-source.sh")
  endif()
endif()

# The library's own prebuilt configuration: every standard feature on, no
# hardware-specific code paths.
set(_png_config_dir ${CMAKE_BINARY_DIR}/deps/libpng)
configure_file(${WINTREL_LIBPNG_SOURCE}/scripts/pnglibconf.h.prebuilt
               ${_png_config_dir}/pnglibconf.h COPYONLY)

set(_png_sources png.c pngerror.c pngget.c pngmem.c pngpread.c pngread.c pngrio.c
    pngrtran.c pngrutil.c pngset.c pngtrans.c pngwio.c pngwrite.c pngwtran.c pngwutil.c)
list(TRANSFORM _png_sources PREPEND ${WINTREL_LIBPNG_SOURCE}/)
add_library(png_static STATIC ${_png_sources})
target_include_directories(png_static SYSTEM PUBLIC ${WINTREL_LIBPNG_SOURCE} ${_png_config_dir})
target_link_libraries(png_static PUBLIC zlib_static)
# Third-party code: keep its warnings out of the project's build log.
target_compile_options(png_static PRIVATE -w)
set_target_properties(png_static PROPERTIES C_STANDARD 99 POSITION_INDEPENDENT_CODE OFF)
add_library(PNG::PNG ALIAS png_static)

set(PNG_FOUND TRUE)
set(ZLIB_FOUND TRUE)
set(PNG_LIBRARIES png_static)
set(ZLIB_LIBRARIES zlib_static)
set(PNG_INCLUDE_DIRS ${WINTREL_LIBPNG_SOURCE} ${_png_config_dir})
set(ZLIB_INCLUDE_DIRS ${_zlib_inc})
