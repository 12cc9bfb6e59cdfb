# Cross build for 32-bit Windows with Debian's mingw-w64.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QV_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Code for the 486 and later, ours and the runtime's: the compiler's own runtime is built for a
# Pentium Pro, so scripts/build-i486-runtime.sh builds the C runtime, libgcc and libstdc++ again
# into QV_I486_RUNTIME, and every start-up object and library is taken from there first.
if(NOT QV_I486_RUNTIME)
    if(DEFINED ENV{QV_I486_RUNTIME})
        set(QV_I486_RUNTIME $ENV{QV_I486_RUNTIME})
    else()
        set(QV_I486_RUNTIME /var/cache/quorvanel/i486-runtime)
    endif()
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QV_I486_RUNTIME)
# Instructions a 486 has, scheduled for the processors most of its users run: tuning for the 486
# itself only makes the code larger.
set(CMAKE_C_FLAGS_INIT "-march=i486 -mtune=generic")
set(CMAKE_CXX_FLAGS_INIT "-march=i486 -mtune=generic")
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -B${QV_I486_RUNTIME}/ -L${QV_I486_RUNTIME}")
