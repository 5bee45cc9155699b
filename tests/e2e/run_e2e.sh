#!/usr/bin/env bash
# The real program on a private X server with a window manager: beside a
# sample database its window shows exactly the caption, its outer frame is
# centred on the screen, a screen reader learns the entry page's category
# drop-down's label and the category it shows (over AT-SPI), initials typed
# into the name box drop down a list a screen reader reads, from which Down
# and Enter show the first drug, it shrinks
# below its controls' extent, and Alt+E ends it with status 0; beside no database it shows only the message box,
# never the main window, and ends with a non-zero status. Beside an Access
# drug.mdb it converts it once, keeping the old file as a backup; where the
# old file cannot be renamed it leaves the folder as it was.
#
# usage: run_e2e.sh ZELKANO DRUGDB SAMPLEDATA_DIR [ACCESS_FIXTURES_DIR]
set -u

exe=$1
drugdb=$2
sample=$3
jet=${4:-}
caption='Zelkano中草药查询大全 Ver5.1105'

# shellcheck source=session.sh
. "$(dirname "$0")/session.sh"

# The client area as "x y width height", from xwininfo.
client_of() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
                            /^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF} END {print x, y, w, h}'
}
# The outer frame as "x y width height": the client area and the frame
# extents the window manager announces.
frame_of() {
    local ext
    ext=$(xprop -id "$1" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/^_NET_FRAME_EXTENTS(CARDINAL) = //p' | tr -d ,)
    [ -n "$ext" ] || return 1
    read -r l r t b <<<"$ext"
    read -r x y w h <<<"$(client_of "$1")"
    echo $((x - l)) $((y - t)) $((w + l + r)) $((h + t + b))
}

# --- beside a sample database, in a folder with a blank and Chinese in its name ---
app_dir="$work/草药 app"
mkdir -p "$app_dir"
cp "$exe" "$app_dir/zelkano"
"$drugdb" build --data "$sample" --out "$app_dir/drug.mdb" >/dev/null || fail "drugdb could not build the sample database"

# Qt speaks to the accessibility bus although no screen reader said it runs.
(cd / && QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 exec "$app_dir/zelkano") >"$work/app.log" 2>&1 &
app_pid=$!
wid=
for _ in $(seq 300); do
    kill -0 "$app_pid" 2>/dev/null || { cat "$work/app.log" >&2; fail "the program ended before showing its window"; }
    wid=$(windows_of "$app_pid" | head -n1)
    [ -n "$wid" ] && break
    sleep 0.1
done
[ -n "$wid" ] || fail "no window appeared"
shown=$(windows_of "$app_pid" | wc -l)
[ "$shown" -eq 1 ] || fail "$shown windows shown at start-up, expected only the main window (a message box?)"
title=$(title_of "$wid")
[ "$title" = "$caption" ] || fail "window title is '$title', expected '$caption'"
echo "ok: main window $wid titled '$title'"

# The frame is known only once the window manager has framed the window;
# the program then centres it again.
read -r sw sh <<<"$(xwininfo -root | awk '/^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF} END {print w, h}')"
centred=
for _ in $(seq 50); do
    if frame=$(frame_of "$wid"); then
        read -r fx fy fw fh <<<"$frame"
        dx=$((2 * fx + fw - sw)); dy=$((2 * fy + fh - sh))
        if [ "${dx#-}" -le 2 ] && [ "${dy#-}" -le 2 ]; then centred=yes; break; fi
    fi
    sleep 0.1
done
[ -n "$centred" ] || fail "frame at '${frame:-unknown}' (x y w h) is not centred on the ${sw}x${sh} screen"
echo "ok: frame $fx,$fy ${fw}x${fh} centred on the ${sw}x${sh} screen"

xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
/usr/bin/python3 "$(dirname "$0")/atspi_category.py" 麻黄 解表药 || fail "the category drop-down, over AT-SPI"

# Initials typed into the name box drop a list down; Down and Enter choose
# its first drug, whose sheet shows at once.
names="$(dirname "$0")/atspi_name_list.py"
/usr/bin/python3 "$names" focus || fail "the name box, over AT-SPI"
xdotool type --delay 100 mh
/usr/bin/python3 "$names" list 麻黄 || fail "the list under the name box after typing 'mh'"
xdotool key Return
/usr/bin/python3 "$names" shown 麻黄 || fail "choosing 麻黄 from the list"

# No minimum size: the window manager lets it shrink below the controls.
xdotool windowsize "$wid" 160 120
for _ in $(seq 30); do
    read -r _ _ cw ch <<<"$(client_of "$wid")"
    [ "$cw" -eq 160 ] && [ "$ch" -eq 120 ] && break
    sleep 0.1
done
[ "$cw" -eq 160 ] && [ "$ch" -eq 120 ] || fail "the window is ${cw}x${ch} after shrinking it to 160x120"
echo "ok: the window shrank to ${cw}x${ch}"

type_into "$wid" alt+e
wait_exit "$app_pid"
[ "$status" = running ] && fail "Alt+E did not end the program"
app_pid=
[ "$status" -eq 0 ] || { cat "$work/app.log" >&2; fail "Alt+E ended the program with status $status"; }
echo "ok: Alt+E ended the program with status 0"

# --- beside no database ---
bare_dir="$work/bare"
mkdir -p "$bare_dir"
cp "$exe" "$bare_dir/zelkano"
(cd / && exec "$bare_dir/zelkano") >"$work/bare.log" 2>&1 &
app_pid=$!
box=
for _ in $(seq 300); do
    kill -0 "$app_pid" 2>/dev/null || break
    for w in $(windows_of "$app_pid"); do
        t=$(title_of "$w")
        [ "$t" = "$caption" ] && fail "the main window was shown without a database"
        [ "$t" = "提示：" ] && box=$w
    done
    [ -n "$box" ] && break
    sleep 0.1
done
[ -n "$box" ] || { cat "$work/bare.log" >&2; fail "no missing-database message appeared"; }
shown=$(windows_of "$app_pid" | wc -l)
[ "$shown" -eq 1 ] || fail "$shown windows shown beside the message, expected only the message"
echo "ok: only the message box '提示：' is shown"

type_into "$box" Return
wait_exit "$app_pid"
[ "$status" = running ] && fail "the program did not end after the missing-database message"
app_pid=
[ "$status" -ne 0 ] || fail "the program ended with status 0 without a database"
echo "ok: without a database the program ended with status $status"

# --- beside an Access drug.mdb ---
if [ -z "$jet" ] || [ ! -f "$jet/drug_jet4_pw.mdb" ]; then
    echo "skipped: the Access fixtures are not at '${jet}'; the conversion at start-up was not run"
    exit 0
fi

# The titles of the program's mapped windows, one a line.
titles_of() { for w in $(windows_of "$1"); do title_of "$w"; done; }
# Waits until the program shows a window titled $2 and sets wid to it.
wait_window() {
    local pid=$1 want=$2 log=$3
    wid=
    for _ in $(seq 600); do
        kill -0 "$pid" 2>/dev/null || { cat "$log" >&2; fail "the program ended while waiting for '$want'"; }
        for w in $(windows_of "$pid"); do
            [ "$(title_of "$w")" = "$want" ] && wid=$w
        done
        [ -n "$wid" ] && return
        sleep 0.1
    done
    cat "$log" >&2
    fail "no window '$want' appeared"
}
# Runs the program in $1 as the user given in $2 (empty: as we are).
start_in() {
    local dir=$1 as=$2
    if [ -n "$as" ]; then
        (cd / && exec setpriv --reuid="$as" --regid="$as" --clear-groups "$dir/zelkano") >"$work/app.log" 2>&1 &
    else
        (cd / && exec "$dir/zelkano") >"$work/app.log" 2>&1 &
    fi
    app_pid=$!
}
end_with_alt_e() {
    type_into "$1" alt+e
    wait_exit "$app_pid"
    [ "$status" = running ] && fail "Alt+E did not end the program"
    app_pid=
    [ "$status" -eq 0 ] || { cat "$work/app.log" >&2; fail "Alt+E ended the program with status $status"; }
}

fixture="$jet/drug_jet4_pw.mdb"
access_dir="$work/旧版 app"
mkdir -p "$access_dir"
cp "$exe" "$access_dir/zelkano"
cp "$drugdb" "$access_dir/drugdb"
cp "$fixture" "$access_dir/drug.mdb"

start_in "$access_dir" ""
wait_window "$app_pid" "提示：" "$work/app.log"
[ -z "$(titles_of "$app_pid" | grep -Fx "$caption")" ] || fail "the main window was shown before the conversion message"
shown=$(windows_of "$app_pid" | wc -l)
[ "$shown" -eq 1 ] || fail "$shown windows shown with the conversion message, expected 1"
echo "ok: the conversion message '提示：' is shown alone"
type_into "$wid" Return
wait_window "$app_pid" "$caption" "$work/app.log"
sleep 0.5
shown=$(windows_of "$app_pid" | wc -l)
[ "$shown" -eq 1 ] || fail "$shown windows shown after the conversion message, expected only the main window"
echo "ok: then the main window, and no further message"
end_with_alt_e "$wid"

cmp -s "$fixture" "$access_dir/drug.mdb.access-backup" || fail "the backup differs from the Access file"
listing=$(cd "$access_dir" && ls -A | sort | tr '\n' ' ')
[ "$listing" = "drug.mdb drug.mdb.access-backup drugdb zelkano " ] || fail "files after the conversion: $listing"
drugs=$(printf "PRAGMA key='52047316';\nSELECT group_concat(c, ',') FROM (SELECT MC || ':' || (SELECT count(*) FROM DRUG_ZB WHERE LB = BM) AS c FROM DRUG_LB ORDER BY BM);\n" \
    | sqlcipher "$access_dir/drug.mdb" 2>&1 | tail -n1)
[ "$drugs" = "解表药:2,清热药:2,补虚药:3" ] || fail "the converted file holds '$drugs'"
echo "ok: the backup equals the Access file byte for byte; the new drug.mdb holds $drugs"

start_in "$access_dir" ""
wait_window "$app_pid" "$caption" "$work/app.log"
sleep 1
others=$(titles_of "$app_pid" | grep -Fxv "$caption")
[ -z "$others" ] || fail "the second start showed '$others'"
echo "ok: the second start opens the converted file without a message"
end_with_alt_e "$wid"

# --- where the Access file cannot be renamed ---
# As root, permissions stop nothing but the sticky bit's rule does: another
# user may add files to the folder but not rename ours. Otherwise a folder
# we cannot write to stops the conversion before it writes anything.
locked_dir="$work/locked"
mkdir -p "$locked_dir"
cp "$exe" "$locked_dir/zelkano"
cp "$drugdb" "$locked_dir/drugdb"
cp "$fixture" "$locked_dir/drug.mdb"
user=
if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null || fail "setpriv is not installed"
    user=65534
    chmod 755 "$work"
    chmod 1777 "$locked_dir"
else
    chmod 555 "$locked_dir"
fi
start_in "$locked_dir" "$user"
wait_window "$app_pid" "提示：" "$work/app.log"
[ -z "$(titles_of "$app_pid" | grep -Fx "$caption")" ] || fail "the main window was shown before the failure message"
type_into "$wid" Return
# The second attempt to connect, on demand, fails too and is reported.
wait_window "$app_pid" "Zelkano中草药查询大全" "$work/app.log"
type_into "$wid" Return
wait_window "$app_pid" "$caption" "$work/app.log"
echo "ok: failure message, error report, then the main window"
end_with_alt_e "$wid"
chmod 755 "$locked_dir"
cmp -s "$fixture" "$locked_dir/drug.mdb" || fail "the Access file changed although the conversion failed"
listing=$(cd "$locked_dir" && ls -A | sort | tr '\n' ' ')
[ "$listing" = "drug.mdb drugdb zelkano " ] || fail "files left after the failed conversion: $listing"
echo "ok: the Access file is unchanged and nothing else is left"
