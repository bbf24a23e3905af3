# The plug-in view in a host window, end to end under wine: the library's
# code linked into the test program (so its objects and GDI objects can be
# counted), the DLL loaded as a host loads it, and the host program itself.
file(GLOB view_samples CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/samples/*.png)

add_library(win32_view_support STATIC ${CMAKE_CURRENT_LIST_DIR}/view_support.cpp
                                      ${CMAKE_CURRENT_LIST_DIR}/view_oracle.cpp)
target_link_libraries(win32_view_support PUBLIC project_options plugin_code gtest gdi32 user32)
# stb_image is third-party code: the project's warnings stay off it.
target_include_directories(win32_view_support SYSTEM PRIVATE /usr/include/stb)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/view_oracle.cpp PROPERTIES COMPILE_OPTIONS -w)

add_wine_test(view_lifecycle SOURCES ${CMAKE_CURRENT_LIST_DIR}/view_lifecycle_test.cpp
              LIBS win32_view_support FILES ${view_samples} TIMEOUT 180)
add_wine_test(view_capture SOURCES ${CMAKE_CURRENT_LIST_DIR}/view_capture_test.cpp
              LIBS win32_view_support FILES ${view_samples} TIMEOUT 180)
add_wine_test(view_cycle SOURCES ${CMAKE_CURRENT_LIST_DIR}/view_cycle_test.cpp
              LIBS win32_view_support FILES ${view_samples} TIMEOUT 180)
add_wine_test(view_pixels SOURCES ${CMAKE_CURRENT_LIST_DIR}/view_pixels_test.cpp
              LIBS win32_view_support FILES ${view_samples} TIMEOUT 180)
add_wine_test(view_animation SOURCES ${CMAKE_CURRENT_LIST_DIR}/view_animation_test.cpp
              LIBS win32_view_support FILES ${view_samples} TIMEOUT 180)
add_wine_test(view_dll SOURCES ${CMAKE_CURRENT_LIST_DIR}/view_dll_test.cpp
              LIBS win32_view_support FILES $<TARGET_FILE:pngplug> ${view_samples} TIMEOUT 180)
add_wine_test(host_run SOURCES ${CMAKE_CURRENT_LIST_DIR}/host_run_test.cpp
              LIBS win32_view_support FILES $<TARGET_FILE:pngplug-host> $<TARGET_FILE:pngplug> ${view_samples}
              TIMEOUT 180)
