# The deliverable: 32-bit Windows (i686) with the Win32-threads MinGW-w64 toolchain: its runtime needs
# nothing newer than Windows NT 4.0 (the POSIX-threads one links winpthreads, which imports XP and
# Vista functions).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QX_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${QX_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${QX_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${QX_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# The processor floor: a Pentium Pro (i686), named rather than left to the compiler's configured
# default, so that no MMX, SSE or later instruction is generated (tests/static/cpu_floor.py checks
# every instruction, the prebuilt runtime's too). x87 arithmetic follows from it (-mfpmath=387).
set(CMAKE_C_FLAGS_INIT "-march=i686")
set(CMAKE_CXX_FLAGS_INIT "-march=i686")
# Every image asks for nothing newer than Windows NT 4.0 in its header (tests/static/import_floor.py).
set(QX_NT4_HEADER "-Wl,--major-os-version,4,--minor-os-version,0,--major-subsystem-version,4,--minor-subsystem-version,0")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${QX_NT4_HEADER}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${QX_NT4_HEADER}")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
