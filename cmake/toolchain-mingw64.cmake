# Cross build for 64-bit Windows with Debian's MinGW-w64. The -posix
# compilers: their runtime has std::thread and std::mutex. Everything links
# statically, so the DLL and the test programs need no MinGW runtime DLL.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TARNWICK_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
