#!/usr/bin/env bash
# Installs the program for the current user, without root: the program folder
# (the program, drugdb and drug.mdb) in ${XDG_DATA_HOME:-~/.local/share}/zelkano,
# a menu entry, the icon and the launcher ~/.local/bin/zelkano. drug.mdb is
# made from the sample only where none is there: your edits live in it.
#
# usage: scripts/install.sh            install, or update an install
#        scripts/install.sh --remove   remove all but your drug.mdb
set -euo pipefail
cd "$(dirname "$0")/.."

data="${XDG_DATA_HOME:-$HOME/.local/share}"
bin="$HOME/.local/bin"
app="$data/zelkano"

# Menus and icon lookups notice the change.
refresh() {
    if command -v update-desktop-database >/dev/null; then
        update-desktop-database -q "$data/applications" 2>/dev/null || true
    fi
    [ -d "$data/icons/hicolor" ] && touch "$data/icons/hicolor"
    return 0
}

case "${1:-}" in
"") ;;
--remove)
    # Only our own link, never another program of the same name.
    if [ -L "$bin/zelkano" ] && [ "$(readlink -m "$bin/zelkano")" = "$(readlink -m "$app/zelkano")" ]; then
        rm -f "$bin/zelkano"
    fi
    rm -f "$data/applications/zelkano.desktop" "$data"/icons/hicolor/*/apps/zelkano.png \
          "$data/icons/hicolor/scalable/apps/zelkano.svg" "$app/zelkano" "$app/drugdb"
    refresh
    if [ -e "$app/drug.mdb" ]; then
        echo "Removed. Your database is kept: $app/drug.mdb (delete the folder to remove it too)."
    else
        rmdir "$app" 2>/dev/null || true
        echo "Removed."
    fi
    exit 0
    ;;
*)
    echo "usage: $0 [--remove]" >&2
    exit 2
    ;;
esac

bash scripts/setup.sh
# The release build in a folder of its own, which knows where it installs.
cmake --preset release -B build-install -DCMAKE_INSTALL_PREFIX="$data" -DZELKANO_INSTALL_BINDIR="$bin"
cmake --build build-install -j"$(nproc)"
cmake --install build-install --prefix "$data"
refresh

echo "Installed in $app; start it from the menu or with: zelkano"
case ":$PATH:" in
*":$bin:"*) ;;
*) echo "Note: $bin is not on your PATH yet; it is after your next login, or run $bin/zelkano." ;;
esac
