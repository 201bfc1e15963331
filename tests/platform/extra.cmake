# Two builds of one module that tell which of them was loaded, for the
# module loader's test.
foreach(marker 1 2)
  add_library(zkq_marker_module_${marker} MODULE ${dir}/marker_module.cpp)
  target_compile_definitions(zkq_marker_module_${marker} PRIVATE ZKQ_MARKER=${marker})
  add_dependencies(platform_tests zkq_marker_module_${marker})
endforeach()
target_compile_definitions(platform_tests PRIVATE
  ZKQ_MARKER_MODULE_1="$<TARGET_FILE:zkq_marker_module_1>"
  ZKQ_MARKER_MODULE_2="$<TARGET_FILE:zkq_marker_module_2>")
