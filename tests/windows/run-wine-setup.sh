#!/usr/bin/env bash
# The console installer under Wine, without a display, as a deployment script runs it: its direct imports,
# the licence refused, an installation checked byte for byte, list, the Installed apps entry read back
# with `wine reg query`, and the entry's QuietUninstallString run to its end, which must leave no file of
# the installation (nor the uninstaller's copy in the temporary folder) and no entry; then a record and a
# program planted where an installation would be, which no start registers.
#   tests/windows/run-wine-setup.sh [instrument-setup.exe] [monolith.rom]
# Needs the Linux build's monolith-tool (build/tools/monolith-tool) to read the monolith's names and archive.
set -euo pipefail
cd "$(dirname "$0")/../.."

exe=$(realpath "${1:-build-win/setup/instrument-setup.exe}")
rom=$(realpath "${2:-build/demo/Glass Piano.rom}")
tool=$(realpath "${MONOLITH_TOOL:-build/tools/monolith-tool}")
version=$(sed -n 's/^project([A-Za-z]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

source tests/windows/wine-session.sh
begin_wine_session setup
unset DISPLAY WAYLAND_DISPLAY

# --- what the monolith holds, read with the Linux tool
read_instrument_names
unpack_expected_vst3
echo "Monolith: $instrument by $company"

wineboot -i >"$work/wineboot.log" 2>&1
wineserver -w

data_root="$WINEPREFIX/drive_c/ProgramData"
vst3_root="$WINEPREFIX/drive_c/Program Files/Common Files/VST3"
temp_dir="$WINEPREFIX/drive_c/users/$(id -un)/Temp"
key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$company: $instrument"
dist=$work/dist
mkdir -p "$dist"
cp "$exe" "$dist/instrument-setup.exe"
cp "$rom" "$dist/$instrument.rom"

# Runs the console program from the folder of the monolith, standard output and error apart.
status=0
setup() {
    status=0
    (cd "$dist" && wine instrument-setup.exe "$@") >"$work/out" 2>"$work/err" </dev/null || status=$?
    # Wine ends each line with CR LF
    sed -i 's/\r$//' "$work/out" "$work/err"
}
registry_value() {   # name: its data as reg query prints it, or nothing
    wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}

# --- 1. the program itself
echo "== The program"
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
expect_equal "imported directly (everything else is delay-loaded)" "$imports" "kernel32.dll msvcrt.dll "
subsystem=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^Subsystem[[:space:]]*[0-9a-f]*[[:space:]]*//p')
expect_equal "subsystem" "$subsystem" "(Windows CUI)"
setup --version
expect_equal "--version" "$(cat "$work/out")" "instrument-setup $version"
setup --help
expect_equal "--help status" "$status" 0
grep -q "^usage: instrument-setup install" "$work/out" && pass "--help on standard output" || fail "--help: $(head -2 "$work/out")"

# --- 2. the licence
echo "== Licence not accepted"
setup install "$instrument.rom"
expect_equal "status without --accept-licence" "$status" 8
[ ! -e "$data_root/$company" ] && [ ! -e "$vst3_root/$company" ] && pass "nothing installed" || fail "files installed without the licence"
[ -z "$(registry_value DisplayName)" ] && pass "no Installed apps entry" || fail "an Installed apps entry without the licence"

# --- 3. the installation
echo "== Installation"
setup install "$instrument.rom" --accept-licence --log 'C:\setup-report.txt'
expect_equal "status" "$status" 0
expect_equal "results" "$(cat "$work/out")" "$instrument by $company installed
monolith: C:\\ProgramData\\$company\\$instrument\\$instrument.rom
plug-in: C:\\Program Files\\Common Files\\VST3\\$company"
[ ! -s "$work/err" ] && pass "nothing on standard error" || fail "standard error: $(cat "$work/err")"
cmp -s "$rom" "$data_root/$company/$instrument/$instrument.rom" && pass "monolith installed byte for byte" \
    || fail "installed monolith missing or different"
if diff -r "$work/expected-vst3" "$vst3_root/$company" >"$work/vst3.diff" 2>&1; then
    pass "VST3 folder holds the archive's files"
else
    fail "VST3 folder differs from the archive: $(head -3 "$work/vst3.diff")"
fi
grep -q "Install job finished" "$WINEPREFIX/drive_c/setup-report.txt" && pass "--log wrote the report" || fail "no report"

data_folder="$data_root/$company/$instrument"
windows_data_folder="C:\\ProgramData\\$company\\$instrument"
[ -f "$data_folder/uninstall.exe" ] && pass "the uninstaller is beside the monolith" || fail "no uninstall.exe in the data folder"
grep -q "^file	data	uninstall.exe	" "$data_folder/install-record.txt" && pass "the record lists the uninstaller" \
    || fail "the record does not list the uninstaller"

# --- 4. Installed apps, read back from the registry
echo "== Installed apps"
expect_equal "DisplayName" "$(registry_value DisplayName)" "$instrument"
expect_equal "Publisher" "$(registry_value Publisher)" "$company"
expect_equal "DisplayVersion" "$(registry_value DisplayVersion)" "$version"
expect_equal "InstallLocation" "$(registry_value InstallLocation)" "$windows_data_folder"
size_kib=$(( ($(find "$data_folder" "$vst3_root/$company" -type f ! -name install-record.txt -printf '%s+') 0 + 1023) / 1024 ))
expect_equal "EstimatedSize (KiB)" "$(( $(registry_value EstimatedSize) ))" "$size_kib"
expect_equal "UninstallString" "$(registry_value UninstallString)" "\"$windows_data_folder\\uninstall.exe\""
quiet=$(registry_value QuietUninstallString)
expect_equal "QuietUninstallString" "$quiet" "\"$windows_data_folder\\uninstall.exe\" --quiet"

wrestool -x --raw -t 10 -n INSTRUMENT_UNINSTALLER "$exe" | cmp -s - "$data_folder/uninstall.exe" \
    && pass "the installed uninstaller is the one the program carries, signature and all" \
    || fail "the installed uninstaller differs from the program's resource"

# --- 4b. the same installation again, and its status, as deployment tools run them
echo "== Again and status"
setup install "$instrument.rom" --accept-licence
expect_equal "again: status" "$status" 0
expect_equal "again: nothing to do" "$(cat "$work/out")" \
    "$instrument by $company $version is already installed, every file as recorded: nothing to do (--force installs it again)"
setup status "$company" "$instrument"
expect_equal "status: intact" "$status" 0
expect_equal "status: version and files" "$(sed -n 's/^version: //p; s/^files: //p' "$work/out" | tr '\n' ' ')" "$version intact "
expect_equal "the entry's version is the status's" "$(registry_value DisplayVersion)" "$version"
# An upgrade rolled back after a kill leaves the entry it wrote before its commit: the next start makes it
# follow the record again.
wine reg add "$key" /v DisplayVersion /t REG_SZ /d 9.9.9 /f >/dev/null 2>&1
setup status "$company" "$instrument"
expect_equal "an entry naming another version follows the record at the next start" "$(registry_value DisplayVersion)" "$version"

# --- 5. list and the console's uninstall
echo "== List and uninstall"
setup list
expect_equal "list status" "$status" 0
expect_equal "list: company, instrument, version" "$(cut -f1-3 "$work/out")" "$company	$instrument	$version"
setup uninstall "$company" "$instrument"
expect_equal "uninstall status" "$status" 0
expect_equal "uninstall result" "$(cat "$work/out")" "$instrument by $company uninstalled"
[ ! -e "$data_root/$company" ] && [ ! -e "$vst3_root/$company" ] && pass "no files left" \
    || fail "left: $(find "$data_root/$company" "$vst3_root/$company" 2>/dev/null | head -5)"
[ -z "$(registry_value DisplayName)" ] && pass "no Installed apps entry" || fail "the entry is still there"
setup uninstall "$company" "$instrument"
expect_equal "uninstalling again" "$status" 7

# --- 6. the QuietUninstallString, run to its end
echo "== QuietUninstallString"
setup install "$instrument.rom" --accept-licence
expect_equal "installed again" "$status" 0
program=$(sed 's/^"\([^"]*\)".*/\1/' <<<"$quiet")
options=$(sed 's/^"[^"]*" *//' <<<"$quiet")
# shellcheck disable=SC2086  # the options after the quoted program, as Windows splits them
wine "$program" $options --log 'C:\uninstall-report.txt' </dev/null >"$work/quiet-out" 2>&1 && quiet_status=0 || quiet_status=$?
wineserver -w   # the uninstaller's copy in the temporary folder finishes the removal after it has ended
expect_equal "the quiet uninstaller's status" "$quiet_status" 0
[ ! -e "$data_root/$company" ] && [ ! -e "$vst3_root/$company" ] && pass "no files left, the uninstaller neither" \
    || fail "left: $(find "$data_root/$company" "$vst3_root/$company" 2>/dev/null | head -5)"
[ -z "$(find "$temp_dir" -maxdepth 1 -name 'uninstall-*.exe' 2>/dev/null)" ] && pass "no copy left in the temporary folder" \
    || fail "the uninstaller's copy is left in $temp_dir"
[ -z "$(registry_value DisplayName)" ] && pass "no Installed apps entry" || fail "the entry is still there"
grep -q "Uninstall job finished" "$WINEPREFIX/drive_c/uninstall-report.txt" && pass "--log wrote the uninstaller's report" \
    || fail "no uninstaller's report"

# --- 7. a journal this installer did not write, naming folders of another product
echo "== Forged journal"
journal_folder="$WINEPREFIX/drive_c/Program Files/Common Files/Instrument Installer"
other_data="$data_root/Other Maker/Other Product"
other_common="$WINEPREFIX/drive_c/Program Files/Common Files/Other Maker"
mkdir -p "$journal_folder" "$other_data" "$other_common"
echo "theirs" >"$other_data/notes.txt"
echo "theirs" >"$other_common/notes.txt"
journal="$journal_folder/journal-0123456789abcdef0123456789abcdef"
python3 - "$company" "$instrument" >"$journal" <<'PY'
import json, sys, zlib
company, instrument = sys.argv[1:3]
records = [
    {"record": "begin", "version": 2, "text": instrument, "company": company, "instrument": instrument},
    {"record": "move", "to": {"root": "data", "path": [company, instrument], "name": instrument + ".rom"},
     "aside": {"root": "data", "path": ["Other Maker"], "name": "Other Product"}},
    {"record": "move", "to": {"root": "vst3", "path": [company], "name": instrument + ".vst3"},
     "aside": {"root": "staging", "path": [], "name": "Other Maker"}},
    {"record": "commit"},
]
for r in records:
    text = json.dumps(r)
    print("%08x %s" % (zlib.crc32(text.encode()), text))
PY
forged=$(cat "$journal")
setup list
expect_equal "list status beside a forged journal" "$status" 0
setup uninstall "Other Maker" "Other Product" --log 'C:\forged-report.txt'
expect_equal "an uninstall of nothing installed, beside a forged journal" "$status" 7
grep -q "Left the journal .*journal-0123456789abcdef0123456789abcdef as it is" "$WINEPREFIX/drive_c/forged-report.txt" \
    && pass "the log names the journal" || fail "no log line for the forged journal"
[ -e "$other_data/notes.txt" ] && [ -e "$other_common/notes.txt" ] && pass "the other product's folders are still there" \
    || fail "a folder of another product went"
[ "$(cat "$journal" 2>/dev/null)" = "$forged" ] && pass "the journal is left as it is" || fail "the journal changed or went"

# --- 8. a record and a program planted where an installation would be: no start registers them
echo "== Planted record"
planted="$data_root/$company/$instrument"
mkdir -p "$planted"
printf 'instrument-install-record 1\ncompany\t%s\ninstrument\t%s\ninstaller\t%s\ndate\t2026-01-01T00:00:00.000Z\nfile\tdata\tuninstall.exe\t1\t00000000\n' \
    "$company" "$instrument" "$version" >"$planted/install-record.txt"
cp "$exe" "$planted/uninstall.exe"
setup list
! wine reg query "$key" >/dev/null 2>&1 && pass "no Installed apps entry for a planted record" \
    || fail "a planted record was registered: $(wine reg query "$key" 2>/dev/null | tr -d '\r' | head -5)"
rm -rf "${data_root:?}/$company"

echo
if [ "$failures" -gt 0 ]; then
    echo "$failures Wine console check(s) failed"
    exit 1
fi
echo "All Wine console checks passed"
