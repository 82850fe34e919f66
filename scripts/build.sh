#!/usr/bin/env bash
# Configures and builds everything into build/ (executables in build/bin/);
# with target names, only those targets and what they need.
set -euo pipefail
cd "$(dirname "$0")/.."
# Under CI (CI=true) every compiler warning is an error.
werror=OFF
[ -n "${CI:-}" ] && werror=ON
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDM_WERROR=$werror >/dev/null
if [ $# -gt 0 ]; then
  cmake --build build -j"$(nproc)" --target "$@"
else
  cmake --build build -j"$(nproc)"
fi
