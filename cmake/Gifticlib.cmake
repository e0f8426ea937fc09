# gifticlib, built from Debian's source package with the changes of
# PatchGifticlib.cmake, as a position-independent static library. expat comes
# from Debian's source package too, built as a static library for both
# platforms, so that both read XML with the same parser, its fixes included
# (the parser a machine has installed may lack some: one that took 17 s over
# a 32 MB comment, where the source's takes a fraction of a second); for
# Windows builds zlib comes from the cross toolchain's static library, so
# that the plug-in is one self-contained file.
set(MESHBRIDGE_DEPS_DIR "${CMAKE_BINARY_DIR}/deps" CACHE PATH
    "Folder that receives the fetched Debian source packages")

function(meshbridge_fetch_debian_source package)
  if(NOT EXISTS "${MESHBRIDGE_DEPS_DIR}/${package}/.unpacked")
    execute_process(
      COMMAND "${PROJECT_SOURCE_DIR}/scripts/fetch-debian-source" "${package}" "${MESHBRIDGE_DEPS_DIR}"
      RESULT_VARIABLE fetch_result)
    if(NOT fetch_result EQUAL 0)
      message(FATAL_ERROR "Could not fetch Debian's source package ${package}: the first build fetches it with "
                          "apt-get source from the machine's Debian mirror, which must be reachable then (scripts/setup "
                          "installs the tools it needs). Later builds reuse ${MESHBRIDGE_DEPS_DIR}/${package}.")
    endif()
  endif()
endfunction()

meshbridge_fetch_debian_source(gifticlib)
set(gifticlib_src "${MESHBRIDGE_DEPS_DIR}/gifticlib")

set(gifticlib_patched_dir "${CMAKE_BINARY_DIR}/gifticlib-patched")
add_custom_command(
  OUTPUT "${gifticlib_patched_dir}/gifti_io.c" "${gifticlib_patched_dir}/gifti_xml.c"
  COMMAND "${CMAKE_COMMAND}" -DSOURCE=${gifticlib_src} -DOUT=${gifticlib_patched_dir}
          -P "${PROJECT_SOURCE_DIR}/cmake/PatchGifticlib.cmake"
  DEPENDS "${gifticlib_src}/gifti_io.c" "${gifticlib_src}/gifti_xml.c"
          "${PROJECT_SOURCE_DIR}/cmake/PatchGifticlib.cmake" "${PROJECT_SOURCE_DIR}/cmake/gifti_text_feed.c"
  COMMENT "Patching gifticlib (see cmake/PatchGifticlib.cmake)")

meshbridge_fetch_debian_source(expat)
foreach(option EXPAT_BUILD_TOOLS EXPAT_BUILD_EXAMPLES EXPAT_BUILD_TESTS EXPAT_SHARED_LIBS EXPAT_BUILD_DOCS
               EXPAT_BUILD_FUZZERS EXPAT_BUILD_PKGCONFIG EXPAT_ENABLE_INSTALL)
  set(${option} OFF CACHE BOOL "" FORCE)
endforeach()
# The source tests "XML_DTD == 1", which the CMake configuration header would
# define empty: DTD support is switched on here instead, as in Debian's build.
set(EXPAT_DTD OFF CACHE BOOL "" FORCE)
add_subdirectory("${MESHBRIDGE_DEPS_DIR}/expat/expat" "${CMAKE_BINARY_DIR}/expat" EXCLUDE_FROM_ALL SYSTEM)
target_compile_definitions(expat PRIVATE XML_DTD=1)
set_target_properties(expat PROPERTIES POSITION_INDEPENDENT_CODE ON)  # linked into the plug-in library
set(meshbridge_expat expat)
if(WIN32)
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)
# Only the declarations and macros of nifti1_io.h are used: the Linux headers
# serve a Windows build as well.
find_path(NIFTI_INCLUDE_DIR nifti1_io.h PATHS /usr/include PATH_SUFFIXES nifti NO_CMAKE_FIND_ROOT_PATH REQUIRED)

# gifticlib's data paths are the plug-in's own code, over libdeflate.
if(WIN32)
  # Debian's source of libdeflate builds with a Makefile: its library's
  # sources are listed here, as a static library.
  meshbridge_fetch_debian_source(libdeflate)
  set(libdeflate_src "${MESHBRIDGE_DEPS_DIR}/libdeflate")
  add_library(meshbridge_libdeflate STATIC EXCLUDE_FROM_ALL)
  foreach(source adler32 crc32 deflate_compress deflate_decompress utils zlib_compress zlib_decompress
                 x86/cpu_features arm/cpu_features)
    target_sources(meshbridge_libdeflate PRIVATE "${libdeflate_src}/lib/${source}.c")
  endforeach()
  target_include_directories(meshbridge_libdeflate SYSTEM PUBLIC "${libdeflate_src}")
  target_compile_options(meshbridge_libdeflate PRIVATE -w -O2)
  set(meshbridge_libdeflate meshbridge_libdeflate)
else()
  find_path(LIBDEFLATE_INCLUDE_DIR libdeflate.h REQUIRED)
  find_library(LIBDEFLATE_LIBRARY NAMES deflate REQUIRED)
  add_library(meshbridge_libdeflate UNKNOWN IMPORTED)
  set_target_properties(meshbridge_libdeflate PROPERTIES IMPORTED_LOCATION "${LIBDEFLATE_LIBRARY}"
                        INTERFACE_INCLUDE_DIRECTORIES "${LIBDEFLATE_INCLUDE_DIR}")
  set(meshbridge_libdeflate meshbridge_libdeflate)
endif()
add_library(meshbridge_gifti_codecs STATIC "${PROJECT_SOURCE_DIR}/common/gifti_codecs.cpp"
            "${PROJECT_SOURCE_DIR}/common/huge_pages.cpp")
target_include_directories(meshbridge_gifti_codecs PUBLIC "${PROJECT_SOURCE_DIR}")
target_link_libraries(meshbridge_gifti_codecs PUBLIC ${meshbridge_libdeflate} ZLIB::ZLIB)
target_compile_options(meshbridge_gifti_codecs PRIVATE -Wall -Wextra -Wshadow -Wconversion -Werror)
set_target_properties(meshbridge_gifti_codecs PROPERTIES POSITION_INDEPENDENT_CODE ON CXX_VISIBILITY_PRESET hidden)

add_library(gifticlib STATIC
  "${gifticlib_patched_dir}/gifti_io.c"
  "${gifticlib_patched_dir}/gifti_xml.c"
  "${PROJECT_SOURCE_DIR}/cmake/nifti_datatype_name.c")
target_link_libraries(gifticlib PUBLIC meshbridge_gifti_codecs)
target_include_directories(gifticlib SYSTEM PUBLIC "${gifticlib_src}" "${NIFTI_INCLUDE_DIR}")
target_compile_definitions(gifticlib PUBLIC HAVE_ZLIB)
if(WIN32)
  target_compile_definitions(gifticlib PUBLIC XML_STATIC)
endif()
target_compile_options(gifticlib PRIVATE -w)
set_target_properties(gifticlib PROPERTIES
  POSITION_INDEPENDENT_CODE ON
  C_VISIBILITY_PRESET hidden)
target_link_libraries(gifticlib PUBLIC ${meshbridge_expat} ZLIB::ZLIB)
if(NOT WIN32)
  target_link_libraries(gifticlib PUBLIC m)
endif()
