# Cross toolchain: 64-bit Windows, the test build on machines that run no
# 32-bit code, and a supported build of its own.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
