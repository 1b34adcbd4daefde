#!/bin/sh
# The package command: installs what is missing, builds the program and the office tool, makes
# the Debian package ortova_<version>_amd64.deb in the build folder and installs it.
set -eu
# shellcheck source=scripts/common.sh
. "$(dirname "$0")/common.sh"

ensure_packages
# A folder of its own: a release build, apart from the test build.
BUILD="${ORTOVA_PACKAGE_DIR:-$ROOT/build-package}"
configure -DCMAKE_BUILD_TYPE=Release -DORTOVA_BUILD_TESTS=OFF -DORTOVA_BUILD_BENCH=OFF
cmake --build "$BUILD" -j "$JOBS" --target ortova ortova-tool
cd "$BUILD"
cpack -G DEB
deb=$(ls -t ortova_*_amd64.deb | head -n 1)
if [ "$(id -u)" -eq 0 ]; then
    sudo=""
else
    sudo="sudo"
fi
$sudo apt-get install -y "./$deb"
echo "Installed $deb: ortova, ortova-tool, man pages, the demo in /usr/share/ortova/demo,"
echo "and ortova-kiosk.service (enable it with: systemctl enable --now ortova-kiosk)."
