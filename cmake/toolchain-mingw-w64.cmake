# Shared part of the MinGW-w64 cross builds; the including file sets
# CMAKE_SYSTEM_PROCESSOR and VOKA_MINGW_TRIPLET first. The posix thread model
# gives std::thread and std::mutex; everything the runtime needs is linked
# statically, so the results depend on Windows system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${VOKA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VOKA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${VOKA_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VOKA_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
