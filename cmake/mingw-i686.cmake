# Cross-build the 32-bit Windows DLL, qzunzip and the test suite with mingw-w64;
# ctest runs them under 32-bit Wine (a WINEARCH=win32 prefix).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
# The posix thread model: GoogleTest needs std::mutex.  The DLL is linked
# statically, so it still imports nothing but Windows.
set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(QZ_OBJDUMP i686-w64-mingw32-objdump)
set(QZ_NM i686-w64-mingw32-nm)
set(QZ_DLLTOOL i686-w64-mingw32-dlltool)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
