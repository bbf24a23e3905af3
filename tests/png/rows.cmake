# The decoder's row side built as the plug-in builds it (i686: x87 long
# double for the progress rounding, the 32-bit SSE2 Up form) and run under
# wine, with the vector forms of the filters, converters and blend checked
# against their scalar forms in the 32-bit build.
set(rows_dir ${CMAKE_CURRENT_LIST_DIR}/..)
add_wine_test(rows
              SOURCES ${rows_dir}/png/rows/filters_test.cpp ${rows_dir}/png/rows/filters_choose_test.cpp
                      ${rows_dir}/png/read/crc32_test.cpp ${rows_dir}/png/rows/converters_test.cpp
                      ${rows_dir}/png/rows/converters_choose_test.cpp ${rows_dir}/png/render/blend_x86_test.cpp
                      ${rows_dir}/png/read/adler32_test.cpp ${rows_dir}/png/read/inflate_reader_test.cpp
                      ${rows_dir}/png/rows/row_loops_test.cpp ${rows_dir}/png/rows/adam7_test.cpp
                      ${rows_dir}/support/row_harness.cpp ${rows_dir}/support/png_writer.cpp
              LIBS core TIMEOUT 120)
