# The DLL as built: its format, exports, imports, minimum Windows version and
# size (check_dll.sh).
add_test(NAME win32.dll_imports COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_dll.sh $<TARGET_FILE:pngplug> ${pe_format})
