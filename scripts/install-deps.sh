#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need; skips apt when all are there.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config ccache python3
    juce-modules-source
    libx11-dev libxrandr-dev libxinerama-dev libxcursor-dev libxext-dev libxcomposite-dev
    libfreetype-dev libfontconfig-dev libpng-dev libjpeg-dev zlib1g-dev libdeflate-dev
    # tests and benchmarks
    libgtest-dev libbenchmark-dev zip unzip strace
    # the deployment recipes' test (deploy/ansible)
    ansible
    # running the wizard without a desktop, and driving it
    xvfb xauth x11-utils x11-xserver-utils xdotool imagemagick xclip
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
