#!/usr/bin/env bash
# Clicks through the installer in DEMO_DIR on the current X display (Xvfb, no window manager) like a
# user would, saves a screenshot of every page into SCREENSHOT_DIR and prints where it installed.
#   scripts/demo-click-through.sh DEMO_DIR SCREENSHOT_DIR
set -euo pipefail

demo_dir=$(realpath "$1")
shots=$2
mkdir -p "$shots"
rm -f "$shots"/*.png

pid=
trap '[ -z "$pid" ] || ! kill -0 "$pid" 2>/dev/null || kill "$pid"' EXIT

start()
{
    (cd "$1" && exec "./Glass Piano Installer" >/dev/null 2>&1) &
    pid=$!
    wid=
    for _ in $(seq 100); do
        wid=$(xdotool search --all --onlyvisible --pid "$pid" --name "Installer\$" 2>/dev/null | tail -n 1 || true)
        [ -n "$wid" ] && break
        sleep 0.1
    done
    [ -n "$wid" ] || { echo "demo: the installer window did not appear"; exit 1; }
    # The framework may replace the window while it sets it up: take the newest once things settle.
    sleep 0.5
    wid=$(xdotool search --all --onlyvisible --pid "$pid" --name "Installer\$" | tail -n 1)
    eval "$(xdotool getwindowgeometry --shell "$wid")"
}

# Footer buttons, 0 the rightmost; the error page's second button is 120 pixels wide.
click()
{
    local x
    case $1 in
        0) x=$((WIDTH - 58)) ;;
        1) x=$((WIDTH - 103 - ${2:-80} / 2)) ;;
    esac
    xdotool mousemove --window "$wid" "$x" $((HEIGHT - 30)) click 1
    # Move away again so that the next screenshot shows no button under the mouse.
    xdotool mousemove 0 0
    sleep 0.5
}

shot()
{
    import -window "$wid" "$shots/$1.png"
    echo "  $shots/$1.png"
}

wait_title()
{
    for _ in $(seq 100); do
        [ "$(xdotool getwindowname "$wid")" = "$1" ] && return 0
        sleep 0.1
    done
    echo "demo: the window title did not become \"$1\""
    exit 1
}

echo "Clicking through the installer under Xvfb; screenshots:"
start "$demo_dir"
wait_title "Glass Piano Installer"
sleep 0.5
shot 1-welcome
click 1
shot 2-eula
click 1
shot 3-installing
sleep 3.5
shot 4-finished
click 0

for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
pid=

# The error page, from a damaged copy of the monolith.
broken=$(mktemp -d)
cp "$demo_dir/Glass Piano Installer" "$broken/"
head -c 4096 "$demo_dir/Glass Piano.rom" > "$broken/Glass Piano.rom"
start "$broken"
sleep 1.5
click 1 120
shot 5-error-report-copied
click 0
rm -rf "$broken"

data_home=${XDG_DATA_HOME:-$HOME/.local/share}
company=$(sed -n 's/.*companyName="\([^"]*\)".*/\1/p' "$(dirname "$0")/../demo/GlassPiano.xml" | head -n 1)
rom="$data_home/$company/Glass Piano/Glass Piano.rom"
[ -f "$rom" ] || { echo "demo: the monolith was not installed at $rom"; exit 1; }
echo
echo "Installed:"
echo "  $data_home/$company/Glass Piano/Glass Piano.rom"
echo "  $HOME/.vst3/$company/"
ls -R "$HOME/.vst3/$company" | sed 's/^/    /'
