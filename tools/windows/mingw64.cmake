# Cross build for 64-bit Windows with Debian's MinGW-w64 (POSIX threads) and
# Qt 5.15 built for it (tools/windows/qt.sh). Pass OSTREL_QT_MINGW (the
# unpacked qt5-mingw64 folder) and OSTREL_HOST_BUILD (a native build with the
# generators); test programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(OSTREL_QT_MINGW "" CACHE PATH "Qt 5.15 for x86_64-w64-mingw32 (the qt5-mingw64 folder)")
list(APPEND CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${OSTREL_QT_MINGW})
list(APPEND CMAKE_PREFIX_PATH ${OSTREL_QT_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# BOTH: the host's Qt5LinguistTools (lrelease runs on the host) is found by its
# explicit Qt5LinguistTools_DIR.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine.sh)
