#!/usr/bin/env bash
# Builds the test programs whose tests run more than one thread with
# ThreadSanitizer into build-tsan/ and runs those tests: the start-up
# preload, the object file's read-ahead and block cutter, the PDF content
# deflater.  Races inside Qt's own (uninstrumented) libraries are suppressed
# by library in scripts/tsan.supp; a report anywhere else fails the run.
# DM_TSAN_RUNS=N runs each program N times (default 1).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
# RelWithDebInfo with its flags set here: -O1 is the level every file gets.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DDM_TSAN=ON >/dev/null
programs=(test_mapdata test_display test_app)
cmake --build build-tsan -j"$(nproc)" --target "${programs[@]}"
export QT_QPA_PLATFORM=offscreen LANG=C LC_ALL=C
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 suppressions=$(pwd)/scripts/tsan.supp"
filters=(
  'BinaryIO.*:BlockCutter.*:PointList.*:ObjectFile.*'
  'PdfMapContent.*:PieceDeflater.*'
  'MainWindowTest.TheCityReadWhileTheSplashShowsIsTheMapOpeningReads:Lifecycle.WhilePrintingOnlyEscReachesTheProgram:DisplayToolsTest.PrintingToAPdf*:DisplayToolsTest.EscAbortsARunningPrintJob'
)
runs=${DM_TSAN_RUNS:-1}
for ((r = 1; r <= runs; r++)); do
  for i in "${!programs[@]}"; do
    echo "== ${programs[$i]} (run $r of $runs) under ThreadSanitizer"
    "build-tsan/bin/${programs[$i]}" --gtest_filter="${filters[$i]}" --gtest_brief=1
  done
done
