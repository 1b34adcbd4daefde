#!/bin/sh
# Regenerates the pictures of the operator's guide (docs/screens/): builds and runs the window
# tests with ORTOVA_SCREENS_DIR set, then keeps one picture per screen under a stable name.
set -eu
# shellcheck source=scripts/common.sh
. "$(dirname "$0")/common.sh"

ensure_packages
configure
cmake --build "$BUILD" -j "$JOBS"
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
(cd "$BUILD" && ORTOVA_SCREENS_DIR="$shots" QT_QPA_PLATFORM=offscreen \
    ctest -R 'tst_mainwin|tst_vvodwin|tst_prmain|tst_prosmcase|tst_obmain$|tst_obmenwin|tst_namain|tst_naeditors|tst_nawgtbar' \
    -j "$JOBS" >/dev/null)

out="$ROOT/docs/screens"
mkdir -p "$out"
# keep PATTERN NAME: the first picture (by name) that matches PATTERN becomes NAME.png.
keep() {
    found=$(find "$shots" -name "$1" | sort | head -n 1)
    if [ -z "$found" ]; then
        echo "no picture for $2 ($1)" >&2
        exit 1
    fi
    cp "$found" "$out/$2.png"
}
keep 'main-menu.png' main-menu
keep 'vvod-table*.png' entry-table
keep 'vvod-record*.png' entry-record
keep 'view-menu*.png' view-menu
keep 'browser-three-records*.png' browser
keep 'exchange-menu*.png' exchange-menu
keep 'ObmenWin*.png' exchange-progress
keep 'settings-menu*.png' settings-menu
keep 'NastrWin*.png' settings-editor
keep 'weight-codes*.png' weight-codes
echo "Pictures written to $out"
