#!/usr/bin/env bash
# The shared database's figures (run by scripts/bench.sh db [RUNS] [OBJECTS]):
# the city of OBJECTS objects (1,000,000 by default) pushed by dmap db-push
# against ogr2ogr loading the same objects from the program's own
# GeoPackage export through COPY, then pulled and opened against a plain
# binary COPY TO STDOUT of the same rows; RUNS runs (3 by default), each
# command in a process of its own.  The server is started for the run in
# DM_BENCH_DB (default /tmp/darvent-bench-db), with the disk waited for as
# an office's server does, and stopped at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
objects=${2:-1000000}
bin=${DM_BENCH_BIN:-build-release/bin}
city=build/bench-city-$objects
[ "$objects" = 1000000 ] && city=build/bench-city
if [ ! -f "$city/Darvent/Darvent.bin" ]; then
  echo "Generating the $objects-object city in $city ..."
  $bin/dmap sample-city "$city" --objects "$objects" >/dev/null
fi
# The city map alone (no district maps, labels or registers): the same
# objects as the GeoPackage's layers of points, lines and areas.
start=build/bench-db-start-$objects
mkdir -p "$start/Darvent"
for f in Darvent/Darvent.bin Darvent/Darvent.or sem100n.smn; do
  [ "$start/$f" -nt "$city/$f" ] || cp "$city/$f" "$start/$f"
done
gpkg=build/bench-db-$objects.gpkg
if [ ! -f "$gpkg" ] || [ "$city/Darvent/Darvent.bin" -nt "$gpkg" ]; then
  rm -f "$gpkg"
  $bin/dmap export "$city/Darvent/Darvent.bin" "$gpkg" --start "$city" >/dev/null
fi
export PGOPTIONS='-c client_min_messages=warning'
dbdir=${DM_BENCH_DB:-/tmp/darvent-bench-db}
url=$(DM_DB_PORT=${DM_BENCH_DB_PORT:-55433} scripts/db.sh start "$dbdir")
trap 'DM_DB_PORT=${DM_BENCH_DB_PORT:-55433} scripts/db.sh stop "$dbdir"' EXIT
ogr=${url/\/darvent\?/\/ogrbase\?}
psql -q "$url" -c 'drop database if exists ogrbase' -c 'create database ogrbase' >/dev/null
psql -q "$ogr" -c 'create extension postgis' >/dev/null
$bin/dmap db-init "$url" >/dev/null
$bin/darvent-bench db "$PWD/$bin/dmap" "$start" "$gpkg" "$url" "$ogr" "$runs"
