# The main program's help book, Contents.chm, compiled at build time from the
# pages under docs/help by our own velkin build-chm. The pages form one
# category, "help", whose sub-folders are the chapters.
#
# The build works on a copy of the pages in the build tree, because build-chm
# writes its project files into the category while the compiler runs, and with
# a settings store of its own there, so that a build never touches the source
# tree or the user's settings. Without chmcmd there is no book, and Help >
# Contents says so.

if(NOT TARGET velkin OR NOT TARGET velkin_app)
  return()
endif()
find_program(VELKIN_CHMCMD chmcmd)
if(NOT VELKIN_CHMCMD)
  message(STATUS "chmcmd (fp-utils) not found: the help book Contents.chm is not built")
  return()
endif()

set(help_pages_folder ${PROJECT_SOURCE_DIR}/docs/help)
set(help_scratch ${PROJECT_BINARY_DIR}/help-book)
set(VELKIN_HELP_BOOK ${VELKIN_BUILD_SHARE_DIR}/Contents.chm)
set(help_topic "1 Getting Started/About Velkin Web.htm")
file(GLOB_RECURSE help_pages CONFIGURE_DEPENDS ${help_pages_folder}/*)
# velkin finds the compiler on PATH: the one found here comes first.
get_filename_component(chmcmd_folder ${VELKIN_CHMCMD} DIRECTORY)

add_custom_command(
  OUTPUT ${VELKIN_HELP_BOOK}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${help_scratch}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${help_scratch}/book ${help_scratch}/config ${VELKIN_BUILD_SHARE_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${help_pages_folder} ${help_scratch}/book/help
  COMMAND ${CMAKE_COMMAND} -E env VELKIN_CONFIG_DIR=${help_scratch}/config "PATH=${chmcmd_folder}:$ENV{PATH}"
          $<TARGET_FILE:velkin> --book ${help_scratch}/book
          build-chm help -o ${VELKIN_HELP_BOOK} --title "Velkin Web Help" --topic ${help_topic}
  DEPENDS velkin ${help_pages}
  COMMENT "Compiling the help book Contents.chm"
  VERBATIM)
add_custom_target(help_book ALL DEPENDS ${VELKIN_HELP_BOOK})
install(FILES ${VELKIN_HELP_BOOK} DESTINATION share/velkin)

if(TARGET app_tests)
  # Help > Contents is tested against the book built here.
  add_dependencies(app_tests help_book)
  target_compile_definitions(app_tests PRIVATE VELKIN_HELP_BOOK="${VELKIN_HELP_BOOK}")
endif()

# The compiled book holds every help page.
find_program(VELKIN_CHMLS chmls)
if(VELKIN_BUILD_TESTS AND VELKIN_CHMLS)
  add_test(NAME help_book_holds_every_page
    COMMAND ${CMAKE_COMMAND} -DCHMLS=${VELKIN_CHMLS} -DBOOK=${VELKIN_HELP_BOOK} -DPAGES=${help_pages_folder}
            -P ${PROJECT_SOURCE_DIR}/tests/help/check_help_book.cmake)
endif()
