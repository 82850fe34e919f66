#!/usr/bin/env bash
# Builds the benchmarks as the program ships (Release, in build-release/)
# and runs them on a generated 1,000,000-object city (kept in
# build/bench-city between runs).  Usage:
#   scripts/bench.sh load [RUNS] [OBJECTS] | redraw [RUNS] | hittest [CLICKS] | route [QUERIES] [RUNS] [NODES]
#   | streets [N] [RUNS] (a register of N streets, 20,000 by default; needs no city) | print [RUNS]
#   | address [N] [RUNS] (the address search on N streets of 10 houses, 20,000 by default; needs no city)
#   | cut [RUNS] (the city cut to the central district's outline, against loading it)
#   | interactive [RUNS] (zoomed redraw, wheel steps, object moves in the program's window)
#   | export [RUNS] (the city exported to a GeoPackage, against ogr2ogr copying that file)
#   | sizes [OBJECTS ...] (the table of docs/benchmarks.md; 250000 1000000 2000000 4000000 by default)
#   | startup [RUNS] [OBJECTS] (the program started on the city, or on a city of OBJECTS objects,
#     under a virtual display: process start to the splash's end and to the map's first paint)
#   | db [RUNS] [OBJECTS] (the city pushed into a PostgreSQL/PostGIS server of its own, against
#     ogr2ogr loading the same objects; pulled and opened, against a plain binary COPY)
#   | live [RUNS] [OBJECTS] (operators editing one map of such a server at once: accepted steps per
#     second with 1, 4 and 16 operators, a commit until another's view holds it, a one-object move's
#     write on a map of OBJECTS objects against a plain UPDATE)
# --busy anywhere among the arguments runs the benchmark while another process keeps one core busy.
set -euo pipefail
cd "$(dirname "$0")/.."
busy=0
args=()
for x in "$@"; do
  if [ "$x" = --busy ]; then busy=1; else args+=("$x"); fi
done
set -- ${args[@]+"${args[@]}"}
scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-release -j"$(nproc)" --target darvent-bench dmap darvent-map >/dev/null
bin=build-release/bin
what=${1:-load}
if [ "$busy" = 1 ]; then
  # A loop of its own on one core for as long as the benchmark runs.
  (trap 'exit 0' TERM; while :; do :; done) &
  spinner=$!
  trap 'kill $spinner 2>/dev/null || true' EXIT
  echo "(another process keeps one core busy: pid $spinner)"
fi
if [ "$what" = streets ]; then
  $bin/darvent-bench streets "${2:-20000}" "${3:-5}"
  exit 0
fi
if [ "$what" = address ]; then
  $bin/darvent-bench address "${2:-20000}" "${3:-5}"
  exit 0
fi
if [ "$what" = db ]; then
  shift
  scripts/bench-db.sh "$@"
  exit 0
fi
if [ "$what" = live ]; then
  shift
  scripts/bench-live.sh "$@"
  exit 0
fi
if [ "$what" = sizes ]; then
  shift
  scripts/bench-sizes.sh "$@"
  exit 0
fi
city=build/bench-city
if [ "$what" = startup ] && [ -n "${3:-}" ]; then
  city=build/bench-city-$3
  [ -f "$city/Darvent/Darvent.bin" ] || $bin/dmap sample-city "$city" --objects "$3" >/dev/null
fi
if [ ! -f "$city/njoints.uzl" ] || [ ! -f "$city/Darvent/centr.gtm" ]; then
  echo "Generating the 1,000,000-object city in $city ..."
  $bin/dmap sample-city "$city" --objects 1000000
fi
runs=${2:-5}
case "$what" in
  load|redraw)
    if [ "$what" = load ] && [ -n "${3:-}" ]; then
      city=build/bench-city-$3
      [ -f "$city/Darvent/Darvent.bin" ] || $bin/dmap sample-city "$city" --objects "$3" >/dev/null
    fi
    $bin/darvent-bench "$what" "$city/Darvent/Darvent.bin" "$runs" ;;
  print) $bin/darvent-bench print "$city/Darvent/Darvent.bin" "${2:-3}" ;;
  hittest) $bin/darvent-bench hittest "$city/Darvent/Darvent.bin" "${2:-1000}" ;;
  route)
    net="$city/njoints.uzl"
    if [ -n "${4:-}" ]; then
      # A network of about NODES nodes built as the city's grid is.
      dir=build/bench-net-$4
      [ -f "$dir/njoints.uzl" ] || $bin/dmap sample-city "$dir" --objects 1000 --network-nodes "$4" >/dev/null
      net="$dir/njoints.uzl"
    fi
    $bin/darvent-bench route "$net" "${2:-1000}" "${3:-3}" ;;
  interactive) $bin/darvent-bench interactive "$city" "$runs" ;;
  export) $bin/darvent-bench export "$city/Darvent/Darvent.bin" "${2:-3}" ;;
  startup) scripts/in-virtual-display.sh $bin/darvent-bench startup "$PWD/$bin/darvent-map" "$city" "$runs" 2>&1 \
    | grep -v -e '^Virtual display' -e '^  take a screenshot' -e '^  stop the program' ;;
  cut) $bin/darvent-bench cut "$city/Darvent/Darvent.bin" "$city/Darvent/centr.gtm" "$runs" ;;
  *) echo "unknown benchmark: $what" >&2; exit 2 ;;
esac
