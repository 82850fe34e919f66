#!/usr/bin/env bash
# The size table: load, redraw (the map as the program opens it), hit test
# (per click), save and route (per query, on the city's road network) at
# several city sizes, each step in a process of its own (5 runs: the median
# time, the highest peak resident memory; the first touch of new memory on
# this shared machine sometimes costs several times the usual).  Writes docs/benchmarks.md.
# Called by scripts/bench.sh sizes [OBJECTS ...], which builds build-release/.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build-release/bin
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(250000 1000000 2000000 4000000)
out=docs/benchmarks.md
rows=()
runs=5
median() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }
highest() { printf '%s\n' "$@" | sort -g | tail -1; }
lowest() { printf '%s\n' "$@" | sort -g | head -1; }
for n in "${sizes[@]}"; do
  city=build/bench-city-$n
  [ "$n" = 1000000 ] && city=build/bench-city
  if [ ! -f "$city/Darvent/Darvent.bin" ]; then
    echo "Generating the $n-object city in $city ..." >&2
    $bin/dmap sample-city "$city" --objects "$n" >/dev/null
  fi
  bin_file=$city/Darvent/Darvent.bin
  mb=$(awk -v b="$(stat -c %s "$bin_file")" 'BEGIN{printf "%.0f", b/1e6}')
  row="| $(printf "%'d" "$n" | tr , ' ') | $mb MB"
  for op in load redraw hittest save route; do
    target=$bin_file
    [ $op = route ] && target=$city/njoints.uzl
    ts=(); ps=()
    for ((r = 0; r < runs; ++r)); do
      read -r t p _ < <($bin/darvent-bench step $op "$target")
      ts+=("$t"); ps+=("$p")
    done
    t=$(median "${ts[@]}"); p=$(highest "${ps[@]}")
    lo=$(lowest "${ts[@]}"); hi=$(highest "${ts[@]}")
    case $op in
      hittest) tt=$(awk -v t="$t" -v l="$lo" -v h="$hi" 'BEGIN{printf "%.3f ms (%.3f-%.3f)", t*1000, l*1000, h*1000}') ;;
      route) tt=$(awk -v t="$t" -v l="$lo" -v h="$hi" -v b="$(stat -c %s "$target")" 'BEGIN{printf "%.2f ms (%.2f-%.2f; %d nodes)", t*1000, l*1000, h*1000, b/116}') ;;
      *) tt=$(awk -v t="$t" -v l="$lo" -v h="$hi" 'BEGIN{printf "%.2f s (%.2f-%.2f)", t, l, h}') ;;
    esac
    pm=$(awk -v k="$p" 'BEGIN{printf "%.0f MB", k*1024/1e6}')
    row="$row | $tt | $pm"
    echo "$n $op: $tt, peak $pm" >&2
  done
  rows+=("$row |")
done
{
  echo "# Benchmark figures by city size"
  echo
  echo "Made by \`scripts/bench.sh sizes\` (Release build) on $(date -u +%Y-%m-%d), $(nproc) cores,"
  echo "$(awk '/MemTotal/{printf "%.0f GB", $2/1e6}' /proc/meminfo) of memory.  Each step runs in a process of its own, $runs"
  echo "times: the median time (lowest-highest) and the highest peak resident memory of the process"
  echo "(which includes loading the map for every step but the route).  Load: the"
  echo "object file in a fresh process.  Redraw: the map as the program opens it"
  echo "(1920-pixel screen).  Hit test: per click, 1,000 random clicks on that"
  echo "view.  Save: the object file.  Route: per query, 200 random node pairs on"
  echo "the city's road network (the street grid, at most 32,768 nodes)."
  echo
  echo "| Objects | File | Load | peak | Redraw | peak | Hit test | peak | Save | peak | Route | peak |"
  echo "|--------:|-----:|-----:|-----:|-------:|-----:|---------:|-----:|-----:|-----:|------:|-----:|"
  printf '%s\n' "${rows[@]}"
} >"$out"
echo "written $out" >&2
