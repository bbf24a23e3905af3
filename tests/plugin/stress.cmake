# The whole plug-in under a hostile host: the library's code in the test
# program, where its objects and GDI objects can be counted, and pngplug.dll
# loaded and unloaded as a host does it.
file(GLOB stress_samples CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/samples/*.png)
add_wine_test(stress SOURCES ${CMAKE_CURRENT_LIST_DIR}/stress_test.cpp ${CMAKE_CURRENT_LIST_DIR}/stress_dll_test.cpp
                             ${CMAKE_CURRENT_LIST_DIR}/stress_support.cpp ${CMAKE_CURRENT_LIST_DIR}/stress_files.cpp
              LIBS win32_view_support FILES $<TARGET_FILE:pngplug> ${stress_samples} TIMEOUT 240)
