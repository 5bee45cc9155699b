#!/usr/bin/env bash
# Installs what building, running and testing need, from Debian's packages.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-svg-dev qt6-qpa-plugins libgl-dev
    libsqlcipher-dev sqlcipher libsqlite3-dev
    libopencc-dev libopencc-data libbz2-dev unicode-data
    mdbtools-dev libmdb3
    fonts-arphic-gbsn00lp fonts-arphic-uming fonts-noto-cjk
    xvfb xauth xdotool x11-utils openbox
    desktop-file-utils
    cups cups-client cups-bsd poppler-utils
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
