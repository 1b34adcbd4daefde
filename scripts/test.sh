#!/bin/sh
# The test command: installs what is missing, builds everything with warnings as errors and
# runs every test, ending with the CTest summary. Exits non-zero when anything fails.
set -eu
# shellcheck source=scripts/common.sh
. "$(dirname "$0")/common.sh"

ensure_packages
"$ROOT/scripts/check-format.sh"
configure -DORTOVA_WERROR=ON
cmake --build "$BUILD" -j "$JOBS"
cd "$BUILD"
ctest --output-on-failure -j 2
