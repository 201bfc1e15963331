# The terminal dialog's tests drive the real module in a tmux pane; its text
# pages are tested directly, with the module's sources.
target_sources(tui_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/tmux_pane.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/tui/cups_printer.cpp
  ${PROJECT_SOURCE_DIR}/src/platform/tui/text_cells.cpp)
find_package(Cups REQUIRED)
target_link_libraries(tui_tests PRIVATE Cups::Cups)
add_dependencies(tui_tests ZKQTRNEH113_tui)
