# Cross-builds the Windows programs for x86_64 with MinGW-w64 (POSIX threads
# model): the tree whose tests run under 64-bit Wine on machines whose kernel
# cannot run 32-bit programs. The product itself stays i686.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
