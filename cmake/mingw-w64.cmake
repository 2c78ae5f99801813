# What both MinGW-w64 toolchains share; the including file sets MINGW_TRIPLET
# (i686-w64-mingw32 or x86_64-w64-mingw32) and CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# A static runtime: the executables need no DLL beyond Windows' own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# GCC 12 at -O3 reports overlapping copies, out-of-bounds accesses and
# over-reads inside the standard library's own string and vector code (GCC
# bugs 105651, 107852): false alarms that -Werror would turn into a failed
# build. The native g++ and clang builds keep these warnings as errors.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict -Wno-array-bounds -Wno-stringop-overread")
