#!/usr/bin/env bash
# Installs from Debian's packages what building and running the program need,
# and with --tests also what the tests alone need.
#
# usage: scripts/setup.sh [--tests]
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-svg-dev qt6-qpa-plugins libgl-dev
    libsqlcipher-dev libpq-dev
    libopencc-dev libopencc-data libbz2-dev unicode-data
    mdbtools-dev libmdb3
    fonts-arphic-gbsn00lp fonts-arphic-uming fonts-noto-cjk
)
# The benchmark's anchors (system SQLite), the private PostgreSQL server of
# the server tests and benchmark, the end-to-end test (X server,
# window manager, the accessibility bus and a client of it, the sqlcipher
# shell), the install test and the print test (a private CUPS).
test_packages=(
    libsqlite3-dev sqlcipher
    postgresql-15
    xvfb xauth xdotool x11-utils openbox
    dbus-daemon at-spi2-core python3-pyatspi
    desktop-file-utils
    cups cups-client cups-bsd poppler-utils
)

case "${1:-}" in
"") ;;
--tests) packages+=("${test_packages[@]}") ;;
*)
    echo "usage: $0 [--tests]" >&2
    exit 2
    ;;
esac

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
