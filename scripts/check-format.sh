#!/usr/bin/env bash
# Fails when a source file differs from what clang-format makes of it with the .clang-format of the tree.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h' \
    | xargs -0 clang-format-14 --dry-run --Werror
echo "check-format: every file formatted"
