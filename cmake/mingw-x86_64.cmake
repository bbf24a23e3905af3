# The same code for x86-64, for test machines that cannot run 32-bit code.
set(mingw_triplet x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
