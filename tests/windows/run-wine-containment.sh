#!/usr/bin/env bash
# Containment of the Windows installer under Wine:
#  - it imports directly only kernel32 and msvcrt, known DLLs that the C runtime needs at once; every
#    other DLL is delay-loaded, so that it is looked for only after the entry point has restricted the
#    search to the system folder;
#  - started from a folder holding a planted DLL for every DLL it, the framework or the system's DLLs
#    load for it (each leaving a marker file when loaded), it starts normally, loads none of them and
#    no DLL from outside the system folders. Wine has no known DLLs and looks for every DLL in the
#    program's folder first, which makes this a stricter test than Windows needs;
#  - the link-safe file layer, driven by containment-probe.exe, refuses links planted in C:\ProgramData,
#    protects the folders it makes, restricts a folder that everyone may change, and makes private
#    folders; the installer itself, with a link planted as its company folder in C:\ProgramData or in
#    the VST3 folder, fails the installation with a line naming the link and writes nothing;
#  - a second copy of the same user's ends at once, and the framework's global lock held by someone else
#    does not stop the program.
#   tests/windows/run-wine-containment.sh [Installer.exe] [monolith.rom] [containment-probe.exe]
# Needs the Linux build's monolith-tool (build/tools/monolith-tool) to read the monolith's names.
set -euo pipefail
cd "$(dirname "$0")/../.."

exe=$(realpath "${1:-build-win/Installer_artefacts/Release/Installer.exe}")
rom=$(realpath "${2:-build/demo/Glass Piano.rom}")
probe=$(realpath "${3:-build-win/tests/windows/containment-probe.exe}")
tool=$(realpath "${MONOLITH_TOOL:-build/tools/monolith-tool}")
here=$PWD/tests/windows

# The only DLLs imported directly, and so loaded before the program's first instruction.
direct_imports="kernel32 msvcrt"
# Planted beside the installer: every DLL it imports with delay (cmake/WindowsDllSafety.cmake), the
# DLLs the framework loads by name (LoadLibrary and DynamicLibrary in its Windows sources), and those
# that the system's own DLLs load for this program (seen with WINEDEBUG=+loaddll). Left out: the two
# imported directly, which Wine loads from beside the program before anything runs; Wine's own DLLs
# (win32u, wined3d, winex11.drv, zlib1); and setupapi, a known DLL on Windows, which Wine's gdi32
# delay-loads through a search that ignores the program's restriction.
planted_dlls="advapi32 comdlg32 gdi32 imm32 ole32 oleaut32 shell32 shlwapi user32 ws2_32 version winmm wininet wsock32 dxgi
    comctl32 uxtheme uiautomationcore d2d1 dwrite iphlpapi netapi32 mapi32 shcore
    combase rpcrt4 sechost ucrtbase dwmapi opengl32 msacm32 userenv"

source tests/windows/wine-session.sh
begin_wine_session containment
base_overrides=$WINEDLLOVERRIDES
read_instrument_names

# --- display and a fresh Wine prefix
start_display 1024x768
wineboot -i >"$work/wineboot.log" 2>&1
wineserver -w
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -w

drive_c=$WINEPREFIX/drive_c
data_root=$drive_c/ProgramData
vst3_root="$drive_c/Program Files/Common Files/VST3"

wait_for_window() {   # title
    window=
    for _ in $(seq 150); do
        window=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)
        [ -n "$window" ] && return 0
        sleep 0.2
    done
    return 1
}
click_slot() {   # footer buttons of the 640 x 480 client area, below Wine's caption: 0 the rightmost, 1 left of it
    local geometry x y width height
    geometry=$(xdotool getwindowgeometry --shell "$window")
    x=$(sed -n 's/^X=//p' <<<"$geometry"); y=$(sed -n 's/^Y=//p' <<<"$geometry")
    width=$(sed -n 's/^WIDTH=//p' <<<"$geometry"); height=$(sed -n 's/^HEIGHT=//p' <<<"$geometry")
    local border=$(((width - 640) / 2))
    xdotool mousemove $((x + border + 582 - 85 * $1)) $((y + height - 480 - border + 450)) sleep 0.2 click 1
    sleep 0.3
}
click_cancel() { click_slot 0; }
start_installer() {   # folder; the rest goes into the environment
    (cd "$1" && exec env "${@:2}" wine "$instrument Installer.exe") >"$work/app.log" 2>&1 &
    app_pid=$!
}
wait_for_exit() {   # seconds; a process that has not ended by then is killed and reported as 124
    local code=0
    for _ in $(seq $(($1 * 10))); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid"; code=124
    else
        wait "$app_pid" || code=$?
    fi
    app_pid=
    return $code
}
new_dist() {
    rm -rf "$work/dist"
    mkdir -p "$work/dist"
    cp "$exe" "$work/dist/$instrument Installer.exe"
    cp "$rom" "$work/dist/$instrument.rom"
}

# --- 1. direct imports
echo "== Direct imports"
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sed 's/\.dll$//' | sort -u)
if [ "$(echo $imports)" == "$direct_imports" ]; then
    pass "imported directly: $(echo $imports)"
else
    fail "imported directly: $(echo $imports); every DLL but $direct_imports must be delay-loaded (cmake/WindowsDllSafety.cmake)"
    planted_dlls="$planted_dlls $(tr ' ' '\n' <<<"$imports" | grep -vxE "${direct_imports// /|}" | tr '\n' ' ')"
fi

# --- 2. planted DLLs
echo "== Planted DLLs beside the installer"
new_dist
markers=$drive_c/dll-markers
mkdir -p "$markers"
overrides=
for dll in $planted_dlls; do
    # What the installer imports from this DLL, so that a loaded copy satisfies the loader.
    x86_64-w64-mingw32-objdump -p "$exe" | awk -v dll="$dll" '
        /^\tDLL Name: / { name = tolower($3); sub(/\.dll$/, "", name); inside = (name == dll); next }
        inside && /^\t[0-9a-f]+ +[0-9]+ +[A-Za-z_]/ { print "    " $3 "=markerStub" }
        inside && /^$/ { inside = 0 }' >"$work/$dll.exports"
    printf 'EXPORTS\n    markerStub\n' | cat - "$work/$dll.exports" >"$work/$dll.def"
    x86_64-w64-mingw32-gcc-posix -shared -O2 -Wall -Wextra -Werror -static-libgcc "$here/marker.c" "$work/$dll.def" \
        -o "$work/dist/$dll.dll"
    overrides="$overrides${overrides:+,}$dll"
done
start_installer "$work/dist" WINEDLLOVERRIDES="$base_overrides;$overrides=n,b" DLL_MARKERS='C:\dll-markers' \
    WINEDEBUG=+pid,+loaddll
if wait_for_window "$instrument Installer"; then
    pass "started normally beside $(wc -w <<<"$planted_dlls") planted DLLs: window '$instrument Installer'"
    click_cancel
    if wait_for_exit 10; then pass "exit code 0 after Cancel"; else fail "exit after Cancel: $?"; fi
else
    fail "no window '$instrument Installer' beside the planted DLLs ($(grep -v ':trace:' "$work/app.log" | tail -3))"
    wait_for_exit 1 || true
fi
loaded=$(ls "$markers")
if [ -z "$loaded" ]; then pass "no planted DLL was loaded"; else fail "planted DLLs were loaded: $(tr '\n' ' ' <<<"$loaded")"; fi
# Every DLL the installer's process loaded came from the system's folders.
installer_process=$(grep -m1 "Loaded L\".*$instrument Installer.exe\"" "$work/app.log" | cut -d: -f1 || true)
outside=$(grep "^$installer_process:.*Loaded L\"" "$work/app.log" | grep -o 'Loaded L"[^"]*"' \
    | grep -v 'Loaded L"C:\\\\windows\\\\' | grep -v "$instrument Installer.exe" || true)
if [ -n "$installer_process" ] && [ -z "$outside" ]; then
    pass "every DLL in the installer's process came from C:\\windows ($(grep -c "^$installer_process:.*Loaded L\"" "$work/app.log") loads)"
else
    fail "DLLs loaded from elsewhere: ${outside:-(no load log)}"
fi

# --- 3. links in C:\ProgramData, through the file layer
echo "== Links planted in C:\\ProgramData"
run_probe() { wine "$probe" "$@" 2>/dev/null | tr -d "\r"; }
mkdir -p "$work/elsewhere/Beta"
echo "precious" >"$work/elsewhere/Beta/Beta.rom"
elsewhere_before=$(cd "$work/elsewhere" && find . -exec ls -ld --time-style=+ {} + | sort; md5sum Beta/Beta.rom)
check_refused() {   # description, Windows path of the link, probe arguments...
    local out
    out=$(run_probe "${@:3}" || true)
    if [[ "$out" == "refused: Refusing the link $2 "*"remove the link or install to the default place" ]]; then
        pass "$1: refused, naming $2"
    else
        fail "$1: '$out'"
    fi
}
ln -s "$work/elsewhere" "$data_root/Alpha"
check_refused "link as the company folder" 'C:\ProgramData\Alpha' \
    install 'C:\ProgramData' 'C:\ProgramData\Alpha\Beta' Beta.rom planted
rm "$data_root/Alpha"
mkdir "$data_root/Alpha"
ln -s "$work/elsewhere/Beta" "$data_root/Alpha/Beta"
check_refused "link as the instrument folder" 'C:\ProgramData\Alpha\Beta' \
    install 'C:\ProgramData' 'C:\ProgramData\Alpha\Beta' Beta.rom planted
rm "$data_root/Alpha/Beta"
rmdir "$data_root/Alpha"
if [ "$(run_probe junction 'C:\ProgramData\Alpha' "$(winepath -w "$work/elsewhere")")" == "ok" ]; then
    check_refused "junction as the company folder" 'C:\ProgramData\Alpha' \
        install 'C:\ProgramData' 'C:\ProgramData\Alpha\Beta' Beta.rom planted
    rm -rf "$data_root/Alpha"
else
    echo "skip junction: this Wine cannot make one"
    rmdir "$data_root/Alpha" 2>/dev/null || true
fi
# The installer itself: Install, Accept, then the error page's report.
install_through_link() {   # description, link on the Linux side, its Windows path
    local listing_before listing_after report
    ln -s "$work/elsewhere" "$2"
    listing_before=$(cd "$drive_c" && find ProgramData "Program Files/Common Files" -not -path '*/Microsoft*' | sort)
    new_dist
    echo -n "" | xclip -selection clipboard 2>/dev/null || true
    start_installer "$work/dist"
    if wait_for_window "$instrument Installer"; then
        click_slot 1                              # Install
        click_slot 1                              # Accept
        sleep 3
        click_slot 1                              # Copy Report, on the error page
        report=
        for _ in $(seq 50); do
            report=$(xclip -o -selection clipboard 2>/dev/null | tr -d "\r" || true)
            grep -q "Refusing the link" <<<"$report" && break
            sleep 0.2
        done
        if grep -qF "Refusing the link $3 " <<<"$report" && grep -qF "remove the link or install to the default place" <<<"$report" \
            && [[ "$(grep -v '^$' <<<"$report" | tail -1)" == *"Failed to create directory: "* ]]; then
            pass "$1: the installation failed with a line naming $3"
        else
            fail "$1: report '$(tail -3 <<<"$report")'"
        fi
        click_slot 0                              # OK
        if wait_for_exit 10; then pass "$1: exit code 0 after OK on the error page"; else fail "$1: exit $?"; fi
    else
        fail "$1: no window '$instrument Installer' ($(tail -3 "$work/app.log"))"
        wait_for_exit 1 || true
    fi
    listing_after=$(cd "$drive_c" && find ProgramData "Program Files/Common Files" -not -path '*/Microsoft*' | sort)
    if [ "$listing_before" == "$listing_after" ]; then
        pass "$1: nothing written beside the link"
    else
        fail "$1: written: $(diff <(echo "$listing_before") <(echo "$listing_after") | head -5)"
    fi
    rm "$2"
}
mkdir -p "$vst3_root"
install_through_link "installer, link as the company folder in C:\\ProgramData" "$data_root/$company" "C:\\ProgramData\\$company"
install_through_link "installer, link as the company folder in the VST3 folder" "$vst3_root/$company" \
    "C:\\Program Files\\Common Files\\VST3\\$company"

elsewhere_after=$(cd "$work/elsewhere" && find . -exec ls -ld --time-style=+ {} + | sort; md5sum Beta/Beta.rom)
if [ "$elsewhere_before" == "$elsewhere_after" ]; then
    pass "nothing changed where the links point"
else
    fail "the folder behind the links changed: $(diff <(echo "$elsewhere_before") <(echo "$elsewhere_after") | head -5)"
fi

# --- 4. the file layer's other steps
echo "== The file layer's steps"
expected_steps='make bundle: ok
write bundle\a.txt: ok
write bundle\b.txt: ok
move bundle\a.txt up: ok
refuse to remove the held bundle: ok
write b.txt: ok
refuse to move a.txt onto b.txt: ok
replace b.txt with a.txt: ok
list: ok
names: b.txt bundle
types: file folder missing
open b.txt as a folder: C:\ProgramData\Steps\Beta\b.txt is not a folder
remove bundle: ok
remove b.txt: ok
list again: ok
names: '
steps=$(run_probe tree 'C:\ProgramData' 'C:\ProgramData\Steps\Beta' || true)
if [ "$steps" == "$expected_steps" ]; then
    pass "create, write, move, replace only when asked, list, remove: $(grep -c . <<<"$steps") steps as expected"
else
    fail "steps: $(diff <(echo "$expected_steps") <(echo "$steps") | head -10)"
fi
out=$(run_probe pinned 'C:\ProgramData' 'C:\ProgramData\Steps\Beta' || true)
if [ "$out" == "cannot be renamed while held" ]; then pass "a checked folder's parent $out"; else fail "pinning: '$out'"; fi

# --- 5. access lists
echo "== Access lists"
# Only the administrators, the system, the system's installer service and the owner may change it.
only_administrators_change() {   # SDDL
    python3 - "$1" <<'PY'
import re, sys
sddl = sys.argv[1]
owner = re.match(r"O:([^:]+?)(?:G:|D:)", sddl).group(1)
trusted = {"SY", "BA", owner, "S-1-5-18", "S-1-5-32-544",
           "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"}
change_bits = 0x2 | 0x4 | 0x10 | 0x40 | 0x100 | 0x10000 | 0x40000 | 0x80000 | 0x40000000 | 0x10000000
change_words = {"FA", "FW", "GA", "GW", "WD", "WO", "SD", "DC", "CC", "WP"}
for kind, flags, rights, sid in re.findall(r"\((\w+);(\w*);([^;]*);[^;]*;[^;]*;([^)]*)\)", sddl.split("D:", 1)[1]):
    if kind != "A" or "IO" in flags or sid in trusted:
        continue
    value = int(rights, 16) if rights.startswith("0x") else 0
    if value & change_bits or any(rights[i:i + 2] in change_words for i in range(0, len(rights), 2)):
        sys.exit(f"{sid} may change it ({rights})")
PY
}
check_protected() {   # description, Windows path
    local sddl
    sddl=$(run_probe acl "$2")
    if [ -n "$sddl" ] && problem=$(only_administrators_change "$sddl" 2>&1); then
        pass "$1: only the administrators and the system change it ($sddl)"
    else
        fail "$1: $problem ($sddl)"
    fi
}
out=$(run_probe install 'C:\ProgramData' 'C:\ProgramData\Alpha\Beta' Beta.rom installed || true)
if [ "$out" == 'ok: C:\ProgramData\Alpha\Beta\Beta.rom' ] && [ "$(cat "$data_root/Alpha/Beta/Beta.rom")" == "installed" ]; then
    pass "file installed through new folders: $out"
else
    fail "installing through new folders: '$out'"
fi
check_protected "new company folder" 'C:\ProgramData\Alpha'
check_protected "new instrument folder" 'C:\ProgramData\Alpha\Beta'
mkdir "$data_root/Open"
run_probe open-to-users 'C:\ProgramData\Open' >/dev/null
if only_administrators_change "$(run_probe acl 'C:\ProgramData\Open')" 2>/dev/null; then
    fail "the folder opened to everyone does not look open: $(run_probe acl 'C:\ProgramData\Open')"
fi
out=$(run_probe chain 'C:\ProgramData' 'C:\ProgramData\Open\Beta' || true)
if [ "$out" == "ok: ProgramData, Open restricted, Beta created" ]; then pass "folder everyone could change: $out"; else fail "folder everyone could change: '$out'"; fi
check_protected "restricted folder" 'C:\ProgramData\Open'
staging=$(run_probe staging 'C:\ProgramData\Alpha' || true)
if [[ "$staging" == 'C:\ProgramData\Alpha\.installing-'* ]]; then
    check_protected "new staging folder" "$staging"
else
    fail "staging folder: '$staging'"
fi
private=$(run_probe private 'C:\ProgramData' || true)
sddl=$(run_probe acl "$private")
if [[ "$private" == 'C:\ProgramData\.installer-'* ]] && [[ "$sddl" == *"D:"* ]] && ! grep -qE ';(WD|BU|AU|BA)\)' <<<"$sddl"; then
    pass "private folder open to its user and the system only: $sddl"
else
    fail "private folder '$private': $sddl"
fi

# The engine's state folder: made for the administrators and the system alone; one that others can change
# is refused as it is. (Wine runs everything as one user, so a folder of another owner cannot be shown.)
state_folder='C:\Program Files\Common Files\Instrument Installer'
out=$(run_probe state "$state_folder" || true)
if [[ "$out" == ok* ]]; then pass "state folder opened: $out"; else fail "state folder: '$out'"; fi
check_protected "state folder" "$state_folder"
sddl=$(run_probe acl "$state_folder")
if grep -qE ';(WD|BU|AU)\)' <<<"$sddl"; then fail "state folder open to users: $sddl"; else pass "state folder closed to users: $sddl"; fi
run_probe open-to-users "$state_folder" >/dev/null
out=$(run_probe state "$state_folder" || true)
if [[ "$out" == "refused: $state_folder can be changed by users other than the administrators: it is left as it is" ]]; then
    pass "state folder that others can change: $out"
else
    fail "state folder that others can change: '$out'"
fi
if only_administrators_change "$(run_probe acl "$state_folder")" 2>/dev/null; then
    fail "the refused state folder was changed: $(run_probe acl "$state_folder")"
fi
rm -rf "$drive_c/Program Files/Common Files/Instrument Installer"

# --- 6. single instance
echo "== Single instance"
new_dist
start_installer "$work/dist"
if wait_for_window "$instrument Installer"; then
    first_pid=$app_pid
    (cd "$work/dist" && exec wine "$instrument Installer.exe") >"$work/second.log" 2>&1 &
    app_pid=$!
    if wait_for_exit 20; then pass "a second copy ended at once with code 0"; else fail "second copy: exit $?"; fi
    windows=$(xdotool search --onlyvisible --name "Installer\$" 2>/dev/null | wc -l)
    if [ "$windows" -eq 1 ]; then pass "one window"; else fail "$windows windows"; fi
    app_pid=$first_pid
    click_cancel
    wait_for_exit 10 || fail "the first copy did not end after Cancel"
else
    fail "no window for the first copy"
    wait_for_exit 1 || true
fi
# The framework's own lock, which any user could hold, must not matter any more.
wine "$probe" hold-mutex 'Global\juceAppLock_Installer' 60 >"$work/mutex.log" 2>&1 &
holder=$!
for _ in $(seq 100); do grep -q holding "$work/mutex.log" && break; sleep 0.1; done
start_installer "$work/dist"
if wait_for_window "$instrument Installer"; then
    pass "started while the framework's global lock is held by another process"
    click_cancel
    wait_for_exit 10 || fail "did not end after Cancel"
else
    fail "did not start while the framework's global lock was held"
    wait_for_exit 1 || true
fi
kill "$holder" 2>/dev/null || true

if [ "$failures" -gt 0 ]; then
    echo "$failures Wine containment check(s) failed"
    exit 1
fi
echo "All Wine containment checks passed"
