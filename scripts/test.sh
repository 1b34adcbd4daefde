#!/bin/sh
# The test command: installs what is missing, builds everything with warnings as errors and
# runs every test, ending with the CTest summary. Exits non-zero when anything fails.
set -eu
# shellcheck source=scripts/common.sh
. "$(dirname "$0")/common.sh"

# ORTOVA_SANITIZE=1: the sanitizer build, in a folder of its own unless ORTOVA_BUILD_DIR names one.
SANITIZE="-DORTOVA_SANITIZE=OFF"
if [ "${ORTOVA_SANITIZE:-0}" = 1 ]; then
    SANITIZE="-DORTOVA_SANITIZE=ON"
    BUILD="${ORTOVA_BUILD_DIR:-$ROOT/build-sanitize}"
fi

ensure_packages
"$ROOT/scripts/check-format.sh"
configure -DORTOVA_WERROR=ON "$SANITIZE"
cmake --build "$BUILD" -j "$JOBS"
cd "$BUILD"
ctest --output-on-failure -j 2
