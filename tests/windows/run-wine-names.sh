#!/usr/bin/env bash
# The Wine end-to-end run (run-wine-e2e.sh) for an instrument and a maker whose names hold accents,
# Greek and Japanese letters and an emoji (a character beyond the basic multilingual plane, two UTF-16
# units): the monolith repacked under those names, then driven, installed and checked byte for byte as
# the plain one, its installer named after it.
#   tests/windows/run-wine-names.sh [Installer.exe] [monolith.rom] [screenshot folder]
set -euo pipefail
cd "$(dirname "$0")/../.."

exe=$(realpath "${1:-build-win/Installer_artefacts/Release/Installer.exe}")
rom=$(realpath "${2:-build/demo/Glass Piano.rom}")
shots=$(realpath -m "${3:-out/windows-names-screenshots}")
tool=$(realpath "${MONOLITH_TOOL:-build/tools/monolith-tool}")

work=$(mktemp -d /tmp/installer-wine-names.XXXXXX)
trap 'rm -rf "$work"' EXIT

"$tool" state "$rom" >"$work/state.xml"
python3 - "$work/state.xml" <<'PY'
import sys, xml.etree.ElementTree as T
tree = T.parse(sys.argv[1])
instrument = tree.getroot().find("INSTRUMENT")
instrument.set("instrumentName", "Fl\u00fbte \u0391\u03bb\u03c6\u03b1 \U0001f3b9")
instrument.set("companyName", "\u697d\u5668 S\u00f8ren")
tree.write(sys.argv[1], encoding="UTF-8", xml_declaration=True)
PY
"$tool" extract "$rom" SCREENSHOT "$work/screenshot.png" >/dev/null
"$tool" extract "$rom" PLUGIN_BINARY_VST3_WIN64 "$work/vst3.zip" >/dev/null
"$tool" pack "$work/names.rom" --state "$work/state.xml" --screenshot "$work/screenshot.png" \
    --vst3 "$work/vst3.zip" >/dev/null

MONOLITH_TOOL="$tool" tests/windows/run-wine-e2e.sh "$exe" "$work/names.rom" "$shots"
