#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the bundled demo instrument:
# lists the chunks of the demo monolith that the build packed.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh build

build/tools/monolith-tool list "build/demo/Glass Piano.rom"
