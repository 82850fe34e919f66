#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) into build-fuzz/, writes their seed inputs
# with the program's own writers, and runs every target for SECONDS
# (default 30) or 1,000,000 executions, whichever comes first (the
# variable DM_FUZZ_RUNS sets another count).  A finding stops with its input saved in
# build-fuzz/findings/TARGET/ and exit code 1.
#
#   scripts/fuzz.sh [SECONDS] [TARGET ...]
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-30}
shift || true
smoke=""
[ "$secs" = smoke ] && smoke=1
scripts/deps.sh
# clang and its runtime libraries (libFuzzer and the sanitizers come in
# a package of their own that clang only recommends).
if ! command -v clang++ >/dev/null || [ -z "$(ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a 2>/dev/null)" ]; then
  [ "$(id -u)" -ne 0 ] && SUDO=sudo || SUDO=""
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq -o DPkg::Lock::Timeout=600 --no-install-recommends \
    clang libclang-rt-dev >/dev/null
fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(objects names streets network transport userdata classifier render route admin)
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDM_FUZZ=ON \
  -DBUILD_TESTING=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target make_seeds $(printf 'fuzz_%s ' "${targets[@]}")
seeds=build-fuzz/seeds
rm -rf "$seeds"
build-fuzz/bin/make_seeds "$seeds"
export QT_QPA_PLATFORM=offscreen
# Font configuration keeps caches that it never frees.
export LSAN_OPTIONS=suppressions=$(pwd)/scripts/lsan.supp
declare -A smokeRuns=([objects]=1200000 [names]=1200000 [streets]=400000 [network]=25000 [transport]=400000
                      [userdata]=75000 [classifier]=40000 [render]=18000 [route]=25000
                      [admin]=150000)
status=0
for t in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$t
  findings=build-fuzz/findings/$t
  mkdir -p "$corpus" "$findings"
  log=build-fuzz/fuzz_$t.log
  if [ -n "$smoke" ]; then
    rm -rf "$corpus" && mkdir -p "$corpus"
    limit=(-seed=1 -runs="${smokeRuns[$t]}")
  else
    limit=(-max_total_time="$secs" -runs="${DM_FUZZ_RUNS:-1000000}")
  fi
  start=$(date +%s)
  if build-fuzz/bin/fuzz_$t "$corpus" "$seeds/$t" "${limit[@]}" -max_len=65536 -timeout=20 \
       -rss_limit_mb=2048 -artifact_prefix="$findings/" -print_final_stats=1 >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    echo "fuzz_$t: $runs runs in $(( $(date +%s) - start )) s, no finding"
  else
    echo "fuzz_$t: FINDING (see $log and $findings/)"
    tail -30 "$log"
    status=1
  fi
done
exit $status
