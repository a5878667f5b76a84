# Cross build for 64-bit Windows with Debian's MinGW-w64 (the posix thread model, which
# std::thread needs). The runtime is linked statically so the programs run without the
# compiler's DLLs beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTROVA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTROVA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTROVA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTROVA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KESTROVA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test discovery and CTest run the programs through Wine.
find_program(KESTROVA_WINE wine)
if(KESTROVA_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTROVA_WINE})
endif()
