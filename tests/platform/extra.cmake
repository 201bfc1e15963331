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
  add_dependencies(platform_tests zkq_resource_test_${stem} zkq_resource_test_${stem}_dll)
endforeach()
target_compile_definitions(platform_tests PRIVATE ZKQ_RESOURCE_TEST_DIR="${zkq_resource_test_dir}")
