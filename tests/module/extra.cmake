# An application module loaded and unloaded with dlopen/dlclose, and the
# program that does it.
add_library(teardown_plugin MODULE ${CMAKE_CURRENT_LIST_DIR}/plugin/plugin.cpp)
target_link_libraries(teardown_plugin PRIVATE ZKQTRNEH113::ZKQTRNEH113)
add_executable(dlclose_probe ${CMAKE_CURRENT_LIST_DIR}/dlclose_probe.cpp)
target_link_libraries(dlclose_probe PRIVATE ${CMAKE_DL_LIBS})
add_dependencies(dlclose_probe teardown_plugin)
add_test(NAME module.dlclose_deletes_held_exceptions
         COMMAND dlclose_probe $<TARGET_FILE:teardown_plugin> $<TARGET_FILE_NAME:ZKQTRNEH113>)
set_tests_properties(module.dlclose_deletes_held_exceptions PROPERTIES LABELS "module" TIMEOUT 60)
