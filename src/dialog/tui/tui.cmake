# libZKQTRNEH113_tui.so: the terminal dialog (curses on /dev/tty, printing
# through CUPS), a module the library dlopens only when the terminal dialog
# is chosen, so the library itself never links curses or CUPS.
set(CURSES_NEED_WIDE TRUE)
find_package(Curses REQUIRED)
find_package(Cups REQUIRED)

file(GLOB ZKQ_TUI_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
add_library(ZKQTRNEH113_tui MODULE ${ZKQ_TUI_SOURCES}
  # The library's small helpers, compiled in rather than exported by it.
  ${PROJECT_SOURCE_DIR}/src/platform/codepage.cpp
  ${PROJECT_SOURCE_DIR}/src/dialog/text_measure.cpp)
target_include_directories(ZKQTRNEH113_tui PRIVATE ${PROJECT_SOURCE_DIR}/src ${CURSES_INCLUDE_DIRS})
target_compile_options(ZKQTRNEH113_tui PRIVATE ${ZKQ_WARNINGS} -fnon-call-exceptions)
target_link_libraries(ZKQTRNEH113_tui PRIVATE ZKQTRNLANG101 ${CURSES_LIBRARIES} Cups::Cups)
# A module is linked with the module flags; the sanitizer builds set only the
# shared-library ones.
separate_arguments(ZKQ_TUI_LINK_FLAGS UNIX_COMMAND "${CMAKE_SHARED_LINKER_FLAGS}")
target_link_options(ZKQTRNEH113_tui PRIVATE ${ZKQ_TUI_LINK_FLAGS} -Wl,--no-undefined)
set_target_properties(ZKQTRNEH113_tui PROPERTIES
  BUILD_RPATH "$ORIGIN"
  INSTALL_RPATH "$ORIGIN")
install(TARGETS ZKQTRNEH113_tui LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
