#!/usr/bin/env bash
# Black-box runs of the built installer on the X display in DISPLAY (Xvfb in CI), driven like a user:
# xdotool clicks where the footer buttons are drawn (or, in the last runs, only presses keys), the
# window title and the clipboard are read back, and the installed files are checked afterwards.
#   tests/e2e/run-linux-e2e.sh INSTALLER MONOLITH_TOOL DEMO_SOURCE_DIR [SCREENSHOT_DIR]
set -euo pipefail

installer=$(realpath "$1")
tool=$(realpath "$2")
demo_src=$(realpath "$3")
shots=${4:-}

[ -n "${DISPLAY:-}" ] || { echo "run-linux-e2e: needs an X display (run under xvfb-run)"; exit 2; }
for cmd in xdotool xclip xset import convert zip; do
    command -v "$cmd" >/dev/null || { echo "run-linux-e2e: $cmd is missing (scripts/install-deps.sh)"; exit 2; }
done

# A key held down by a process that a busy machine has not scheduled in time must not repeat.
xset r off

work=$(mktemp -d)
pid=
mounted=
cleanup()
{
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill "$pid"; fi
    if [ -n "$mounted" ]; then wait_for_exit_quietly; umount "$mounted"; fi
    rm -rf "$work"
}
trap cleanup EXIT
wait_for_exit_quietly() { [ -z "$pid" ] || wait "$pid" 2>/dev/null || true; }

failures=0
fail() { echo "FAIL [$case_name]: $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; if "$@"; then echo "  ok: $what"; else fail "$what"; fi; }

instrument="Glass Piano"
company=$(sed -n 's/.*companyName="\([^"]*\)".*/\1/p' "$demo_src/GlassPiano.xml" | head -n 1)

# A small plug-in bundle and screenshot of our own, so that the runs need nothing from the demo build.
make_assets()
{
    local assets=$work/assets
    mkdir -p "$assets/bundle/$instrument.vst3/Contents/x86_64-win"
    echo "plug-in code" > "$assets/bundle/$instrument.vst3/Contents/x86_64-win/$instrument.vst3"
    (cd "$assets/bundle" && zip -qr "$assets/plugin.zip" "$instrument.vst3")
    convert -size 320x200 gradient:white-blue "$assets/screenshot.png"
    printf 'End user licence agreement\n\nYou may play this instrument.\n' > "$assets/eula.txt"
}

# Runs "$@" until it succeeds; fails after a minute, far longer than a busy machine needs.
wait_until()
{
    local end=$((SECONDS + 60))
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.1
    done
}

# The main window (not the file chooser that the same process may show), looked up every time: the
# framework may replace a window while it sets it up.
main_window() { xdotool search --all --onlyvisible --pid "$pid" --name "^($instrument )?Installer\$" 2>/dev/null | tail -n 1; }
main_window_shown() { [ -n "$(main_window)" ]; }

# Starts "<instrument> Installer" from $app with HOME at $home and waits for its main window.
start_installer()
{
    local app=$1 home=$2
    cp "$installer" "$app/$instrument Installer"
    (cd "$app" && exec env -u XDG_DATA_HOME HOME="$home" PATH="$run_path" "./$instrument Installer" >"$work/$case_name.out" 2>&1) &
    pid=$!
    wait_until main_window_shown || { fail "no window appeared"; return 1; }
    eval "$(xdotool getwindowgeometry --shell "$(main_window)")"
    win_w=$WIDTH
    win_h=$HEIGHT
}

title() { xdotool getwindowname "$(main_window)"; }
title_is() { [ "$(title)" = "$1" ]; }
wait_for_title() { wait_until title_is "$1"; }

# Footer button i (0 = rightmost), centre in window coordinates; the error page's second button is 120 wide.
button_x()
{
    case $1 in
        0) echo $((win_w - 18 - 40)) ;;
        1) echo $((win_w - 18 - 80 - 5 - ${2:-80} / 2)) ;;
        2) echo $((win_w - 18 - 80 - 5 - 80 - 5 - 40)) ;;
    esac
}

# The click is handled later: every check after it waits for what the click should lead to.
click_button()
{
    xdotool mousemove --window "$(main_window)" "$(button_x "$@")" $((win_h - 30)) click 1
}

# A screenshot of the whole screen in $last_shot; keep_shot saves it under a name when SCREENSHOT_DIR is given.
shot_index=0
take_shot()
{
    last_shot=$work/$case_name-shot.png
    import -window root "$last_shot"
}

keep_shot()
{
    shot_index=$((shot_index + 1))
    if [ -n "$shots" ]; then mkdir -p "$shots"; cp "$last_shot" "$shots/$case_name-$shot_index-$1.png"; fi
}

# Takes screenshots until one shows what the shell condition $2 says, and keeps that one as $1.
screen_shows() { take_shot && eval "$1"; }
wait_for_screen() { wait_until screen_shows "$2" && keep_shot "$1"; }

# Brightest grey level (0..255) inside a rectangle of the window, from the last screenshot.
brightest()
{
    local x=$1 y=$2 w=$3 h=$4
    eval "$(xdotool getwindowgeometry --shell "$(main_window)")"
    convert "$last_shot" -crop "${w}x${h}+$((X + x))+$((Y + y))" +repage -colorspace gray \
        -format '%[fx:round(255*maxima)]' info:
}

# Whether the footer is dark left of x = right_edge (no third button beside a wide Copy Report).
nothing_left_of()
{
    [ "$(brightest 300 $((win_h - 42)) $(($1 - 300)) 24)" -lt 20 ]
}

# Whether footer button i shows any text on the last screenshot.
button_shown()
{
    local width=${2:-80}
    local left=$(($(button_x "$1" "$width") - width / 2))
    [ "$(brightest "$left" $((win_h - 42)) "$width" 24)" -gt 60 ]
}

# Whether the progress bar is drawn in the footer.
progress_shown() { [ "$(brightest 30 $((win_h - 42)) 240 24)" -gt 60 ]; }

# The finish page: only OK, and no progress bar as on the installing page, whose only button is Cancel.
finish_page_shown() { button_shown 0 && ! button_shown 1 && ! progress_shown; }

process_ended() { ! kill -0 "$pid" 2>/dev/null; }
wait_for_exit() { wait_until process_ended && { wait "$pid" || true; pid=; }; }
wait_for_file() { wait_until test -f "$1"; }

clipboard() { xclip -o -selection clipboard -t UTF8_STRING 2>/dev/null || true; }
clipboard_has() { clipboard | grep -qE "$1"; }

new_case()
{
    case_name=$1
    echo "== $case_name"
    app=$work/$case_name/app
    home=$work/$case_name/home
    mkdir -p "$app" "$home"
    shot_index=0
}

pack()
{
    "$tool" pack "$app/$instrument.rom" --state "$demo_src/GlassPiano.xml" \
        --screenshot "$work/assets/screenshot.png" --vst3 "$work/assets/plugin.zip" "$@" >/dev/null
}

installed_rom() { echo "$home/.local/share/$company/$instrument/$instrument.rom"; }
installed_plugin() { echo "$home/.vst3/$company/$instrument.vst3/Contents/x86_64-win/$instrument.vst3"; }

# Only `which` on the PATH: the framework then finds no zenity or kdialog and shows its own file
# dialog, the same on every machine. An `xdg-open` of our own notes the folders that the finish
# page's Open buttons hand to the file manager.
run_path=$work/bin
mkdir -p "$run_path"
ln -s "$(command -v which)" "$run_path/which"
opened=$work/opened-folders
printf '#!/bin/sh\nprintf "%%s\\n" "$1" >> "%s"\n' "$opened" > "$run_path/xdg-open"
chmod +x "$run_path/xdg-open"
was_opened() { grep -qxF "$1" "$opened" 2>/dev/null; }

# A click at a point of the window.
click_at() { xdotool mousemove --window "$(main_window)" "$1" "$2" click 1; }

# The finish page's Open buttons, right of the plug-in's and the sample data's folder.
open_button_x=576
open_button_y() { echo $((80 + 340 / 2 + 40 + 16 + 32 * $1)); }

make_assets

#---------------------------------------------------------------------------------------------------
new_case with-licence
pack --eula "$work/assets/eula.txt"
start_installer "$app" "$home"
check "title becomes \"$instrument Installer\" on the welcome page" wait_for_title "$instrument Installer"
check "window is 640 x 480" test "$win_w x $win_h" = "640 x 480"
check "welcome shows Install and Cancel and no third button" wait_for_screen welcome 'button_shown 1 && ! button_shown 2'
check "header separator line drawn" test "$(brightest 320 79 1 1)" -ge 55
check "screenshot shows faintly behind the page" test "$(brightest 20 100 1 1)" -ge 30 -a "$(brightest 20 100 1 1)" -le 60
click_button 1
check "EULA page shows < Back, Accept, Cancel" wait_for_screen eula 'button_shown 2'
click_button 2
check "< Back leads to the welcome page" wait_for_screen welcome-again '! button_shown 2'
check "nothing installed before Accept" test ! -e "$(installed_rom)"
click_button 1
check "Install leads to the EULA page again" wait_for_screen eula-again 'button_shown 2'
click_button 1
check "monolith installed" wait_for_file "$(installed_rom)"
check "plug-in unpacked" wait_for_file "$(installed_plugin)"
check "finish page shows only OK" wait_for_screen finished finish_page_shown
click_button 0
check "OK ends the program" wait_for_exit
check "installed monolith equals the original" cmp -s "$app/$instrument.rom" "$(installed_rom)"

#---------------------------------------------------------------------------------------------------
new_case without-licence
pack
start_installer "$app" "$home"
check "welcome page reached" wait_for_title "$instrument Installer"
check "welcome shows Install" wait_for_screen welcome 'button_shown 1'
click_button 1
check "Install goes straight to the installation" wait_for_file "$(installed_plugin)"
check "finish page shows only OK" wait_for_screen finished finish_page_shown
check "finish page names both folders beside their Open buttons" \
    test "$(brightest 24 $(($(open_button_y 0) - 8)) 300 48)" -gt 150 -a "$(brightest 546 $(($(open_button_y 0) - 8)) 60 48)" -gt 100
click_at "$open_button_x" "$(open_button_y 0)"
check "the first Open button opens the plug-in's folder" wait_until was_opened "$home/.vst3/$company"
click_at "$open_button_x" "$(open_button_y 1)"
check "the second Open button opens the sample data's folder" wait_until was_opened "$(dirname "$(installed_rom)")"
check "the finish page stays" finish_page_shown
click_button 0
check "OK ends the program" wait_for_exit

#---------------------------------------------------------------------------------------------------
# "Change location…" on the left of the footer opens the framework's folder chooser inside the window:
# a path typed into its name box and Open take that folder, shown beneath the message.
chooser_x=563
chooser_name_y=404
chooser_open_y=444
choose_folder()
{
    click_at 115 $((win_h - 30))
    wait_until screen_shows '[ "$(brightest 20 10 600 30)" -gt 150 ]' || return 1
    click_at 300 "$chooser_name_y"
    xdotool type --delay 20 "$1"
    click_at "$chooser_x" "$chooser_open_y"
}
location_shown() { [ "$(brightest 40 $((80 + 340 / 2 + 34)) 560 40)" -gt 150 ]; }
no_location_shown() { take_shot && ! location_shown; }

new_case chosen-folder
pack
mkdir -p "$work/$case_name/drive"
start_installer "$app" "$home"
check "welcome page reached" wait_for_title "$instrument Installer"
check "welcome shows Change location… on the left, Install and Cancel" \
    wait_for_screen welcome '[ "$(brightest 30 $((win_h - 42)) 160 24)" -gt 60 ] && button_shown 1 && ! button_shown 2'
check "nothing beneath the message before a choice" no_location_shown
check "a folder typed into the chooser is taken" choose_folder "$work/$case_name/drive"
check "the chosen data folder is shown beneath the message" wait_for_screen chosen location_shown
click_button 1
check "the monolith goes into the chosen folder" wait_for_file "$work/$case_name/drive/$company/$instrument/$instrument.rom"
check "finish page shows only OK" wait_for_screen finished finish_page_shown
check "the default data folder is a link to it" test "$(readlink "$(dirname "$(installed_rom)")")" = "$work/$case_name/drive/$company/$instrument"
click_at "$open_button_x" "$(open_button_y 1)"
check "the finish page's second Open button opens the chosen folder" wait_until was_opened "$work/$case_name/drive/$company/$instrument"
click_button 0
check "OK ends the program" wait_for_exit
check "installed monolith equals the original" cmp -s "$app/$instrument.rom" "$work/$case_name/drive/$company/$instrument/$instrument.rom"

new_case folder-too-small
if [ "$(id -u)" -ne 0 ]; then
    echo "  skipped: mounting a small file system needs root"
else
    pack
    small=$work/$case_name/small
    mkdir -p "$small"
    mount -t tmpfs -o size=16k tmpfs "$small"
    mounted=$small
    start_installer "$app" "$home"
    check "welcome page reached" wait_for_title "$instrument Installer"
    choose_folder "$small" || fail "the chooser did not open"
    check "the refusal is shown beneath the message" wait_for_screen refused location_shown
    click_button 1
    check "the monolith goes to the default place" wait_for_file "$(installed_rom)"
    check "finish page shows only OK" wait_for_screen finished finish_page_shown
    click_button 0
    check "OK ends the program" wait_for_exit
    check "nothing written to the small file system" test -z "$(ls -A "$small")"
    umount "$small"
    mounted=
fi

#---------------------------------------------------------------------------------------------------
new_case damaged-monolith
head -c 5000 /dev/urandom > "$app/$instrument.rom"
start_installer "$app" "$home"
check "error page shows Copy Report and OK" wait_for_screen error 'button_shown 1 120 && button_shown 0 && nothing_left_of $((win_w - 223))'
check "title stays \"Installer\"" test "$(title)" = "Installer"
printf 'old' | xclip -selection clipboard
click_button 1 120
check "report starts with the first log line" wait_until clipboard_has "<InstallerComponent> Starting installer"
check "report names the failure" clipboard_has "Monolith is incomplete or damaged: "
take_shot
keep_shot report-copied
click_button 0
check "OK ends the program" wait_for_exit
check "nothing installed" test ! -e "$home/.local/share/$company"

#---------------------------------------------------------------------------------------------------
new_case no-monolith
start_installer "$app" "$home"
chooser_shown() { chooser=$(xdotool search --onlyvisible --name "Choose installer data file" 2>/dev/null | head -n 1); [ -n "$chooser" ]; }
check "the file chooser opens" wait_until chooser_shown
check "title is \"Installer\" while the chooser is open" test "$(title)" = "Installer"
take_shot
keep_shot chooser
# A chooser that has just appeared may not handle keys yet: Escape again until it has gone. Keys sent
# to the chooser's own window never reach the page behind it.
escape_chooser()
{
    chooser_shown || return 0
    xdotool windowfocus --sync "$chooser" 2>/dev/null || true
    xdotool key --window "$chooser" Escape 2>/dev/null || true
    sleep 1
    ! chooser_shown
}
check "Escape closes the chooser" wait_until escape_chooser
check "error page after the cancelled chooser" wait_for_screen error 'button_shown 1 120 && button_shown 0'
printf 'old' | xclip -selection clipboard
click_button 1 120
check "report shows the empty selection" wait_until clipboard_has "Monolith selected: *$"
check "report says no monolith" clipboard_has "No monolith file available"
click_button 0
check "OK ends the program" wait_for_exit

#---------------------------------------------------------------------------------------------------
# The keyboard alone: not a single click from here on. Keys go to the focused window, as the window
# manager's would; without one, the installer activates its window itself.
key() { xdotool key --delay 150 "$@"; }

# Footer button i: the left edge, a column that only the focus mark's outline lights, and its text.
outline_of() { brightest $(($(button_x "$1") - 40)) $((win_h - 42)) 1 24; }
text_of() { brightest $(($(button_x "$1") - 30)) $((win_h - 42)) 60 24; }
marked() { [ "$(outline_of "$1")" -ge 60 ] && [ "$(text_of "$1")" -ge 200 ]; }
unmarked() { [ "$(outline_of "$1")" -lt 20 ] && [ "$(text_of "$1")" -lt 180 ]; }

new_case keyboard-install
pack --eula "$work/assets/eula.txt"
start_installer "$app" "$home"
check "welcome page reached" wait_for_title "$instrument Installer"
check "welcome page drawn" wait_for_screen welcome 'button_shown 1'
check "Install has the focus but no mark before a key is used" unmarked 1
key Tab
check "Tab marks Cancel: text at full brightness, thin outline" wait_for_screen cancel-marked 'marked 0'
check "Install is no longer marked" unmarked 1
key shift+Tab Return
check "Return on Install shows the licence with < Back, Accept, Cancel" wait_for_screen eula 'button_shown 2'
check "Accept has the focus, marked" wait_for_screen accept-marked 'marked 1'
key Tab Tab Down Next End
check "Tab leads through Cancel to the licence, which has no mark" wait_for_screen licence-focused 'unmarked 0 && unmarked 1 && unmarked 2'
key shift+Tab shift+Tab
check "Shift+Tab leads back through Cancel to Accept" wait_for_screen accept-marked-again 'marked 1'
check "nothing installed before Accept" test ! -e "$(installed_rom)"
key space
check "Space on Accept installs the monolith" wait_for_file "$(installed_rom)"
check "the finish page follows, with only OK" wait_for_screen finished finish_page_shown
check "OK has the focus, marked" marked 0
key Return
check "Return on OK ends the program" wait_for_exit
check "installed monolith equals the original" cmp -s "$app/$instrument.rom" "$(installed_rom)"
check "plug-in unpacked" test -f "$(installed_plugin)"

new_case keyboard-escape
pack --eula "$work/assets/eula.txt"
start_installer "$app" "$home"
check "welcome page reached" wait_for_title "$instrument Installer"
key Escape
check "Escape on the welcome page ends the program" wait_for_exit
check "nothing installed" test ! -e "$home/.local/share/$company"

new_case keyboard-cancel
pack --eula "$work/assets/eula.txt"
start_installer "$app" "$home"
check "welcome page reached" wait_for_title "$instrument Installer"
key Return
check "Return on Install shows the licence" wait_for_screen eula 'button_shown 2'
key Tab space
check "Space on Cancel ends the program" wait_for_exit
check "nothing installed" test ! -e "$home/.local/share/$company"

echo
if [ "$failures" -ne 0 ]; then
    echo "run-linux-e2e: $failures check(s) failed"
    exit 1
fi
echo "run-linux-e2e: all checks passed"
