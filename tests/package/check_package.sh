#!/usr/bin/env bash
# Builds the Debian package from a finished build tree, unpacks it into a scratch root and checks
# what a user gets: the programs, the menu entry and icon, the udev rule, and no simulator.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/*.deb)
dpkg-deb -x "$deb" "$work/root"
root=$work/root

passes=0
failures=0
check() {  # check DESCRIPTION COMMAND...
    local what=$1; shift
    if "$@" >/dev/null 2>&1; then
        echo "ok: $what"; passes=$((passes + 1))
    else
        echo "FAILED: $what"; failures=$((failures + 1))
    fi
}

for f in usr/bin/ostrel-updater usr/bin/ostrel-flash usr/lib/udev/rules.d/70-ostrel-vantor7.rules \
         usr/share/applications/ostrel-updater.desktop \
         usr/share/icons/hicolor/32x32/apps/ostrel-updater.png; do
    check "$f installed" test -s "$root/$f"
done
check "no simulator in the user package" test ! -e "$root/usr/bin/ostrel-devsim"
rules=$root/usr/lib/udev/rules.d/70-ostrel-vantor7.rules
check "udev rule grants the seat user access" grep -q 'ATTRS{idVendor}=="10c4", ATTRS{idProduct}=="ea60", TAG+="uaccess"' "$rules"
check "udev rule keeps ModemManager away" grep -q 'ENV{ID_MM_DEVICE_IGNORE}="1"' "$rules"
check "desktop entry has its Russian name" grep -qx 'Name=Обновление GPS Ostrel' "$root/usr/share/applications/ostrel-updater.desktop"
check "icon is a 32x32 PNG" sh -c "file '$root/usr/share/icons/hicolor/32x32/apps/ostrel-updater.png' | grep -q '32 x 32'"
check "package depends on Qt 6 Widgets" sh -c "dpkg-deb -f '$deb' Depends | grep -q libqt6widgets6"
for font in fonts-liberation fonts-dejavu-core; do
    check "package depends on $font" sh -c "dpkg-deb -f '$deb' Depends | grep -qw $font"
done
check "installed ostrel-flash --help runs" sh -c "'$root/usr/bin/ostrel-flash' --help | grep -q -- --port"

echo "package: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
