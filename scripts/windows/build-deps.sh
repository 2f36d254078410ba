#!/usr/bin/env bash
# Cross-builds static libpng, libjpeg and libdeflate for 64-bit Windows from Debian's own source
# packages, once. Debian's JUCE decodes images with the system libraries, the engine sums with
# libdeflate, and Debian has no MinGW build of these three; zlib comes from libz-mingw-w64-dev.
#   scripts/windows/build-deps.sh [DEPS_DIR]      (default build-win-deps; result in DEPS_DIR/prefix)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
deps=$(realpath -m "${1:-build-win-deps}")
prefix=$deps/prefix
toolchain=$root/cmake/mingw-w64-x86_64.cmake

# The source packages built; a prefix built from fewer of them is built again.
packages="libpng1.6 libjpeg-turbo libdeflate"
if [ "$(cat "$prefix/.complete" 2>/dev/null)" = "$packages" ]; then
    exit 0
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# Source packages need deb-src entries: mirror the binary sources the machine already uses.
if ! apt-cache showsrc libpng1.6 2>/dev/null | grep -q '^Version:'; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
        | "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
    "${sudo_cmd[@]}" apt-get update -qq
fi

rm -rf "$deps"
mkdir -p "$deps/src" "$prefix"
cd "$deps/src"
# The newest revision of a source package may be missing from the archive: fall back to older ones.
fetch() {
    local package=$1 version
    for version in $(apt-cache showsrc "$package" | awk '/^Version:/{print $2}' | sort -Vr); do
        rm -f "${package}"_*
        if apt-get source --download-only -qq "$package=$version" >/dev/null 2>&1; then
            dpkg-source -x "${package}"_*.dsc "$2" >/dev/null
            return 0
        fi
    done
    echo "Cannot fetch the source package $package" >&2
    return 1
}
fetch libpng1.6 libpng
fetch libjpeg-turbo libjpeg-turbo
fetch libdeflate libdeflate

mingw_sysroot=/usr/x86_64-w64-mingw32
cmake -S libpng -B "$deps/build-png" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DWIN_DEPS_PREFIX="$prefix" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DZLIB_INCLUDE_DIR=$mingw_sysroot/include -DZLIB_LIBRARY=$mingw_sysroot/lib/libz.a >/dev/null
cmake --build "$deps/build-png" -j 2 >/dev/null
cmake --install "$deps/build-png" >/dev/null

cmake -S libjpeg-turbo -B "$deps/build-jpeg" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DWIN_DEPS_PREFIX="$prefix" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF >/dev/null
cmake --build "$deps/build-jpeg" -j 2 >/dev/null
cmake --install "$deps/build-jpeg" >/dev/null

# Its Makefile names the static library for a MinGW compiler libdeflatestatic.lib (an ar archive).
make -s -C libdeflate CC=x86_64-w64-mingw32-gcc AR=x86_64-w64-mingw32-ar libdeflatestatic.lib
cp libdeflate/libdeflatestatic.lib "$prefix/lib/libdeflate.a"
cp libdeflate/libdeflate.h "$prefix/include/"

# Debian's JUCE defines JPEG_INTERNALS before including jpeglib.h, which then needs the private jpegint.h.
cp libjpeg-turbo/jpegint.h "$prefix/include/"
# Debian's JUCE includes jpeglib.h inside a namespace after windows.h, so jconfig.h would skip its
# 'boolean' typedef (rpcndr.h has one outside that namespace): always declare it, same type and ABI.
sed -i 's|^#ifndef __RPCNDR_H__.*|#if 1 /* always: included inside a namespace after windows.h */|' "$prefix/include/jconfig.h"
grep -q '^#if 1 /\* always' "$prefix/include/jconfig.h"

echo "$packages" > "$prefix/.complete"
echo "Windows dependencies ready in $prefix"
