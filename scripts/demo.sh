#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the bundled demo instrument:
# lists the chunks of the demo monolith that the build packed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh build

build/tools/monolith-tool list "build/demo/Glass Piano.rom"

# The installer itself, beside the demo monolith, as a buyer would get them: "Glass Piano Installer"
# next to "Glass Piano.rom". It installs for the current user: ~/.local/share/<company>/Glass Piano
# and ~/.vst3/<company>.
demo_dir=out/demo
rm -rf "$demo_dir"
mkdir -p "$demo_dir"
cp "build/demo/Glass Piano.rom" "$demo_dir/"
cp build/Installer_artefacts/Release/Installer "$demo_dir/Glass Piano Installer"

if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
    echo "Starting $demo_dir/Glass Piano Installer: click through it."
    exec "$demo_dir/Glass Piano Installer"
fi

# No desktop: run it under Xvfb, click through every page and keep a screenshot of each.
exec xvfb-run -a -s "-screen 0 1024x768x24" scripts/demo-click-through.sh "$demo_dir" out/screenshots
