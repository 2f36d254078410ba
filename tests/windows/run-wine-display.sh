#!/usr/bin/env bash
# The Windows installer under Wine as it appears on screen at 100 %, 150 % and 200 % display scaling
# (96, 144 and 192 DPI): the window's client area must be 640 x 480, 960 x 720 and 1280 x 960 physical
# pixels with the layout scaled, and every page of an installation with licence, and the error page,
# must be complete on screen by itself: nothing here makes the window repaint. At 100 % the keyboard
# alone drives the installation, at 150 % the mouse does, clicking where the scaled layout puts the
# buttons. Screenshots of every page land in the screenshot folder.
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

walk_through_installation() {   # keyboard | mouse
    fresh_installer "$rom"
    start_installer "$dist"
    if ! wait_for_window "$instrument Installer"; then
        fail "$dpi DPI: no window '$instrument Installer' ($(cat "$work/app.log"))"
        wait_for_exit || true
        return
    fi
    check "$dpi DPI: client area $(client_size)" test "$(client_size)" = "$(px 640)x$(px 480)"
    check "$dpi DPI: welcome page complete" \
        page_complete 1-welcome "$message" "${separators[@]}" "$(shown 1)" "$(shown 0)" "$(hidden 2)"
    if [ "$1" = keyboard ]; then press Return; else click_slot 1; fi
    check "$dpi DPI: licence page complete" \
        page_complete 2-licence "$licence_text" "$(shown 2)" "$(shown 1)" "$(shown 0)"
    if [ "$1" = keyboard ]; then press space; else click_slot 1; fi
    check "$dpi DPI: installing page complete" \
        page_complete 3-installing "$message" "$progress_bar" "$(shown 0)" "$(hidden 1)"
    check "$dpi DPI: finish page complete" \
        page_complete 4-finish "$message" "$no_progress_bar" "$(shown 0)" "$(hidden 1)"
    if [ "$1" = keyboard ]; then press Return; else click_slot 0; fi
    check "$dpi DPI: OK ends the program" wait_for_exit
}

# --- 100 %: the keyboard alone
set_display_dpi 96
echo "== $dpi DPI"
walk_through_installation keyboard

# --- 150 %: the mouse, where the scaled layout puts the buttons; and the error page
set_display_dpi 144
echo "== $dpi DPI"
walk_through_installation mouse
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
