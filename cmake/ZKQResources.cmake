# zkq_add_resource_module(<target> <rc-file> <output.res> [DEPENDS files...]
#                         [INCLUDE_DIRECTORIES dirs...])
#
# Compiles a resource script into a compiled resource file (.res) with GNU
# windres (Debian package binutils-mingw-w64-x86-64). The library loads such a
# file as a resource module: text tables, caption tables, strings, dialogs.
if(NOT ZKQ_WINDRES)
  find_program(ZKQ_WINDRES NAMES x86_64-w64-mingw32-windres windres)
endif()
find_program(ZKQ_CPP NAMES cpp)

function(zkq_add_resource_module target rc_file output)
  cmake_parse_arguments(ARG "" "" "DEPENDS;INCLUDE_DIRECTORIES" ${ARGN})
  if(NOT ZKQ_WINDRES)
    message(FATAL_ERROR "windres not found: install binutils-mingw-w64-x86-64")
  endif()
  get_filename_component(rc_abs ${rc_file} ABSOLUTE)
  get_filename_component(rc_dir ${rc_abs} DIRECTORY)
  get_filename_component(out_dir ${output} DIRECTORY)
  set(includes --include-dir=${rc_dir})
  foreach(dir IN LISTS ARG_INCLUDE_DIRECTORIES)
    list(APPEND includes --include-dir=${dir})
  endforeach()
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
    COMMAND ${ZKQ_WINDRES} --preprocessor=${ZKQ_CPP} -DRC_INVOKED ${includes}
            -J rc -O res -i ${rc_abs} -o ${output}
    DEPENDS ${rc_abs} ${ARG_DEPENDS}
    COMMENT "Compiling resource module ${output}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${output})
endfunction()
