#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/setup.sh

jobs=$(nproc)
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON

# The core alone first: it must build without Qt.
cmake -S . -B build-core -G Ninja -DVANTREL_UI=OFF -DVANTREL_BENCH=OFF -DVANTREL_WERROR=$werror >/dev/null
cmake --build build-core -j "$jobs"

cmake -S . -B build -G Ninja -DVANTREL_WERROR=$werror >/dev/null
cmake --build build -j "$jobs"

cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" 2>&1 | tee ctest.log
