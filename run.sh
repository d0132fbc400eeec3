#!/usr/bin/env bash
# Installs what is missing, builds, and starts Vantrel in the current folder.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build" -G Ninja -DVANTREL_TESTS=OFF -DVANTREL_BENCH=OFF >/dev/null
cmake --build "$here/build" -j "$(nproc)" --target vantrel
exec "$here/build/vantrel" "$@"
