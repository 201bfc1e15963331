# Resource modules for the resource tests, built from resource_data/*.rc:
# each script as a compiled resource file (.res) and as a resource-only PE
# DLL (windres -O coff, then the MinGW linker).
find_program(ZKQ_MINGW_LD NAMES x86_64-w64-mingw32-ld)
if(NOT ZKQ_MINGW_LD)
  message(FATAL_ERROR "x86_64-w64-mingw32-ld not found: install binutils-mingw-w64-x86-64")
endif()

set(zkq_resource_test_dir ${CMAKE_CURRENT_BINARY_DIR}/resource_modules)
file(GLOB zkq_resource_scripts CONFIGURE_DEPENDS ${dir}/resource_data/*.rc)
set(zkq_resource_outputs)
foreach(rc IN LISTS zkq_resource_scripts)
  get_filename_component(stem ${rc} NAME_WE)
  set(res ${zkq_resource_test_dir}/${stem}.res)
  set(obj ${zkq_resource_test_dir}/${stem}.o)
  set(dll ${zkq_resource_test_dir}/${stem}.dll)
  zkq_add_resource_module(zkq_resource_test_${stem} ${rc} ${res})
  add_custom_command(
    OUTPUT ${dll}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${zkq_resource_test_dir}
    COMMAND ${ZKQ_WINDRES} --preprocessor=${ZKQ_CPP} -J rc -O coff -i ${rc} -o ${obj}
    COMMAND ${ZKQ_MINGW_LD} --dll -e 0 -s --no-insert-timestamp ${obj} -o ${dll}
    DEPENDS ${rc}
    COMMENT "Linking resource DLL ${dll}"
    VERBATIM)
  add_custom_target(zkq_resource_test_${stem}_dll DEPENDS ${dll})
  add_dependencies(lang_tests zkq_resource_test_${stem} zkq_resource_test_${stem}_dll)
endforeach()
target_compile_definitions(lang_tests PRIVATE ZKQ_RESOURCE_TEST_DIR="${zkq_resource_test_dir}")
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
