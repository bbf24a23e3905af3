# The bitmap and canvas wrappers on real device contexts, checked pixel for
# pixel under wine.
add_wine_test(bitmap_canvas SOURCES ${CMAKE_CURRENT_LIST_DIR}/bitmap_canvas_test.cpp LIBS win32_pixels TIMEOUT 180)
set_tests_properties(win32.bitmap_canvas PROPERTIES ENVIRONMENT "PIXEL_MISMATCH_DIR=Z:${mismatch_dir}")
