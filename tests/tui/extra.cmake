# The terminal dialog's tests drive the real module in a tmux pane; its text
# pages are tested directly, with the module's sources.
target_sources(tui_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/tmux_pane.cpp
  ${PROJECT_SOURCE_DIR}/src/dialog/tui/text_pages.cpp
  ${PROJECT_SOURCE_DIR}/src/dialog/tui/text_cells.cpp)
if(TARGET ZKQTRNEH113_tui)
  add_dependencies(tui_tests ZKQTRNEH113_tui)
endif()
