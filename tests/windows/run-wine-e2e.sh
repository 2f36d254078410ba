#!/usr/bin/env bash
# Drives the Windows installer under Wine as a user would: a full installation with licence, a failed
# installation over it that must leave it as it was, a damaged monolith with "Copy Report", and discovery
# from Downloads and from the desktop. Checks the installed files byte for byte against the monolith and
# its VST3 archive. Screenshots of every page land in the screenshot folder.
#   tests/windows/run-wine-e2e.sh [Installer.exe] [monolith.rom] [screenshot folder]
# Needs the Linux build's monolith-tool (build/tools/monolith-tool) to read the monolith's names and archive.
set -euo pipefail
cd "$(dirname "$0")/../.."

exe=$(realpath "${1:-build-win/Installer_artefacts/Release/Installer.exe}")
rom=$(realpath "${2:-build/demo/Glass Piano.rom}")
shots=$(realpath -m "${3:-out/windows-screenshots}")
tool=$(realpath "${MONOLITH_TOOL:-build/tools/monolith-tool}")

source tests/windows/wine-session.sh
begin_wine_session e2e
rm -rf "$shots"
mkdir -p "$shots"

# --- what the monolith holds, read with the Linux tool
read_instrument_names
unpack_expected_vst3
echo "Monolith: $instrument by $company"

# --- display and a fresh Wine prefix
start_display 1024x768

wineboot -i >"$work/wineboot.log" 2>&1
wineserver -w
user_dir=$(echo "$WINEPREFIX"/drive_c/users/"$(id -un)")
# wineboot links Desktop, Downloads and the others to the real home: make them folders of the prefix
for link in "$user_dir"/*; do
    if [ -L "$link" ]; then rm "$link"; mkdir "$link"; fi
done
# Xvfb has no window manager: Wine draws the Windows caption itself
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -w

# --- driving the window
window=
frame=
client_x=0
client_y=0
wait_for_window() {   # name
    window=
    for _ in $(seq 150); do
        window=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)
        [ -n "$window" ] && break
        sleep 0.2
    done
    [ -n "$window" ] || return 1
    # The X window holds Wine's own frame around the 640 x 480 client area: equal borders left, right
    # and below, the caption above.
    local geometry width height border
    geometry=$(xdotool getwindowgeometry --shell "$window")
    width=$(sed -n 's/^WIDTH=//p' <<<"$geometry")
    height=$(sed -n 's/^HEIGHT=//p' <<<"$geometry")
    border=$(((width - 640) / 2))
    frame="${width}x${height}+$(sed -n 's/^X=//p' <<<"$geometry")+$(sed -n 's/^Y=//p' <<<"$geometry")"
    client_x=$(($(sed -n 's/^X=//p' <<<"$geometry") + border))
    client_y=$(($(sed -n 's/^Y=//p' <<<"$geometry") + height - 480 - border))
}
# Footer slots from the right: 0 at x 542, 1 at x 457 (80 x 24 each, y 18 in the footer at y 420)
click_slot() {
    local x=$((client_x + 582 - 85 * $1)) y=$((client_y + 420 + 30))
    xdotool mousemove "$x" "$y" sleep 0.2 click 1
    sleep 0.3
}
screenshot() {   # the window with Wine's caption, as the user sees it: nothing forces a repaint
    sleep 0.5
    import -window root -crop "$frame" +repage "$shots/$1.png"
}
start_installer() {   # folder holding "<instrument> Installer.exe"
    (cd "$1" && exec wine "$instrument Installer.exe") >"$work/app.log" 2>&1 &
    app_pid=$!
}
wait_for_exit() {
    local code=0
    for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid"; code=124
    else
        wait "$app_pid" || code=$?
    fi
    app_pid=
    wineserver -w
    return $code
}

data_root="$WINEPREFIX/drive_c/ProgramData"
vst3_root="$WINEPREFIX/drive_c/Program Files/Common Files/VST3"

# --- 1. full installation with licence, installer beside its monolith
echo "== Full installation"
dist=$work/dist
mkdir -p "$dist"
cp "$exe" "$dist/$instrument Installer.exe"
cp "$rom" "$dist/$instrument.rom"
start_installer "$dist"
if wait_for_window "$instrument Installer"; then
    pass "window title: $instrument Installer"
    screenshot 1-welcome
    click_slot 1                                  # Install
    screenshot 2-licence
    click_slot 1                                  # Accept
    screenshot 3-installing
    # the copy comes first; extracting and the last progress steps take under 2 s more
    for _ in $(seq 100); do
        [ -f "$data_root/$company/$instrument/$instrument.rom" ] && break
        sleep 0.1
    done
    sleep 2.5
    screenshot 4-finish
    click_slot 0                                  # OK
    if wait_for_exit; then pass "exit code 0 after OK"; else fail "exit code after OK: $?"; fi
else
    fail "no window '$instrument Installer' ($(cat "$work/app.log"))"
    wait_for_exit || true
fi
installed_rom="$data_root/$company/$instrument/$instrument.rom"
if cmp -s "$rom" "$installed_rom"; then
    pass "C:\\ProgramData\\$company\\$instrument\\$instrument.rom equals the monolith"
else
    fail "C:\\ProgramData\\$company\\$instrument\\$instrument.rom missing or different"
fi
if diff -r "$work/expected-vst3" "$vst3_root/$company" >"$work/vst3.diff" 2>&1; then
    pass "C:\\Program Files\\Common Files\\VST3\\$company holds the archive's files: $(cd "$work/expected-vst3" && find . -type f | wc -l) files"
else
    fail "C:\\Program Files\\Common Files\\VST3\\$company differs from the archive: $(head -5 "$work/vst3.diff")"
fi

# --- 1b. a failed installation over the one above: the earlier installation must stay as it was
echo "== Failed installation over an earlier one"
snapshot_targets() {
    (cd "$data_root/$company" && find . | sort && find . -type f -exec md5sum {} + | sort)
    (cd "$vst3_root/$company" && find . | sort && find . -type f -exec md5sum {} + | sort)
}
snapshot_targets >"$work/before.txt"
# The same instrument, whose plug-in archive fails its CRC check half-way through the extraction.
python3 - "$work/vst3.zip" "$work/damaged-vst3.zip" <<'PY'
import sys, zipfile
data = bytearray(open(sys.argv[1], 'rb').read())
entries = zipfile.ZipFile(sys.argv[1]).infolist()
biggest = max(entries, key=lambda e: e.compress_size)
start = biggest.header_offset + 30 + len(biggest.filename.encode()) + len(biggest.extra)
data[start + biggest.compress_size // 2] ^= 0xff
open(sys.argv[2], 'wb').write(data)
PY
rm -rf "$dist"
mkdir -p "$dist"
cp "$exe" "$dist/$instrument Installer.exe"
"$tool" pack "$dist/$instrument.rom" --state "$work/state.xml" --vst3 "$work/damaged-vst3.zip" >/dev/null
start_installer "$dist"
if wait_for_window "$instrument Installer"; then
    click_slot 1                                  # Install
    click_slot 1                                  # Accept
    sleep 4
    screenshot 7-failed-over-earlier
    click_slot 0                                  # OK
    if wait_for_exit; then pass "exit code 0 after OK on the error page"; else fail "exit after the failed installation: $?"; fi
else
    fail "no window '$instrument Installer' for the damaged plug-in archive"
    wait_for_exit || true
fi
snapshot_targets >"$work/after.txt"
if cmp -s "$work/before.txt" "$work/after.txt"; then
    pass "earlier installation unchanged after the failed one ($(grep -c . "$work/before.txt") lines of listing and checksums)"
else
    fail "the failed installation changed the earlier one: $(diff "$work/before.txt" "$work/after.txt" | head -5)"
fi

# --- 2. damaged monolith: error page, "Copy Report" to the clipboard
echo "== Damaged monolith"
rm -rf "$dist" "$data_root/$company" "$vst3_root/$company"
mkdir -p "$dist"
cp "$exe" "$dist/$instrument Installer.exe"
head -c 200 "$rom" >"$dist/$instrument.rom"
start_installer "$dist"
if wait_for_window "Installer"; then
    pass "window title on error: Installer"
    sleep 1.5
    screenshot 5-error
    click_slot 1                                  # Copy Report
    screenshot 5-error-report-copied
    report=$(xclip -o -selection clipboard 2>/dev/null || true)
    printf '%s\n' "$report" >"$shots/5-error-report.txt"
    if grep -q "InstallerComponent" <<<"$report" && grep -q "Monolith found: " <<<"$report"; then
        pass "clipboard holds the report ($(wc -l <<<"$report") lines)"
    else
        fail "clipboard does not hold the report: '$report'"
    fi
    click_slot 0                                  # OK
    if wait_for_exit; then pass "exit code 0 after OK on the error page"; else fail "exit after error page: $?"; fi
else
    fail "no window 'Installer' for the damaged monolith"
    wait_for_exit || true
fi
[ ! -e "$data_root/$company" ] && pass "nothing installed from the damaged monolith" \
    || fail "files installed from the damaged monolith"

# --- 3. discovery: the installer alone, its monolith in Downloads, then on the desktop
for place in Downloads Desktop; do
    echo "== Monolith in $place"
    rm -rf "$dist" "$user_dir/Downloads"/* "$user_dir/Desktop"/*
    mkdir -p "$dist"
    cp "$exe" "$dist/$instrument Installer.exe"
    cp "$rom" "$user_dir/$place/$instrument.rom"
    start_installer "$dist"
    if wait_for_window "$instrument Installer"; then
        pass "found in $place: welcome page titled '$instrument Installer'"
        screenshot "6-found-in-$place"
        click_slot 0                              # Cancel
        if wait_for_exit; then pass "exit code 0 after Cancel"; else fail "exit after Cancel: $?"; fi
    else
        fail "monolith in $place not found"
        import -window root "$shots/6-not-found-in-$place.png"
        wait_for_exit || true
    fi
done

echo "Screenshots in $shots"
if [ "$failures" -gt 0 ]; then
    echo "$failures Wine end-to-end check(s) failed"
    exit 1
fi
echo "All Wine end-to-end checks passed"
