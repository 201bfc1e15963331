# cmake -P script: install the build into a fresh prefix, then build and run
# the consumer with find_package and with pkg-config.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGV}\n${out}\n${err}")
  endif()
  set(LAST_OUTPUT "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# find_package
run(${CMAKE_COMMAND} -S ${CONSUMER_SOURCE} -B ${WORK_DIR}/consumer
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX}
    "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
# The language library finds its modules in the installed tree.
set(ENV{ORNLANG_RESOURCE_DIR} "")
run(${WORK_DIR}/consumer/consumer ${WORK_DIR})
message(STATUS "${LAST_OUTPUT}")
file(REAL_PATH ${prefix}/share/ZKQTRNLANG101 share)
string(FIND "${LAST_OUTPUT}" "language module: ${share}/ZKQTRNLANG101." at)
if(at EQUAL -1)
  message(FATAL_ERROR "the language module does not come from ${share}")
endif()

# pkg-config
find_program(PKG_CONFIG pkg-config REQUIRED)
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs ZKQTRNEH113
                OUTPUT_VARIABLE pc_flags RESULT_VARIABLE rc OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know ZKQTRNEH113")
endif()
separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
separate_arguments(extra_flags UNIX_COMMAND "${CXX_FLAGS} ${LINKER_FLAGS}")
run(${CXX} -std=c++17 ${extra_flags} ${CONSUMER_SOURCE}/main.cpp ${pc_flags}
    -o ${WORK_DIR}/consumer-pc)
run(${WORK_DIR}/consumer-pc ${WORK_DIR})
