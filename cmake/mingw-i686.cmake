# Cross build of the 32-bit plug-in with Debian's mingw-w64.
set(mingw_triplet i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
