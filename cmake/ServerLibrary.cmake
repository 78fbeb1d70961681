# velkin_server_library(NAME SOURCES src... LINK lib...)
# An in-process server library (libNAME.so) built from SOURCES and linked
# with LINK. The linker version script module/exports.map of the calling
# folder keeps only the four entry points; the library is installed into
# lib/velkin, where velkin register looks for it.
function(velkin_server_library name)
  cmake_parse_arguments(SERVER "" "" "SOURCES;LINK" ${ARGN})
  set(exports ${CMAKE_CURRENT_SOURCE_DIR}/module/exports.map)
  add_library(${name} SHARED ${SERVER_SOURCES})
  target_link_libraries(${name} PRIVATE ${SERVER_LINK} velkin_flags)
  target_link_options(${name} PRIVATE -Wl,--version-script=${exports} -Wl,--no-undefined)
  set_target_properties(${name} PROPERTIES LINK_DEPENDS ${exports})
  install(TARGETS ${name} LIBRARY DESTINATION lib/velkin)
endfunction()
