#!/bin/sh
# Checks that every C++ source of the repository is formatted as .clang-format says; prints the
# places that differ and exits non-zero when any file does. `--fix` formats them in place instead.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
files=$(git ls-files -- 'src/*.cpp' 'src/*.h' 'app/*.cpp' 'tools/*.cpp' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 2>/dev/null ||
    find src app tools tests bench -name '*.cpp' -o -name '*.h')
if [ "${1:-}" = "--fix" ]; then
    # shellcheck disable=SC2086 # one word per file
    clang-format -i $files
    exit 0
fi
# shellcheck disable=SC2086 # one word per file
clang-format --dry-run -Werror $files
