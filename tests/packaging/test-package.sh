#!/bin/sh
# test-package.sh BUILD VERSION README: builds the package with cpack, checks its file list, unpacks
# it with dpkg -x into a scratch root and runs both programs' --help from there; every option of
# the README's command line must be in the program's help.
set -eu
build=$1
version=$2
readme=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || {
    cat "$scratch/cpack.log" >&2
    fail "cpack"
}
deb="$scratch/out/ortova_${version}_amd64.deb"
[ -f "$deb" ] || fail "no $deb: $(ls "$scratch/out")"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$scratch/files"
for f in /usr/bin/ortova /usr/bin/ortova-tool \
    /usr/share/man/man1/ortova.1 /usr/share/man/man1/ortova-tool.1 \
    /usr/share/applications/ortova.desktop /usr/libexec/ortova/ortova-desktop /usr/libexec/ortova/ortova-tool-qt /usr/share/icons/hicolor/scalable/apps/ortova.svg \
    /usr/lib/systemd/system/ortova-kiosk.service \
    /usr/share/ortova/demo/OrtSystem.ini /usr/share/ortova/demo/OrtUser.ini \
    /usr/share/ortova/demo/office/in/Tovar.tvr; do
    grep -qx "$f" "$scratch/files" || fail "$f missing from the package"
done
if grep -q 'make-office.py\|/usr/include\|\.a$' "$scratch/files"; then
    fail "the package carries build files"
fi
dpkg-deb -f "$deb" Depends | grep -q libqt6core6 || fail "no Qt dependency in Depends"

dpkg -x "$deb" "$scratch/root"
"$scratch/root/usr/bin/ortova-tool" --help >"$scratch/tool-help" || fail "ortova-tool --help"
grep -q 'to-bin' "$scratch/tool-help" || fail "ortova-tool --help lists no commands"
"$scratch/root/usr/bin/ortova" --help >"$scratch/help" || fail "ortova --help"
[ "$("$scratch/root/usr/bin/ortova" --version)" = "ortova $version" ] || fail "ortova --version"
for option in $(sed -n 's/^| `\(--[a-z-]*\).*/\1/p' "$readme"); do
    grep -q -- "$option" "$scratch/help" || fail "ortova --help lacks $option"
done
grep -q 'Restart=on-failure' "$scratch/root/usr/lib/systemd/system/ortova-kiosk.service" || fail "kiosk unit"
grep -q 'QT_QPA_PLATFORM=linuxfb' "$scratch/root/usr/lib/systemd/system/ortova-kiosk.service" || fail "kiosk unit"
echo "package: $(wc -l <"$scratch/files") entries, both programs run from the unpacked root"
