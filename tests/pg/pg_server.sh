#!/usr/bin/env bash
# A private PostgreSQL server for the tests and the benchmark.
#
#   pg_server.sh start DIR   initdb into DIR and start a server that listens
#                            only on a Unix socket in DIR; prints its conninfo
#   pg_server.sh stop DIR    stop it and remove DIR
#
# initdb refuses to run as root, so as root the server runs as the
# unprivileged user `postgres` (or $ZELKANO_PG_USER) and owns DIR. DIR is
# 0700: no other local user reaches the socket, which trusts whoever does.
set -euo pipefail

action=${1:?start or stop}
dir=${2:?folder}
port=5432

bindir() {
    if [ -n "${PG_BINDIR:-}" ]; then echo "$PG_BINDIR"; return; fi
    local found
    found=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
    if [ -n "$found" ]; then echo "$found"; return; fi
    dirname "$(command -v pg_ctl)"
}
bin=$(bindir)
[ -x "$bin/initdb" ] || { echo "pg_server.sh: no initdb in $bin (install postgresql-15)" >&2; exit 1; }

as_owner() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u "${ZELKANO_PG_USER:-postgres}" -- "$@"
    else
        "$@"
    fi
}

stop() {
    if [ -f "$dir/data/postmaster.pid" ]; then
        as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w -t 20 stop >/dev/null 2>&1 || true
        # A server whose pg_ctl failed is ended by its own process id.
        if [ -f "$dir/data/postmaster.pid" ]; then
            pid=$(head -n 1 "$dir/data/postmaster.pid")
            [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
        fi
    fi
    rm -rf "$dir"
}

case "$action" in
stop)
    stop
    ;;
start)
    # A server left by an interrupted run is stopped first.
    stop
    mkdir -p "$dir"
    chmod 0700 "$dir"
    role=$(id -un)
    if [ "$(id -u)" -eq 0 ]; then
        role=${ZELKANO_PG_USER:-postgres}
        chown "$role" "$dir"
    fi
    as_owner "$bin/initdb" -D "$dir/data" -U "$role" -E UTF8 --locale=C.UTF-8 --auth=trust >"$dir/initdb.log" 2>&1 \
        || { cat "$dir/initdb.log" >&2; exit 1; }
    # No TCP at all: listen_addresses is empty.
    if ! as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 start \
            -o "-c listen_addresses='' -k $dir -p $port -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=60" \
            >/dev/null; then
        cat "$dir/server.log" >&2
        exit 1
    fi
    # The tests run as whoever runs ctest: that user gets a role of its name.
    me=$(id -un)
    if [ "$me" != "$role" ]; then
        as_owner "$bin/psql" -X -q -h "$dir" -p $port -U "$role" -d postgres \
            -c "CREATE ROLE \"$me\" SUPERUSER LOGIN" >/dev/null
    fi
    echo "host=$dir port=$port dbname=postgres"
    ;;
*)
    echo "pg_server.sh: start or stop" >&2
    exit 2
    ;;
esac
