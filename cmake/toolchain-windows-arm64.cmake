# Cross build for Windows on ARM64 with zig (the ziglang package from PyPI,
# scripts/install-deps.sh windows-arm64), which brings clang, lld, the
# mingw-w64 runtime and libc++ for aarch64-windows-gnu: Debian has no MinGW
# for ARM. The resource goes through LLVM's windres. The programs link
# statically and need only the Universal CRT, part of Windows 10 and later.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
set(CMAKE_C_COMPILER ${CMAKE_CURRENT_LIST_DIR}/zig/zig-cc)
set(CMAKE_CXX_COMPILER ${CMAKE_CURRENT_LIST_DIR}/zig/zig-c++)
# windres preprocesses with the system's clang, which is given zig's Windows
# headers.
execute_process(COMMAND python3 -c "import os, ziglang; print(os.path.dirname(ziglang.__file__))"
  OUTPUT_VARIABLE zig_home OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(CMAKE_RC_COMPILER llvm-windres-14)
set(CMAKE_RC_FLAGS_INIT "--target=aarch64-w64-mingw32 -I ${zig_home}/lib/libc/include/any-windows-any")
set(CMAKE_AR llvm-ar-14 CACHE FILEPATH "")
set(CMAKE_RANLIB llvm-ranlib-14 CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
