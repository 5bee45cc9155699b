#!/usr/bin/env bash
# Installs the build into a scratch home as scripts/install.sh does: the menu
# entry passes desktop-file-validate and starts the installed program, the
# icon is there in every size, the launcher on the PATH is the program, and a
# second install keeps the user's drug.mdb. The package holds the program
# folder alone.
#
# usage: run_install.sh BUILD_DIR
set -u

build=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is not installed"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home 用户"
unset XDG_DATA_HOME
data="$HOME/.local/share"
app="$data/zelkano"

cmake --install "$build" --prefix "$data" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "the install failed"; }

entry="$data/applications/zelkano.desktop"
[ -f "$entry" ] || fail "no menu entry at $entry"
desktop-file-validate "$entry" >"$work/validate.log" 2>&1 || { cat "$work/validate.log" >&2; fail "desktop-file-validate rejects the entry"; }
# Hints may stay (Education and Science are both main categories); warnings may not.
grep -q ': warning:' "$work/validate.log" && { cat "$work/validate.log" >&2; fail "desktop-file-validate warns"; }
grep -qx 'Name\[zh_CN\]=Zelkano中草药查询大全' "$entry" || fail "no Chinese name in the entry"
grep -qx 'Categories=Education;Science;MedicalSoftware;' "$entry" || fail "wrong categories in the entry"
# The Exec key names the installed program, quoted (the home has a blank).
exec_line=$(sed -n 's/^Exec=//p' "$entry")
[ "$exec_line" = "\"$app/zelkano\"" ] || fail "Exec is '$exec_line', expected the quoted path of $app/zelkano"
[ -x "$app/zelkano" ] && [ -x "$app/drugdb" ] || fail "the program folder lacks the program or drugdb"
[ -s "$app/drug.mdb" ] || fail "no drug.mdb in the program folder"
echo "ok: menu entry valid, program folder complete"

# A PNG's width and height are the big-endian words at bytes 16 and 20.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}'; }
for size in 16 22 24 32 48 64 128 256; do
    png="$data/icons/hicolor/${size}x${size}/apps/zelkano.png"
    [ -f "$png" ] || fail "no $png"
    [ "$(png_size "$png")" = "${size}x${size}" ] || fail "$png is $(png_size "$png")"
done
[ -f "$data/icons/hicolor/scalable/apps/zelkano.svg" ] || fail "no scalable icon"
echo "ok: icon in every size"

launcher="$HOME/.local/bin/zelkano"
[ -L "$launcher" ] || fail "no launcher at $launcher"
[ "$(readlink -f "$launcher")" = "$(readlink -f "$app/zelkano")" ] || fail "the launcher does not lead to the program"
echo "ok: launcher $launcher"

# The user's database survives a second install.
printf 'the user database' >"$app/drug.mdb"
cmake --install "$build" --prefix "$data" >"$work/install2.log" 2>&1 || { cat "$work/install2.log" >&2; fail "the second install failed"; }
[ "$(cat "$app/drug.mdb")" = 'the user database' ] || fail "the second install replaced drug.mdb"
echo "ok: a second install kept drug.mdb"

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1) \
    || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
archive=$(ls "$work"/package/*.tar.gz 2>/dev/null | head -n1)
[ -n "$archive" ] || fail "cpack made no .tar.gz"
contents=$(tar -tzf "$archive" | grep -v '/$' | sort | tr '\n' ' ')
[ "$contents" = "zelkano/drug.mdb zelkano/drugdb zelkano/zelkano " ] || fail "the package holds: $contents"
echo "ok: $(basename "$archive") holds the program folder"
