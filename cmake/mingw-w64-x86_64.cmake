# Cross-compiles the installer for 64-bit Windows with mingw-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TARNEL_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TARNEL_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARNEL_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TARNEL_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TARNEL_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Windows test programs run under Wine, each in a clone of a template prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/support/wine-run)
