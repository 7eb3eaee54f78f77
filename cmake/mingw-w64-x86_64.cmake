# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix).
# The POSIX-threads flavour: Qt built for it needs std::thread and std::mutex from its runtime.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VORLANT_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VORLANT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORLANT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VORLANT_MINGW_TRIPLE}-windres)

# Headers and libraries only from the cross sysroot and the given prefixes (the Qt); programs
# (moc, rcc, uic, python3) from this machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VORLANT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Where the MinGW runtime DLLs that every built program needs at run time live.
set(VORLANT_MINGW_RUNTIME_DIRS
    /usr/lib/gcc/${VORLANT_MINGW_TRIPLE}/12-posix
    /usr/${VORLANT_MINGW_TRIPLE}/lib)
