#!/usr/bin/env bash
# Several operators on one map of the shared database (run by
# scripts/bench.sh live [RUNS] [OBJECTS]): the accepted steps per second
# with 1, 4 and 16 operators, each making steps as fast as it can, and the
# time from a step's commit until another operator's view holds it, also
# with 16 operators who each make a step every 200 ms (an office at work);
# then the write time of a one-object move on a map of OBJECTS objects
# (1,000,000 by default) against a plain UPDATE through libpq.  RUNS runs
# (5 by default), the operator counts interleaved.  The server is started
# for the run in DM_BENCH_LIVE_DB (default /tmp/darvent-bench-live), with
# the disk waited for as an office's server does, and stopped at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
objects=${2:-1000000}
bin=${DM_BENCH_BIN:-build-release/bin}
sample=build/bench-live-sample
[ -f "$sample/Darvent/Darvent.bin" ] || $bin/dmap sample-city "$sample" >/dev/null
city=build/bench-city-$objects
[ "$objects" = 1000000 ] && city=build/bench-city
if [ ! -f "$city/Darvent/Darvent.bin" ]; then
  echo "Generating the $objects-object city in $city ..."
  $bin/dmap sample-city "$city" --objects "$objects" >/dev/null
fi
# The big city's map alone (no district maps or registers).
start=build/bench-db-start-$objects
mkdir -p "$start/Darvent"
for f in Darvent/Darvent.bin Darvent/Darvent.or sem100n.smn; do
  [ "$start/$f" -nt "$city/$f" ] || cp "$city/$f" "$start/$f"
done
export PGOPTIONS='-c client_min_messages=warning'
dbdir=${DM_BENCH_LIVE_DB:-/tmp/darvent-bench-live}
port=${DM_BENCH_LIVE_PORT:-55435}
url=$(DM_DB_PORT=$port scripts/db.sh start "$dbdir")
trap 'DM_DB_PORT=$port scripts/db.sh stop "$dbdir"' EXIT
$bin/dmap db-init "$url" >/dev/null
$bin/dmap db-push "$sample" "$url" --map Darvent --replace 2>/dev/null
for r in $(seq 1 "$runs"); do
  for n in 1 4 16; do
    steps=$((800 / n))
    echo "run $r, $n operators of $steps steps each:"
    $bin/darvent-bench operators "$url" "$n" "$steps" 2>/dev/null | tail -3
  done
  echo "run $r, 16 operators of 25 steps each, one step every 200 ms:"
  $bin/darvent-bench operators "$url" 16 25 --pace 200 2>/dev/null | tail -3
done
echo "The $objects-object map:"
$bin/dmap db-push "$start" "$url" --map Million --replace 2>/dev/null
$bin/darvent-bench livewrite "$url" Million "$runs" 400
