# Drawing decoded pictures, bitmaps and canvases, checked pixel for pixel
# under wine.
add_library(win32_pixels STATIC ${CMAKE_CURRENT_LIST_DIR}/pixels.cpp ${CMAKE_CURRENT_LIST_DIR}/draw_support.cpp)
target_link_libraries(win32_pixels PUBLIC project_options core gtest gdi32 user32)

# stb_image decodes the PngSuite independently of the decoder under test;
# it is third-party code, so the project's warning flags stay off it.
add_library(win32_stb_oracle STATIC ${CMAKE_CURRENT_LIST_DIR}/stb_oracle.cpp)
target_include_directories(win32_stb_oracle SYSTEM PUBLIC /usr/include/stb)
target_compile_options(win32_stb_oracle PRIVATE -w)

set(mismatch_dir ${CMAKE_BINARY_DIR}/pixel-mismatch)
file(MAKE_DIRECTORY ${mismatch_dir})

add_wine_test(draw SOURCES ${CMAKE_CURRENT_LIST_DIR}/draw_test.cpp LIBS win32_pixels TIMEOUT 180)
add_wine_test(draw_suite SOURCES ${CMAKE_CURRENT_LIST_DIR}/draw_suite_test.cpp
                         ${CMAKE_CURRENT_LIST_DIR}/../support/png_writer.cpp
              LIBS win32_pixels win32_stb_oracle
              FILES ${PROJECT_SOURCE_DIR}/tests/data/pngsuite TIMEOUT 180)
add_wine_test(bitmap_canvas SOURCES ${CMAKE_CURRENT_LIST_DIR}/bitmap_canvas_test.cpp LIBS win32_pixels TIMEOUT 180)
set_tests_properties(win32.draw win32.draw_suite win32.bitmap_canvas
                     PROPERTIES ENVIRONMENT "PIXEL_MISMATCH_DIR=Z:${mismatch_dir}")
