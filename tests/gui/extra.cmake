# The graphical dialog driven under Xvfb by xdotool, when the GTK module and
# the X tools are there. Not in the AddressSanitizer build: GTK and fontconfig
# run so much slower there that the keystrokes' timing decides the result
# (the dialog logic runs under ASan in the dialog and terminal tests).
if(TARGET ZKQTRNEH113_gtk AND NOT ZKQ_SANITIZER STREQUAL "asan")
  add_executable(gui_probe ${dir}/gui_probe.cpp)
  target_link_libraries(gui_probe PRIVATE ZKQTRNEH113::ZKQTRNEH113 PkgConfig::ZKQ_GTK3)
  add_dependencies(gui_probe ZKQTRNEH113_gtk)
  add_test(NAME gui.dialog COMMAND ${dir}/gui_test.sh $<TARGET_FILE:gui_probe> ${PROJECT_SOURCE_DIR}/docs)
  set_tests_properties(gui.dialog PROPERTIES LABELS "gui" TIMEOUT 400 RUN_SERIAL TRUE)
endif()
