# Drawing decoded pictures, checked pixel for pixel under wine.
add_library(win32_draw_support STATIC ${CMAKE_CURRENT_LIST_DIR}/draw_support.cpp)
target_link_libraries(win32_draw_support PUBLIC win32_pixels)

# stb_image decodes the PngSuite independently of the decoder under test;
# it is third-party code, so the project's warning flags stay off it.
add_library(win32_stb_oracle STATIC ${CMAKE_CURRENT_LIST_DIR}/stb_oracle.cpp)
target_include_directories(win32_stb_oracle SYSTEM PUBLIC /usr/include/stb)
target_compile_options(win32_stb_oracle PRIVATE -w)

add_wine_test(draw SOURCES ${CMAKE_CURRENT_LIST_DIR}/draw_win32_test.cpp LIBS win32_draw_support TIMEOUT 180)
add_wine_test(draw_suite SOURCES ${CMAKE_CURRENT_LIST_DIR}/draw_suite_win32_test.cpp
                         ${CMAKE_CURRENT_LIST_DIR}/../../support/png_writer.cpp
              LIBS win32_draw_support win32_stb_oracle
              FILES ${PROJECT_SOURCE_DIR}/tests/data/pngsuite TIMEOUT 180)
set_tests_properties(win32.draw win32.draw_suite PROPERTIES ENVIRONMENT "PIXEL_MISMATCH_DIR=Z:${mismatch_dir}")
