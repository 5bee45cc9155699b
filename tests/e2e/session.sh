# The desktop the end-to-end tests run the real program on: a private X
# server, a window manager and an accessibility bus, with a scratch folder
# $work, all ended when the test ends. Sourced by the run_e2e*.sh scripts,
# which set $app_pid (and $other_pids) to the programs they start.
fail() { echo "FAIL: $*" >&2; exit 1; }

for tool in Xvfb xprop xdotool xwininfo openbox dbus-run-session; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done
atspi_launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$atspi_launcher" ] || fail "at-spi2-core is not installed"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || fail "python3-pyatspi is not installed"

# A session bus of our own, for the accessibility bus that screen readers use.
if [ -z "${ZELKANO_E2E_BUS:-}" ]; then
    ZELKANO_E2E_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi

work=$(mktemp -d)
xvfb_pid=
wm_pid=
bus_pid=
app_pid=
other_pids=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    for pid in $other_pids; do kill "$pid" 2>/dev/null; done
    [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
    sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb gave no display"
export DISPLAY=:$(head -n1 "$work/display")
export QT_QPA_PLATFORM=xcb
export LC_ALL=C.UTF-8 LANG=C.UTF-8
# In a sanitizer build, leaks of the system libraries behind the xcb platform
# would turn the exit status non-zero; ours are still reported.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$0")/lsan.supp"
echo "X server on $DISPLAY"

# A window manager frames the windows, as on a desktop. Its settings and
# caches go to the scratch folder.
XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" HOME="$work" \
    openbox --sm-disable >"$work/wm.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    kill -0 "$wm_pid" 2>/dev/null || { cat "$work/wm.log" >&2; fail "the window manager did not start"; }
    sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' || fail "the window manager did not come up"

# The accessibility bus; its registry starts when the program first calls.
"$atspi_launcher" --launch-immediately >"$work/atspi.log" 2>&1 &
bus_pid=$!
for _ in $(seq 100); do
    xprop -root AT_SPI_BUS 2>/dev/null | grep -q unix: && break
    kill -0 "$bus_pid" 2>/dev/null || { cat "$work/atspi.log" >&2; fail "the accessibility bus did not start"; }
    sleep 0.1
done

# Mapped windows of the running program, one id a line.
windows_of() { xdotool search --onlyvisible --pid "$1" 2>/dev/null; }
title_of() { xprop -id "$1" _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p'; }

# Waits for the program to end and sets status to its exit status, or to
# "running". Not in a subshell: only the parent can collect the status.
wait_exit() {
    local pid=$1
    for _ in $(seq 200); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        status=running
    else
        wait "$pid"
        status=$?
    fi
}

# Gives the window the keyboard focus and types.
type_into() {
    local wid=$1 keys=$2
    xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
    sleep 0.3
    xdotool key --clearmodifiers "$keys"
}

