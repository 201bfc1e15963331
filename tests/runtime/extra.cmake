# The probe of a fault inside the allocator; it brings an allocator of its
# own, so not in a sanitizer build, where the sanitizer owns the allocator.
if(NOT ZKQ_SANITIZER)
  add_executable(alloc_lock_probe ${dir}/alloc_lock_probe.cpp)
  target_link_libraries(alloc_lock_probe PRIVATE ZKQTRNEH113::ZKQTRNEH113 Threads::Threads)
  target_compile_options(alloc_lock_probe PRIVATE -O1 ${ZKQ_WARNINGS})
  add_dependencies(runtime_tests alloc_lock_probe)
  target_compile_definitions(runtime_tests PRIVATE ZKQ_ALLOC_LOCK_PROBE="$<TARGET_FILE:alloc_lock_probe>")
endif()
# The last resorts' test sets ThreadSanitizer's options in the program; the
# runtime finds them only among the exported symbols.
if(ZKQ_SANITIZER STREQUAL "tsan")
  target_link_options(runtime_threads_tests PRIVATE -Wl,--export-dynamic-symbol=__tsan_default_options)
endif()
