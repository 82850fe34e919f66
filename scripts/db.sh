#!/usr/bin/env bash
# A PostgreSQL 15 server with PostGIS of the project's own, in a folder of
# its own (default db/ in the project), reached through a Unix socket in
# that folder only (no TCP), with a database "darvent" and the PostGIS
# extension:
#
#   scripts/db.sh start [DIR]   creates the cluster the first time, starts it
#                               and prints its connection string
#   scripts/db.sh stop [DIR]    stops it
#   scripts/db.sh url [DIR]     prints the connection string
#
# DM_DB_FAST=1 starts it without waiting for the disk (fsync off): for the
# throw-away clusters of the tests, never for data that must survive a crash.
#
# Run as root (as CI does), the server runs as the "postgres" system user
# that the Debian package creates: initdb refuses root.  The superuser of
# the cluster is "postgres", trusted on the socket (the data folder is only
# its owner's); every other user gives a password (SCRAM).
set -euo pipefail
cd "$(dirname "$0")/.."
cmd=${1:-}
dir=${2:-db}
port=${DM_DB_PORT:-55432}
bin=/usr/lib/postgresql/15/bin
case "$cmd" in start|stop|url) ;; *) echo "usage: scripts/db.sh start|stop|url [DIR]" >&2; exit 2 ;; esac
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
url="postgresql:///darvent?host=$dir&port=$port&user=postgres"
if [ "$cmd" = url ]; then echo "$url"; exit 0; fi

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

if [ "$cmd" = stop ]; then
  if [ -f "$dir/data/postmaster.pid" ]; then as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null; fi
  exit 0
fi

[ -x "$bin/initdb" ] || scripts/deps.sh
if [ "$(id -u)" -eq 0 ]; then
  # The server's user must reach the folder.
  chown postgres:postgres "$dir"
  if ! runuser -u postgres -- test -w "$dir"; then
    echo "db.sh: the user postgres cannot reach $dir; give another folder: scripts/db.sh start /tmp/darvent-db" >&2
    exit 1
  fi
fi
if [ ! -f "$dir/data/PG_VERSION" ]; then
  as_owner "$bin/initdb" -D "$dir/data" -A trust -U postgres -E UTF8 --locale=C >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; exit 1; }
  # The superuser of the socket's owner needs no password; the operators do.
  printf 'local all postgres trust\nlocal all all scram-sha-256\n' | as_owner tee "$dir/data/pg_hba.conf" >/dev/null
fi
fast=""
[ -n "${DM_DB_FAST:-}" ] && fast=" -c fsync=off -c full_page_writes=off -c synchronous_commit=off"
if ! as_owner "$bin/pg_ctl" -D "$dir/data" status >/dev/null 2>&1; then
  as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/log" -w -t 60 \
    -o "-k $dir -p $port -c listen_addresses=''$fast" start >/dev/null ||
    { tail -20 "$dir/log" >&2; exit 1; }
fi
psql=(psql -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$port" -U postgres)
if ! "${psql[@]}" -d postgres -tAc "select 1 from pg_database where datname = 'darvent'" | grep -q 1; then
  "${psql[@]}" -d postgres -c "create database darvent"
fi
"${psql[@]}" -d darvent -c "create extension if not exists postgis"
echo "$url"
