#!/usr/bin/env bash
# Renders the pictures of docs/ from their sources (Graphviz): docs/architecture.dot -> docs/architecture.png.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh graphviz

dot -Tpng -Gdpi=96 docs/architecture.dot -o docs/architecture.png
echo "docs/architecture.png"
