# cmake -DBUILD=<build folder> -DSAMPLE=<a .surf.gii file> -DWORK=<scratch folder> -DPLUGIN_DIR=<lib/...>
#       -P install_test.cmake
#
# Installs the build into a fresh prefix and runs the installed `meshbridge`
# with nothing else on its path: it must find its plug-in, print its version
# and convert a surface.
file(REMOVE_RECURSE "${WORK}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${WORK}/prefix"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()
foreach(file bin/meshbridge ${PLUGIN_DIR}/libmeshbridge_plugin.so share/meshbridge/meshbridge_v16.js
             share/meshbridge/MeshbridgeHelp/index.html share/doc/meshbridge/copyright share/doc/meshbridge/LICENSE
             share/doc/meshbridge/THIRD-PARTY-NOTICES.txt)
  if(NOT EXISTS "${WORK}/prefix/${file}")
    message(FATAL_ERROR "the installation lacks ${file}")
  endif()
endforeach()

set(run "${CMAKE_COMMAND}" -E env --unset=LD_LIBRARY_PATH PATH=/usr/bin:/bin "${WORK}/prefix/bin/meshbridge")
execute_process(COMMAND ${run} --version RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Library: ${WORK}/prefix/${PLUGIN_DIR}/libmeshbridge_plugin.so")
  message(FATAL_ERROR "the installed meshbridge does not run from its own plug-in (${rc}):\n${out}")
endif()

file(COPY "${SAMPLE}" DESTINATION "${WORK}")
get_filename_component(name "${SAMPLE}" NAME)
execute_process(COMMAND ${run} import "${WORK}/${name}" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REGEX REPLACE "\\.gii$" ".srf" srf "${WORK}/${name}")
if(NOT rc EQUAL 0 OR NOT EXISTS "${srf}")
  message(FATAL_ERROR "the installed meshbridge did not convert ${name} (${rc}):\n${out}${err}")
endif()
