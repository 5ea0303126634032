#!/bin/sh
# A private PostgreSQL server for the registry tests.
#   pg_server.sh start STATE_DIR   initdb in a scratch folder, start on a free port,
#                                  write the base URL to STATE_DIR/url
#   pg_server.sh stop STATE_DIR    stop it and remove the scratch folder
#   pg_server.sh pause|resume STATE_DIR   stop or start the same server again
# Without the PostgreSQL binaries start writes no url: the tests skip.
set -eu
BIN=${BOLARIS_PG_BIN:-/usr/lib/postgresql/15/bin}
cmd=$1
state=$2
mkdir -p "$state"

as_owner() {
    if [ "$(id -u)" = 0 ]; then su postgres -s /bin/sh -c "$1"; else sh -c "$1"; fi
}

case $cmd in
start)
    rm -f "$state/url"
    if [ ! -x "$BIN/initdb" ] || [ ! -x "$BIN/pg_ctl" ]; then
        echo "PostgreSQL binaries not found in $BIN: the server tests will skip"
        exit 0
    fi
    [ -f "$state/data" ] && "$0" stop "$state" || true
    data=$(mktemp -d /tmp/bolaris-pg.XXXXXX)
    user=$(id -un)
    if [ "$(id -u)" = 0 ]; then chown postgres "$data"; user=postgres; fi
    as_owner "$BIN/initdb -D '$data/db' -A trust -U $user >'$data/initdb.log' 2>&1"
    echo "$data" >"$state/data"
    for port in $(seq "${BOLARIS_PG_PORT:-15432}" 1 "$(( ${BOLARIS_PG_PORT:-15432} + 40 ))"); do
        if as_owner "$BIN/pg_ctl -D '$data/db' -o \"-p $port -k '$data' -c listen_addresses=127.0.0.1\" -l '$data/server.log' -w -t 20 start" >/dev/null 2>&1; then
            echo "$port" >"$state/port"
            echo "postgresql://$user@127.0.0.1:$port/" >"$state/url"
            echo "PostgreSQL test server on port $port ($data)"
            exit 0
        fi
    done
    echo "no free port for the PostgreSQL test server" >&2
    cat "$data/server.log" >&2 || true
    exit 1
    ;;
pause)
    data=$(cat "$state/data")
    as_owner "$BIN/pg_ctl -D '$data/db' -m fast -w stop" >/dev/null
    ;;
resume)
    data=$(cat "$state/data")
    port=$(cat "$state/port")
    as_owner "$BIN/pg_ctl -D '$data/db' -o \"-p $port -k '$data' -c listen_addresses=127.0.0.1\" -l '$data/server.log' -w -t 20 start" >/dev/null
    ;;
stop)
    [ -f "$state/data" ] || exit 0
    data=$(cat "$state/data")
    as_owner "$BIN/pg_ctl -D '$data/db' -m fast -w stop" >/dev/null 2>&1 || true
    rm -rf "$data" "$state/data" "$state/url" "$state/port"
    ;;
esac
