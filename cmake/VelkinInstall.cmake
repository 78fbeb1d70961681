# Wiring that needs every deliverable's target, whatever folder defines it:
# included at the end of the top-level CMakeLists.txt.

# velkin register without --host finds the build tree's native hosts.
if(TARGET marrowind-host AND TARGET velkin)
  target_compile_definitions(velkin PRIVATE VELKIN_MARROWIND_HOST_BUILD_PATH="$<TARGET_FILE:marrowind-host>")
  install(TARGETS marrowind-host RUNTIME DESTINATION bin)
endif()
if(TARGET glintcatch-host AND TARGET velkin)
  target_compile_definitions(velkin PRIVATE VELKIN_GLINTCATCH_HOST_BUILD_PATH="$<TARGET_FILE:glintcatch-host>")
  install(TARGETS glintcatch-host RUNTIME DESTINATION bin)
endif()

# A browser extension in Debian's webext layout: its files in
# share/webext/NAME, linked for Chromium from share/chromium/extensions/NAME
# (Debian's chromium loads every folder there), and copied for Firefox into
# share/mozilla/extensions/{Firefox's id}/GECKO_ID: Firefox does not follow
# links that leave the extension's folder. The gecko id is read from the
# extension's own manifest, so it is written down in one place. An extension
# assembled at build time names its source manifest as the third argument.
function(velkin_install_webext source name)
  set(manifest_file ${source}/manifest.json)
  if(ARGC GREATER 2)
    set(manifest_file ${ARGV2})
  endif()
  if(NOT EXISTS ${manifest_file})
    return()
  endif()
  file(READ ${manifest_file} manifest)
  string(JSON gecko_id ERROR_VARIABLE no_gecko_id GET "${manifest}" browser_specific_settings gecko id)
  set(skip PATTERN node_modules EXCLUDE PATTERN tests EXCLUDE PATTERN test EXCLUDE
      PATTERN package.json EXCLUDE PATTERN package-lock.json EXCLUDE)
  install(DIRECTORY ${source}/ DESTINATION share/webext/${name} ${skip})
  install(CODE "
    set(links \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/chromium/extensions\")
    file(MAKE_DIRECTORY \"\${links}\")
    file(REMOVE \"\${links}/${name}\")
    file(CREATE_LINK ../../webext/${name} \"\${links}/${name}\" SYMBOLIC)
    message(STATUS \"Linked: \${links}/${name}\")")
  if(no_gecko_id)
    message(WARNING "${source}/manifest.json names no gecko id: not installed for Firefox")
    return()
  endif()
  install(DIRECTORY ${source}/
    DESTINATION "share/mozilla/extensions/{ec8030f7-c20a-464f-9b0e-13a3a9e97384}/${gecko_id}" ${skip})
endfunction()

velkin_install_webext(${PROJECT_SOURCE_DIR}/extensions/marrowind velkin-marrowind)
velkin_install_webext(${VELKIN_GLINTCATCH_EXTENSION_DIR} velkin-glintcatch
                      ${PROJECT_SOURCE_DIR}/extensions/glintcatch/manifest.json)

# The main program's desktop entry and icon: the desktop lists kestrova among
# its web browsers, and Default Browser names this entry to xdg-settings.
if(TARGET kestrova)
  install(FILES ${PROJECT_SOURCE_DIR}/share/velkin-kestrova.desktop DESTINATION share/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/app/resources/kestrova.svg
          DESTINATION share/icons/hicolor/scalable/apps RENAME velkin-kestrova.svg)
endif()
