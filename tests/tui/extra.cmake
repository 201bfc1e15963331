# The terminal dialog's tests drive the real module in a tmux pane.
target_sources(tui_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/tmux_pane.cpp)
add_dependencies(tui_tests ZKQTRNEH113_tui)
