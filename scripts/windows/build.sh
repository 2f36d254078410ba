#!/usr/bin/env bash
# Cross-builds the Windows programs: build-win/Installer_artefacts/Release/Installer.exe and
# build-win/tools/monolith-tool.exe, statically linked (they need only Windows system DLLs).
#   scripts/windows/build.sh [BUILD_DIR] [extra cmake arguments...]
# Signs Installer.exe, instrument-setup.exe and the uninstaller they carry when the environment names a
# certificate (cmake/WindowsSigning.cmake): INSTALLER_SIGN_PKCS12, with INSTALLER_SIGN_PASSWORD or
# INSTALLER_SIGN_PASSWORD_FILE; optionally INSTALLER_SIGN_URL and INSTALLER_SIGN_TIMESTAMP_URL.
set -euo pipefail
cd "$(dirname "$0")/../.."

build_dir=${1:-build-win}
shift || true

scripts/install-deps.sh g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev dpkg-dev make \
    wine wine64 icoutils osslsigncode
scripts/windows/build-deps.sh build-win-deps

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR=$PWD
fi

juce_dir=$(dirname "$(find /usr/lib -path '*/cmake/JUCE-*/JUCEConfig.cmake' -print -quit)")
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" -DWIN_DEPS_PREFIX="$PWD/build-win-deps/prefix" \
    -DJUCE_DIR="$juce_dir" -DINSTALLER_BUILD_TESTS=OFF -DINSTALLER_BUILD_BENCHMARKS=OFF \
    -DINSTALLER_SIGN_PKCS12="${INSTALLER_SIGN_PKCS12:-}" -DINSTALLER_SIGN_URL="${INSTALLER_SIGN_URL:-}" \
    -DINSTALLER_SIGN_TIMESTAMP_URL="${INSTALLER_SIGN_TIMESTAMP_URL:-}" "$@" >/dev/null
cmake --build "$build_dir" -j 2
