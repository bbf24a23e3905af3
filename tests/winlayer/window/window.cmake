# The window and control layer, linked straight from the core library: the
# test program's own module registers the classes.
add_wine_test(dispatch SOURCES ${CMAKE_CURRENT_LIST_DIR}/dispatch_test.cpp LIBS core TIMEOUT 120)
add_wine_test(lifetime SOURCES ${CMAKE_CURRENT_LIST_DIR}/lifetime_test.cpp LIBS core TIMEOUT 120)
add_wine_test(control SOURCES ${CMAKE_CURRENT_LIST_DIR}/control_test.cpp LIBS core TIMEOUT 120)
add_wine_test(timer SOURCES ${CMAKE_CURRENT_LIST_DIR}/timer_test.cpp LIBS core winmm TIMEOUT 120)
