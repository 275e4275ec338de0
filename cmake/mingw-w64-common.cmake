# The posix thread model gives std::thread and std::mutex; everything is linked statically so
# the programs run under Wine (and on Windows) without the compiler's DLLs beside them.
set(CMAKE_C_COMPILER ${TIDEWELL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TIDEWELL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TIDEWELL_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TIDEWELL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Unicode entry points and no min/max macros from windows.h.
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
# GCC 12 reports a false -Wrestrict inside std::string at -O3 (GCC bug 105651).
add_compile_options(-Wno-restrict)
