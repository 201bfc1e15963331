# The text and caption tables of the error-text and reporting tests, compiled
# into a resource module of their own.
set(zkq_core_tables_res ${CMAKE_CURRENT_BINARY_DIR}/core_data/tables.res)
zkq_add_resource_module(zkq_core_tables ${dir}/data/tables.rc ${zkq_core_tables_res})
add_dependencies(core_tests zkq_core_tables)
target_compile_definitions(core_tests PRIVATE ZKQ_CORE_TABLES="${zkq_core_tables_res}")
