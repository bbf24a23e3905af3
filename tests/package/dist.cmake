# What host authors get: the import libraries, linked by a host that calls
# the exports directly (one host per library), and the release archive,
# unpacked into an empty folder and run with its own sample host.
set(implib_host_libraries pngplug_lib ${CMAKE_BINARY_DIR}/plugin/pngplug.lib
                          mingw_implib $<TARGET_LINKER_FILE:pngplug>)
while(implib_host_libraries)
    list(POP_FRONT implib_host_libraries kind library)
    add_executable(win32_implib_host_${kind} ${CMAKE_CURRENT_LIST_DIR}/implib_host.c)
    target_link_libraries(win32_implib_host_${kind} PRIVATE project_options ${library})
    add_dependencies(win32_implib_host_${kind} pngplug pngplug_lib)
    add_test(NAME win32.implib_host_${kind}
             COMMAND ${run_script} ${wine_dir} $<TARGET_FILE:win32_implib_host_${kind}> $<TARGET_FILE:pngplug>)
    set_tests_properties(win32.implib_host_${kind} PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine_display
                                                              TIMEOUT 60 ENVIRONMENT_MODIFICATION ${wine_env})
endwhile()

# The archive holds 32-bit programs only.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_test(NAME win32.dist_archive
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_dist.sh ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR} ${wine_dir}
                     $<TARGET_FILE:win32_host_run>)
    set_tests_properties(win32.dist_archive PROPERTIES FIXTURES_REQUIRED wine RESOURCE_LOCK wine_display
                                                       TIMEOUT 240 ENVIRONMENT_MODIFICATION ${wine_env})
endif()
