#!/usr/bin/env bash
# The Windows installer under Wine as it appears on screen at 100 %, 150 % and 200 % display scaling
# (96, 144 and 192 DPI): the window's client area must be 640 x 480, 960 x 720 and 1280 x 960 physical
# pixels with the layout scaled, and every page of an installation with licence, and the error page,
# must be complete on screen by itself: nothing here makes the window repaint (but for the folder
# chooser's answer, below). At 100 % the keyboard alone drives the installation, at 150 % the mouse
# does, clicking where the scaled layout puts the buttons: it chooses a folder for the sample data through "Change location…" (shown, not installed
# to: Wine makes no junctions), meets the files-in-use page while a program holds the installed plug-in
# (which Wine's Restart Manager does not name), and retries once it has let go. Screenshots of every
# page land in the screenshot folder.
#   tests/windows/run-wine-display.sh [Installer.exe] [monolith.rom] [screenshot folder]
# The monolith must hold a licence text (the demo monolith does). Needs the Linux build's monolith-tool
# (build/tools/monolith-tool, or MONOLITH_TOOL) to read the monolith's names.
set -euo pipefail
cd "$(dirname "$0")/../.."

exe=$(realpath "${1:-build-win/Installer_artefacts/Release/Installer.exe}")
rom=$(realpath "${2:-build/demo/Glass Piano.rom}")
shots=$(realpath -m "${3:-out/windows-display-screenshots}")
tool=$(realpath "${MONOLITH_TOOL:-build/tools/monolith-tool}")

source tests/windows/wine-session.sh
begin_wine_session display
rm -rf "$shots"
mkdir -p "$shots"

read_instrument_names

x86_64-w64-mingw32-gcc-posix -municode -O2 -Wall -Wextra -Werror -static tests/windows/client-area.c \
    -o "$work/client-area.exe"
x86_64-w64-mingw32-gcc-posix -municode -O2 -Wall -Wextra -Werror -static tests/windows/holder.c -o "$work/holder.exe"

# --- display and a fresh Wine prefix
start_display 1600x1200

wineboot -i >"$work/wineboot.log" 2>&1
wineserver -w
# Xvfb has no window manager: Wine draws the Windows caption itself
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -w

# --- the window, in physical pixels; page coordinates are the layout's, 640 x 480, times dpi / 96
dpi=96
client=
set_display_dpi() {   # dpi; read by every Wine process that starts afterwards
    dpi=$1
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    wineserver -k 2>/dev/null || true
    wineserver -w
}
px() { echo $((($1 * dpi + 48) / 96)); }
start_installer() {   # folder holding "<instrument> Installer.exe"
    (cd "$1" && exec wine "$instrument Installer.exe") >"$work/app.log" 2>&1 &
    app_pid=$!
}
wait_for_window() {   # title; sets client to "x y width height"
    client=
    for _ in $(seq 150); do
        client=$(wine "$work/client-area.exe" "$1" 2>/dev/null | tr -d '\r' || true)
        [ -n "$client" ] && return 0
        sleep 0.2
    done
    return 1
}
client_size() { cut -d' ' -f3- <<<"$client" | tr ' ' x; }
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

# What a page must show, each as "x,y,width,height>level" or "<level": the brightest grey (0..255)
# in that rectangle of the layout. Footer slots from the right: 0 at x 542, 1 at x 457, 2 at x 372
# (80 x 24 at y 18 in the footer at y 420); the error page's slot 1 is 120 wide, at x 417.
slot_x() { echo $((542 - 85 * $1 - ${2:-0})); }
shown() { echo "$(slot_x "$1" "${2:-0}"),438,$((80 + ${2:-0})),24>100"; }
hidden() { echo "$(slot_x "$1"),438,80,24<30"; }
message=40,235,560,30\>150
change_location=30,438,170,24\>100
location=40,288,560,50\>150
folder_rows=(24,294,400,24\>150 536,294,80,24\>100 24,326,400,24\>150 536,326,80,24\>100)
files_in_use=(40,175,560,30\>150 40,224,560,40\>150)
licence_text=12,92,300,40\>150
progress_bar=32,440,236,20\>70
no_progress_bar=32,440,236,20\<30
separators=(300,78,40,3\>40 300,419,40,3\>40)
wide_copy_report=(420,438,30,24\>100 300,438,110,24\<30)
cat >"$work/regions.py" <<'PY'
import sys
# regions.py GREY_BYTES WIDTH HEIGHT DPI CHECK...: prints the checks that fail on the screenshot
path, width, height, dpi = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
pixels = open(path, "rb").read()
px = lambda value: (value * dpi + 48) // 96
failed = []
for check in sys.argv[5:]:
    op = ">" if ">" in check else "<"
    region, level = check.split(op)
    x, y, w, h = map(int, region.split(","))
    brightest = max(max(pixels[row * width + px(x):row * width + px(x + w)]) for row in range(px(y), px(y + h)))
    if not (brightest > int(level) if op == ">" else brightest < int(level)):
        failed.append(f"{check} (brightest {brightest})")
print("; ".join(failed))
sys.exit(1 if failed else 0)
PY

# Waits until the screen shows the whole page, every check holding, and keeps a screenshot of it.
page_complete() {   # name check...
    local name=$1 x y width height look missing=
    shift
    read -r x y width height <<<"$client"
    for look in $(seq 40); do
        import -window root -crop "${width}x${height}+$x+$y" +repage "$work/screen.png"
        convert "$work/screen.png" -colorspace gray -depth 8 "gray:$work/screen.grey"
        if missing=$(python3 "$work/regions.py" "$work/screen.grey" "$width" "$height" "$dpi" "$@"); then
            cp "$work/screen.png" "$shots/$dpi-$name.png"
            echo "     ($name complete on screenshot $look)"
            return 0
        fi
        sleep 0.1
    done
    cp "$work/screen.png" "$shots/$dpi-$name-INCOMPLETE.png"
    echo "     ($name still misses: $missing)"
    return 1
}
click_slot() {   # slot [extra width]: a click at the button's centre
    local x y width height
    read -r x y width height <<<"$client"
    xdotool mousemove "$((x + $(px "$(($(slot_x "$1" "${2:-0}") + (80 + ${2:-0}) / 2))")))" "$((y + $(px 450)))" sleep 0.2 click 1
}
press() { xdotool key --delay 150 "$@"; }

dist=$work/dist
fresh_installer() {   # monolith to put beside it
    wineserver -w
    rm -rf "$dist" "$WINEPREFIX/drive_c/ProgramData/$company" "$WINEPREFIX/drive_c/Program Files/Common Files/VST3/$company"
    mkdir -p "$dist"
    cp "$exe" "$dist/$instrument Installer.exe"
    cp "$1" "$dist/$instrument.rom"
}

# Chooses the folder (a Windows path) for the sample data in the chooser that "Change location…" opens:
# typed into its name field, then Return. Wine's chooser hands its answer over only once its thread gets
# another message after it has closed (a mouse move, or another program looking the windows up), so a
# mouse move over the page follows.
choose_data_folder() {
    local x y width height dialog= gone=
    read -r x y width height <<<"$client"
    xdotool mousemove "$((x + $(px 115)))" "$((y + $(px 450)))" sleep 0.2 click 1
    for _ in $(seq 300); do
        dialog=$(xdotool search --name 'Choose where to install the sample data' 2>/dev/null | head -n 1 || true)
        [ -n "$dialog" ] && break
        sleep 0.2
    done
    [ -n "$dialog" ] || return 1
    eval "$(xdotool getwindowgeometry --shell "$dialog")"
    # The name field runs along the bottom of the chooser, left of its right edge.
    xdotool mousemove "$((X + WIDTH * 2 / 3))" "$((Y + HEIGHT - 60))" sleep 0.2 click 1
    xdotool type --delay 50 "$1"
    press Return
    for _ in $(seq 300); do
        xdotool search --name 'Choose where to install the sample data' >/dev/null 2>&1 || { gone=1; break; }
        sleep 0.2
    done
    [ -n "$gone" ] || return 1
    xdotool mousemove "$((x + $(px 320)))" "$((y + $(px 150)))" sleep 0.2 mousemove "$((x + $(px 330)))" "$((y + $(px 160)))"
}

walk_through_installation() {   # keyboard | mouse
    fresh_installer "$rom"
    start_installer "$dist"
    if ! wait_for_window "$instrument Installer"; then
        fail "$dpi DPI: no window '$instrument Installer' ($(cat "$work/app.log"))"
        wait_for_exit || true
        return
    fi
    check "$dpi DPI: client area $(client_size)" test "$(client_size)" = "$(px 640)x$(px 480)"
    check "$dpi DPI: welcome page complete" page_complete 1-welcome \
        "$message" "${separators[@]}" "$(shown 1)" "$(shown 0)" "$(hidden 2)" "$change_location"
    if [ "$1" = keyboard ]; then press Return; else click_slot 1; fi
    check "$dpi DPI: licence page complete" \
        page_complete 2-licence "$licence_text" "$(shown 2)" "$(shown 1)" "$(shown 0)"
    if [ "$1" = keyboard ]; then press space; else click_slot 1; fi
    check "$dpi DPI: installing page complete" \
        page_complete 3-installing "$message" "$progress_bar" "$(shown 0)" "$(hidden 1)"
    check "$dpi DPI: finish page complete" \
        page_complete 4-finish "$message" "${folder_rows[@]}" "$no_progress_bar" "$(shown 0)" "$(hidden 1)"
    if [ "$1" = keyboard ]; then press Return; else click_slot 0; fi
    check "$dpi DPI: OK ends the program" wait_for_exit
}

# The welcome page once a folder is chosen for the sample data: the folder beneath the message. Wine
# cannot make the junction that such an installation makes at the default place, so Cancel ends here.
show_chosen_folder() {   # a folder (a Windows path)
    fresh_installer "$rom"
    start_installer "$dist"
    if wait_for_window "$instrument Installer"; then
        check "$dpi DPI: welcome page complete" page_complete 1-welcome "$message" "$change_location" "$(shown 1)"
        check "$dpi DPI: a folder chosen for the sample data" choose_data_folder "$1"
        check "$dpi DPI: welcome page with the chosen folder complete" page_complete 1-welcome-location \
            "$message" "$location" "$(shown 1)" "$(shown 0)" "$change_location"
        click_slot 0
        check "$dpi DPI: Cancel ends the program" wait_for_exit
    else
        fail "$dpi DPI: no window '$instrument Installer'"
        wait_for_exit || true
    fi
}

# The installed plug-in's binary held open without delete sharing, as a host that loaded it holds it,
# and an installation over it: the files-in-use page, with Retry and Cancel, and nothing named. Once
# the holder lets go, Retry installs.
install_while_held() {
    local binary="C:\\Program Files\\Common Files\\VST3\\$company\\$instrument.vst3\\Contents\\x86_64-win\\$instrument.vst3"
    local holder
    (cd "$work" && exec wine holder.exe "$binary" open 'C:\stop-holding') >"$work/holding" 2>/dev/null &
    holder=$!
    for _ in $(seq 300); do grep -q holding "$work/holding" 2>/dev/null && break; sleep 0.1; done
    if ! grep -q holding "$work/holding"; then
        fail "$dpi DPI: the holder never held the plug-in"
        kill "$holder" 2>/dev/null || true
        return
    fi
    start_installer "$dist"
    if wait_for_window "$instrument Installer"; then
        check "$dpi DPI: welcome page of the update complete" page_complete 1-welcome-update "$message" "$(shown 1)"
        click_slot 1
        check "$dpi DPI: licence page of the update complete" page_complete 2-licence-update "$licence_text" "$(shown 1)"
        click_slot 1
        check "$dpi DPI: files-in-use page complete" \
            page_complete 6-files-in-use "${files_in_use[@]}" "$no_progress_bar" "$(shown 1)" "$(shown 0)" "$(hidden 2)"
        touch "$WINEPREFIX/drive_c/stop-holding"
        wait "$holder" || true
        click_slot 1
        check "$dpi DPI: Retry installs once the holder has let go" \
            page_complete 4-finish-after-retry "$message" "${folder_rows[@]}" "$(shown 0)"
        click_slot 0
        check "$dpi DPI: OK ends the program" wait_for_exit
    else
        fail "$dpi DPI: no window '$instrument Installer' while the plug-in is held"
        wait_for_exit || true
    fi
    touch "$WINEPREFIX/drive_c/stop-holding"
    wait "$holder" 2>/dev/null || true
    rm -f "$WINEPREFIX/drive_c/stop-holding"
}

# --- 100 %: the keyboard alone
set_display_dpi 96
echo "== $dpi DPI"
walk_through_installation keyboard

# --- 150 %: the mouse, where the scaled layout puts the buttons; and the error page
set_display_dpi 144
echo "== $dpi DPI"
mkdir -p "$WINEPREFIX/drive_c/Samples"
show_chosen_folder 'C:\Samples'
walk_through_installation mouse
install_while_held
head -c 200 "$rom" >"$work/damaged.rom"
fresh_installer "$work/damaged.rom"
start_installer "$dist"
if wait_for_window "Installer"; then
    check "$dpi DPI: error page complete" \
        page_complete 5-error "$message" "$(shown 1 40)" "${wide_copy_report[@]}" "$(shown 0)"
    click_slot 0
    check "$dpi DPI: OK ends the program" wait_for_exit
else
    fail "$dpi DPI: no window 'Installer' for the damaged monolith"
    wait_for_exit || true
fi

# --- 200 %
set_display_dpi 192
echo "== $dpi DPI"
fresh_installer "$rom"
start_installer "$dist"
if wait_for_window "$instrument Installer"; then
    check "$dpi DPI: client area $(client_size)" test "$(client_size)" = "$(px 640)x$(px 480)"
    check "$dpi DPI: welcome page complete" \
        page_complete 1-welcome "$message" "${separators[@]}" "$(shown 1)" "$(shown 0)" "$(hidden 2)"
    click_slot 0
    check "$dpi DPI: Cancel ends the program" wait_for_exit
else
    fail "$dpi DPI: no window '$instrument Installer'"
    wait_for_exit || true
fi

echo "Screenshots in $shots"
if [ "$failures" -gt 0 ]; then
    echo "$failures Wine display check(s) failed"
    exit 1
fi
echo "All Wine display checks passed"
