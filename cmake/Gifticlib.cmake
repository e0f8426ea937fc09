# gifticlib, built from Debian's source package with three retinotopy intents
# added to its intent table, as a position-independent static library.
set(MESHBRIDGE_DEPS_DIR "${CMAKE_BINARY_DIR}/deps" CACHE PATH
    "Folder that receives the fetched Debian source packages")

set(gifticlib_src "${MESHBRIDGE_DEPS_DIR}/gifticlib")
if(NOT EXISTS "${gifticlib_src}/.unpacked")
  execute_process(
    COMMAND "${PROJECT_SOURCE_DIR}/scripts/fetch-debian-source" gifticlib "${MESHBRIDGE_DEPS_DIR}"
    RESULT_VARIABLE fetch_result)
  if(NOT fetch_result EQUAL 0)
    message(FATAL_ERROR "Could not fetch Debian's source package gifticlib (run scripts/setup first)")
  endif()
endif()

set(gifticlib_patched_dir "${CMAKE_BINARY_DIR}/gifticlib-patched")
add_custom_command(
  OUTPUT "${gifticlib_patched_dir}/gifti_io.c" "${gifticlib_patched_dir}/gifti_xml.c"
  COMMAND "${CMAKE_COMMAND}" -DSOURCE=${gifticlib_src} -DOUT=${gifticlib_patched_dir}
          -P "${PROJECT_SOURCE_DIR}/cmake/PatchGifticlib.cmake"
  DEPENDS "${gifticlib_src}/gifti_io.c" "${gifticlib_src}/gifti_xml.c"
          "${PROJECT_SOURCE_DIR}/cmake/PatchGifticlib.cmake"
  COMMENT "Adding the retinotopy intents and exact ASCII floats to gifticlib")

find_package(EXPAT REQUIRED)
find_package(ZLIB REQUIRED)
find_path(NIFTI_INCLUDE_DIR nifti1_io.h PATH_SUFFIXES nifti REQUIRED)

add_library(gifticlib STATIC
  "${gifticlib_patched_dir}/gifti_io.c"
  "${gifticlib_patched_dir}/gifti_xml.c"
  "${PROJECT_SOURCE_DIR}/cmake/nifti_datatype_name.c")
target_include_directories(gifticlib SYSTEM PUBLIC "${gifticlib_src}" "${NIFTI_INCLUDE_DIR}")
target_compile_definitions(gifticlib PUBLIC HAVE_ZLIB)
target_compile_options(gifticlib PRIVATE -w)
set_target_properties(gifticlib PROPERTIES
  POSITION_INDEPENDENT_CODE ON
  C_VISIBILITY_PRESET hidden)
target_link_libraries(gifticlib PUBLIC EXPAT::EXPAT ZLIB::ZLIB m)
