# Cross toolchain: Debian's MinGW-w64 (posix threads) -> 64-bit Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(INSTALLER_MINGW_TRIPLET x86_64-w64-mingw32)

set(CMAKE_C_COMPILER   ${INSTALLER_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${INSTALLER_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${INSTALLER_MINGW_TRIPLET}-windres)
set(CMAKE_AR     /usr/bin/${INSTALLER_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${INSTALLER_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

# Static libpng and libjpeg cross-built by scripts/windows/build-deps.sh
set(WIN_DEPS_PREFIX "${CMAKE_CURRENT_LIST_DIR}/../build-win-deps/prefix" CACHE PATH "Cross-built third-party libraries")
set(CMAKE_FIND_ROOT_PATH /usr/${INSTALLER_MINGW_TRIPLET} ${WIN_DEPS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# BOTH, so that find_package(JUCE) still finds Debian's host-side JUCE package
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
