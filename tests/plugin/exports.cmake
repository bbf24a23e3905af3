# The twelve exports, called through pngplug.dll loaded as a host loads it.
add_wine_test(exports SOURCES ${CMAKE_CURRENT_LIST_DIR}/exports_test.cpp FILES $<TARGET_FILE:pngplug>)
