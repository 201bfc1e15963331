# The probe program that the publisher tests run under chosen environments
# and file layouts. Its library is found as ../lib beside it, so a copy of
# the probe and the library in a temporary tree behaves like an installation.
add_executable(lang_probe ${dir}/lang_probe.cpp)
target_link_libraries(lang_probe PRIVATE ZKQTRNLANG101)
target_compile_options(lang_probe PRIVATE ${ZKQ_WARNINGS})
set_target_properties(lang_probe PROPERTIES
  BUILD_WITH_INSTALL_RPATH TRUE
  INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
add_dependencies(lang_tests lang_probe)
target_compile_definitions(lang_tests PRIVATE
  ZKQ_LANG_PROBE="$<TARGET_FILE:lang_probe>"
  ZKQ_LANG_LIBRARY="$<TARGET_FILE:ZKQTRNLANG101>"
  ZKQ_LANG_LIBDIR="${CMAKE_INSTALL_LIBDIR}"
  ZKQ_LANG_DATADIR="${CMAKE_INSTALL_DATADIR}")
