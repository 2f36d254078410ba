#!/usr/bin/env bash
# Files in use under Wine: a program holding the installed plug-in's DLL without delete sharing (opened,
# and loaded as a host loads it), then `instrument-setup install` again: status 12 before any change, with
# the program's name on standard error where the Restart Manager names it, or else (Wine's names nobody)
# the line saying that a program may be using the plug-in; nothing changes either way. After the program
# has ended, the installation goes.
#   tests/windows/run-wine-inuse.sh [instrument-setup.exe] [monolith.rom]
# Needs the Linux build's monolith-tool (build/tools/monolith-tool) to make the monolith with a real DLL.
set -euo pipefail
cd "$(dirname "$0")/../.."

exe=$(realpath "${1:-build-win/setup/instrument-setup.exe}")
rom=$(realpath "${2:-build/demo/Glass Piano.rom}")
tool=$(realpath "${MONOLITH_TOOL:-build/tools/monolith-tool}")

source tests/windows/wine-session.sh
begin_wine_session inuse
unset DISPLAY WAYLAND_DISPLAY
read_instrument_names
wineboot -i >"$work/wineboot.log" 2>&1
wineserver -w

dist=$work/dist
mkdir -p "$dist" "$work/zip"
cp "$exe" "$dist/instrument-setup.exe"
x86_64-w64-mingw32-gcc-posix -municode -O2 -Wall -Wextra -Werror -static tests/windows/holder.c -o "$dist/holder.exe"

# The demo's plug-in with a real DLL as its binary, so that the holder can load it as a host does.
binary="$instrument.vst3/Contents/x86_64-win/$instrument.vst3"
"$tool" extract "$rom" PLUGIN_BINARY_VST3_WIN64 "$work/vst3.zip" >/dev/null
(cd "$work/zip" && unzip -q "$work/vst3.zip")
printf 'int pluginEntry (void) { return 1; }\n' >"$work/plugin.c"
x86_64-w64-mingw32-gcc-posix -shared -O2 "$work/plugin.c" -o "$work/zip/$binary"
(cd "$work/zip" && rm "$work/vst3.zip" && zip -qr "$work/vst3.zip" .)
"$tool" pack "$dist/$instrument.rom" --state "$work/state.xml" --vst3 "$work/vst3.zip" >/dev/null

status=0
setup() {
    status=0
    (cd "$dist" && wine instrument-setup.exe "$@") >"$work/out" 2>"$work/err" </dev/null || status=$?
    sed -i 's/\r$//' "$work/out" "$work/err"
}
snapshot() { (cd "$WINEPREFIX/drive_c" && find ProgramData "Program Files/Common Files/VST3" -type f -exec md5sum {} + 2>/dev/null | sort); }

setup install "$instrument.rom" --accept-licence
expect_equal "first installation" "$status" 0
held="C:\\Program Files\\Common Files\\VST3\\$company\\${binary//\//\\}"

for way in open load; do
    echo "== held: $way"
    rm -f "$dist/stop" "$work/holding"
    (cd "$dist" && wine holder.exe "$held" $way 'C:\stop-holding' >"$work/holding" 2>/dev/null) &
    holder=$!
    for _ in $(seq 600); do grep -q holding "$work/holding" 2>/dev/null && break; sleep 0.1; done
    grep -q holding "$work/holding" && pass "$way: the holder holds the DLL" || fail "$way: the holder never held the DLL"
    snapshot >"$work/before"
    setup install "$instrument.rom" --accept-licence --force
    echo "   status $status; standard error:"; sed 's/^/     /' "$work/err"
    expect_equal "$way: files in use, found before any change" "$status" 12
    if grep -q 'holder.exe' "$work/err"; then
        pass "$way: the Restart Manager named the holder"
    else
        grep -qx 'instrument-setup: A program may be using the plug-in: close every program that has it loaded (a host) and try again' \
            "$work/err" && pass "$way: without a name, says a program may be using it" || fail "$way: neither a name nor the line"
    fi
    snapshot | cmp -s - "$work/before" && pass "$way: nothing changed" || fail "$way: the installation changed"
    touch "$WINEPREFIX/drive_c/stop-holding"
    wait "$holder" || true
    rm -f "$WINEPREFIX/drive_c/stop-holding"
    setup install "$instrument.rom" --accept-licence --force
    expect_equal "$way: after the holder ended, installing goes" "$status" 0
done

echo
[ "$failures" -eq 0 ] && echo "All files-in-use checks passed under Wine" || { echo "$failures check(s) failed"; exit 1; }
