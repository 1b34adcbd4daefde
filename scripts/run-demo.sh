#!/bin/sh
# The run command: installs what is missing, builds the program, copies the bundled demo into a
# fresh folder, converts its office directories into the tables the terminal opens and starts the
# program there. With a display it opens a 240 x 320 window. Without one it runs the program on a
# virtual display, saves a picture of the screen it reached, says where the picture is and ends.
set -eu
# shellcheck source=scripts/common.sh
. "$(dirname "$0")/common.sh"

ensure_packages
# shellcheck disable=SC2119 # no extra options for the program alone
configure
cmake --build "$BUILD" -j "$JOBS" --target ortova ortova-tool

RUN="$ROOT/run-$(date +%Y%m%d-%H%M%S)"
mkdir -p "$RUN"
cp -R "$ROOT/examples/demo/." "$RUN/"
find "$RUN" -name .gitattributes -delete
rm -f "$RUN/make-office.py"
# The local folder channel's output folder of terminal 01, for unloading the results.
mkdir -p "$RUN/office/out/01"
echo "Demo folder: $RUN"

# The work folder is the application folder (WorkDirectory is empty in OrtUser.ini). The office
# tool converts the goods directory, the receipt document and the weight codes of office/in/ into
# the binary tables the terminal opens there, so counting can start without an exchange first;
# loading through the exchange (3, then 1) replaces them with the same directories.
# A bad line stops the script here.
convert() { # convert EXTENSION NAME: office/in/NAME.ext -> NAME_ext.bin
    ext=$(printf '%s' "$1" | tr '[:upper:]' '[:lower:]')
    printf '%s: ' "${2}_$ext.bin"
    "$BUILD/tools/ortova-tool" --system "$RUN/OrtSystem.ini" to-bin --table "$1" \
        "$RUN/office/in/$2.$ext" "$RUN/${2}_$ext.bin"
}
convert TVR Tovar
convert PRH Prihod
convert WGT Vescod

if [ -n "${DISPLAY:-}" ]; then
    "$BUILD/app/ortova" --app-dir "$RUN" --windowed
    echo "Run log: $RUN/logortc.txt"
    exit 0
fi

# No display: a virtual one the size of the terminal's screen.
display=99
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 240x320x24 -nolisten tcp >"$RUN/xvfb.log" 2>&1 &
xvfb=$!
app=""
cleanup() {
    if [ -n "$app" ]; then
        kill "$app" 2>/dev/null || true
        wait "$app" 2>/dev/null || true
    fi
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT INT TERM

tries=0
until DISPLAY=":$display" xdpyinfo >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ] || ! kill -0 "$xvfb" 2>/dev/null; then
        echo "The virtual display did not start; see $RUN/xvfb.log" >&2
        exit 1
    fi
    sleep 0.1
done

DISPLAY=":$display" "$BUILD/app/ortova" --app-dir "$RUN" >"$RUN/ortova.out" 2>&1 &
app=$!

# Wait until the main window is mapped at the full 240 x 320.
tries=0
until DISPLAY=":$display" xwininfo -root -tree 2>/dev/null | grep -q '240x320+0+0'; do
    tries=$((tries + 1))
    if ! kill -0 "$app" 2>/dev/null; then
        app=""
        echo "The program ended before showing its window; see $RUN/logortc.txt and $RUN/ortova.out" >&2
        exit 1
    fi
    if [ "$tries" -gt 300 ]; then
        echo "The window did not appear within 30 s; see $RUN/logortc.txt" >&2
        exit 1
    fi
    sleep 0.1
done
sleep 1 # let it paint

import -display ":$display" -window root "$RUN/screen.png"
echo "Screen picture: $RUN/screen.png"
echo "Run log: $RUN/logortc.txt"
