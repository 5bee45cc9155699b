#!/usr/bin/env bash
# Two real programs on one database of the private test server, each in a
# folder of its own with the zelkano.ini line a clinic writes: a save in one
# shows in the other, and a stale save in the other gets the conflict
# message and writes nothing. No drug.mdb is read or made beside either.
#
# usage: run_e2e_server.sh ZELKANO DRUGDB SAMPLEDATA_DIR
# ZELKANO_TEST_SERVER holds the private server's conninfo (ctest sets it).
set -u

exe=$1
drugdb=$2
sample=$3
caption='Zelkano中草药查询大全 Ver5.1105'
drug=麻黄

server=${ZELKANO_TEST_SERVER:-}
if [ -z "$server" ]; then
    echo "skipped: ZELKANO_TEST_SERVER is not set: run through ctest, which starts the private server"
    exit 77
fi

# shellcheck source=session.sh
. "$(dirname "$0")/session.sh"

psql_bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)/psql
[ -x "$psql_bin" ] || psql_bin=$(command -v psql) || fail "psql is not installed"
sql() { "$psql_bin" -X -q -t -A -v ON_ERROR_STOP=1 "$1" -c "$2"; }

db=ze2e_$$
sql "$server" "CREATE DATABASE $db ENCODING 'UTF8' TEMPLATE template0" || fail "could not make the test database"
drop_db() { sql "$server" "DROP DATABASE IF EXISTS $db WITH (FORCE)" >/dev/null 2>&1; }
trap 'cleanup; drop_db' EXIT
target="$server dbname=$db"
"$drugdb" build --data "$sample" --out "$target" >/dev/null 2>"$work/build.log" \
    || { cat "$work/build.log" >&2; fail "drugdb could not build the sample on the server"; }

# The two computers: a folder each, the program and its zelkano.ini.
start_program() {
    local dir="$work/$1"
    mkdir -p "$dir"
    cp "$exe" "$dir/zelkano"
    printf '[database]\nserver=%s\n' "$target" >"$dir/zelkano.ini"
    (cd / && QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 exec "$dir/zelkano") >"$work/$1.log" 2>&1 &
    started=$!
    wid=
    for _ in $(seq 300); do
        kill -0 "$started" 2>/dev/null || { cat "$work/$1.log" >&2; fail "the program in $1 ended before showing its window"; }
        for w in $(windows_of "$started"); do
            [ "$(title_of "$w")" = "$caption" ] && wid=$w
            [ "$(title_of "$w")" = "提示：" ] && { cat "$work/$1.log" >&2; fail "the program in $1 showed a message at start-up"; }
        done
        [ -n "$wid" ] && return
        sleep 0.1
    done
    fail "no window of the program in $1 appeared"
}
start_program first
app_pid=$started first_wid=$wid
start_program second
other_pids=$started second_wid=$wid
echo "ok: two programs on $db, pids $app_pid and $other_pids"

/usr/bin/python3 "$(dirname "$0")/atspi_two_programs.py" "$app_pid" "$first_wid" "$other_pids" "$second_wid" "$drug" \
    || { cat "$work/first.log" "$work/second.log" >&2; fail "two programs on one server, over AT-SPI"; }

alias=$(sql "$target" "SELECT 别名 FROM DRUG_ZB WHERE 药物名称 = '$drug'")
case "$alias" in
*（一号机存）（一号机再存）) echo "ok: the server holds the first's two saves and not the second's stale one" ;;
*) fail "the server holds the alias '$alias'" ;;
esac
for dir in first second; do
    [ ! -e "$work/$dir/drug.mdb" ] || fail "a drug.mdb was made beside the program in $dir"
done
echo "ok: no drug.mdb beside either program"
