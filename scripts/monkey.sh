#!/usr/bin/env bash
# A long run of the random operator over the program window (menu items,
# clicks, drags, the stops window and the user form, maps opened and the
# window closed, undo, keys, random answers) under AddressSanitizer and
# UndefinedBehaviorSanitizer, built into build-asan/ as the sanitized tests.
#   scripts/monkey.sh [STEPS] [FIRST_SEED] [SEEDS]
# runs STEPS steps (default 5000) for each of SEEDS seeds (default 1) from
# FIRST_SEED (default 1); the first report stops the run.
set -euo pipefail
cd "$(dirname "$0")/.."
steps=${1:-5000}
first=${2:-1}
count=${3:-1}
scripts/deps.sh
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDM_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$(nproc)" --target test_app
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$(pwd)/scripts/lsan.supp
for ((seed = first; seed < first + count; ++seed)); do
  echo "seed $seed, $steps steps"
  DM_MONKEY_STEPS=$steps DM_MONKEY_SEED=$seed build-asan/bin/test_app --gtest_filter='ProgramMonkey.*' --gtest_brief=1
done
