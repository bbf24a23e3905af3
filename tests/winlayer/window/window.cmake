# The window and control layer, linked straight from the core library: the
# test program's own module registers the classes.
add_wine_test(dispatch SOURCES dispatch_test.cpp LIBS core TIMEOUT 120)
add_wine_test(lifetime SOURCES lifetime_test.cpp LIBS core TIMEOUT 120)
add_wine_test(control SOURCES control_test.cpp LIBS core TIMEOUT 120)
add_wine_test(timer SOURCES timer_test.cpp LIBS core winmm TIMEOUT 120)
