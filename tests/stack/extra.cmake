# The probe application of the call-stack tests, with debug information, and
# a stripped copy of it.
add_executable(stack_probe ${dir}/stack_probe.cpp)
target_link_libraries(stack_probe PRIVATE ZKQTRNEH113::ZKQTRNEH113 Threads::Threads)
target_compile_options(stack_probe PRIVATE -g ${ZKQ_WARNINGS})
set(zkq_stripped_probe ${CMAKE_CURRENT_BINARY_DIR}/stack_probe_stripped)
add_custom_command(TARGET stack_probe POST_BUILD
  COMMAND ${CMAKE_OBJCOPY} --strip-all $<TARGET_FILE:stack_probe> ${zkq_stripped_probe}
  VERBATIM)
add_dependencies(stack_tests stack_probe)
target_compile_definitions(stack_tests PRIVATE
  ZKQ_STACK_PROBE="$<TARGET_FILE:stack_probe>"
  ZKQ_STRIPPED_STACK_PROBE="${zkq_stripped_probe}")
