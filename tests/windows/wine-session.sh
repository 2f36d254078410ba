# What the Wine test scripts share, sourced by them after they set `rom` and `tool` (the Linux build's
# monolith-tool): a fresh 64-bit Wine prefix in a scratch folder that is removed at the end with
# everything started in it, the tally of checks, the monolith's names and a private X display.

xvfb_pid=
app_pid=
failures=0

pass() { echo "ok   $*"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
check() { local what=$1; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }
expect_equal() { if [ "$2" == "$3" ]; then pass "$1: $2"; else fail "$1: '$2' (expected '$3')"; fi; }

# Makes $work (/tmp/installer-wine-NAME.*) with the prefix in it; ends the session when the script exits.
begin_wine_session()
{
    work=$(mktemp -d "/tmp/installer-wine-$1.XXXXXX")
    export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
    # no Mono/Gecko install prompts, no menu entries in the real desktop
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    trap end_wine_session EXIT
}

end_wine_session()
{
    [ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}

# $instrument and $company of the monolith, from its state tree in $work/state.xml.
read_instrument_names()
{
    "$tool" state "$rom" >"$work/state.xml"
    instrument=$(instrument_attribute instrumentName)
    company=$(instrument_attribute companyName)
    [ -n "$instrument" ] && [ -n "$company" ] || { echo "cannot read the names from $rom"; exit 1; }
}

instrument_attribute()
{
    python3 -c 'import sys, xml.etree.ElementTree as T; print(T.parse(sys.argv[1]).find("INSTRUMENT").get(sys.argv[2], ""))' \
        "$work/state.xml" "$1"
}

# The files of the monolith's VST3 archive, unpacked into $work/expected-vst3 to compare installations with.
unpack_expected_vst3()
{
    mkdir -p "$work/expected-vst3"
    "$tool" extract "$rom" PLUGIN_BINARY_VST3_WIN64 "$work/vst3.zip" >/dev/null
    unzip -q "$work/vst3.zip" -d "$work/expected-vst3"
}

# A private Xvfb of the given size (WIDTHxHEIGHT) in DISPLAY, answering before this returns. Xvfb picks a
# free display number itself and writes it once it accepts clients: scripts running side by side never
# race for one.
start_display()
{
    local ready=$work/display-number
    Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$ready" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 300); do [ -s "$ready" ] && break; sleep 0.1; done
    [ -s "$ready" ] || { echo "Xvfb did not start: $(cat "$work/xvfb.log")"; exit 1; }
    export DISPLAY=:$(cat "$ready")
}
