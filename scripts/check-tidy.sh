#!/usr/bin/env bash
# Runs clang-tidy with the checks of .clang-tidy over the program's sources (src/), with the compile commands of a
# build folder (default: build, as test.sh leaves it). Any finding fails.
# Usage: check-tidy.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build}

if [ ! -f "$build/compile_commands.json" ]; then
    cmake -S . -B "$build" -G Ninja >/dev/null
fi
# The sources include what moc makes; those files exist once each target's automatic moc step has run.
mapfile -t autogen < <(ninja -C "$build" -t targets all | sed -n 's/^\([A-Za-z0-9_]*_autogen\): .*/\1/p' | sort -u)
if [ ${#autogen[@]} -gt 0 ]; then
    cmake --build "$build" -j "$(nproc)" --target "${autogen[@]}" >/dev/null
fi

# The files given are regular expressions matched against the paths of the compile commands.
run-clang-tidy-14 -p "$build" -j "$(nproc)" -quiet "^$root/src/" >"$build/tidy.log" 2>&1 || {
    # run-clang-tidy-14 always asks for colours; the summary goes without them.
    sed 's/\x1b\[[0-9;]*m//g' "$build/tidy.log" | grep -E "(error|warning):" | sort -u >&2
    echo "check-tidy: findings above (whole output in $build/tidy.log)" >&2
    exit 1
}
echo "check-tidy: no findings"
