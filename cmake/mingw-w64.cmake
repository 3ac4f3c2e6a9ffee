# Cross build for 64-bit Windows with mingw-w64 (Debian: g++-mingw-w64-x86-64-posix).
# The programs link statically, so they run on Windows and under Wine without the MinGW
# runtime DLLs; ctest runs them through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTRO_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix flavour: its libstdc++ has std::thread and std::mutex, which GoogleTest uses.
find_program(CMAKE_C_COMPILER NAMES ${KESTRO_MINGW_TRIPLE}-gcc-posix ${KESTRO_MINGW_TRIPLE}-gcc
             REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${KESTRO_MINGW_TRIPLE}-g++-posix ${KESTRO_MINGW_TRIPLE}-g++
             REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${KESTRO_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KESTRO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(KESTRO_WINE NAMES wine wine64)
if(KESTRO_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTRO_WINE})
endif()

# Test discovery asks each test program for its list of tests. Doing that when ctest runs,
# not right after linking, keeps Wine out of the build.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
