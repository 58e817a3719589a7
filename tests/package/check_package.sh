#!/usr/bin/env bash
# Builds the Debian package from a finished build tree, unpacks it into a scratch root and checks
# what a user gets: the programs (stripped), the menu entry, the icon at every size, the
# software-centre record, the manual pages, the copyright and changelog, the udev rule, and no
# simulator. Usage: check_package.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The test build carries the placeholder release: a plain package build must refuse it, and
# builds it only when allowed (the configure option sets this CPack variable).
if (cd "$build" && cpack -G DEB -B "$work/refused" >"$work/cpack.log" 2>&1) ||
        ! grep -q "Refusing to package the PLACEHOLDER release" "$work/cpack.log"; then
    echo "FAILED: the placeholder release was packaged without being allowed"; cat "$work/cpack.log"; exit 1
fi
echo "ok: the placeholder release is refused unless allowed"
(cd "$build" && cpack -G DEB -B "$work/out" -D CPACK_OSTREL_ALLOW_PLACEHOLDER_RELEASE=ON \
    >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/*.deb)
dpkg-deb -x "$deb" "$work/root"
root=$work/root

. "$(dirname "$0")/../checks.sh"

for f in usr/bin/ostrel-updater usr/bin/ostrel-flash usr/lib/udev/rules.d/70-ostrel-vantor7.rules \
         usr/share/applications/ostrel-updater.desktop \
         usr/share/icons/hicolor/32x32/apps/ostrel-updater.png; do
    check "$f installed" test -s "$root/$f"
done
for size in 16 22 24 32 48 64 128 256; do
    check "icon of $size px" sh -c "file '$root/usr/share/icons/hicolor/${size}x$size/apps/ostrel-updater.png' | grep -q '$size x $size'"
done
for program in ostrel-updater ostrel-flash; do
    check "$program is stripped" sh -c "file '$root/usr/bin/$program' | grep -q ', stripped'"
    check "$program has a manual page" sh -c "LC_ALL=C.UTF-8 man -l '$root/usr/share/man/man1/$program.1.gz' | grep -q '^NAME'"
done
doc=$root/usr/share/doc/ostrel-updater
check "copyright in the machine-readable format" grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$doc/copyright"
version=$(dpkg-deb -f "$deb" Version)
check "changelog.gz opens with this version" sh -c "zcat '$doc/changelog.gz' | head -1 | grep -q '^ostrel-updater ($version) '"
check "extended description" sh -c "dpkg-deb -f '$deb' Description | sed 1d | grep -q ostrel-flash"
metainfo=$root/usr/share/metainfo/ru.gpsostrel.updater.metainfo.xml
check "software-centre record is valid" appstreamcli validate --no-net "$metainfo"
check "software-centre record names this version" grep -q "<release version=\"$version\"" "$metainfo"
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
check "installed ostrel-flash --version marks the placeholder" sh -c "'$root/usr/bin/ostrel-flash' --version | grep -q 'placeholder release: for tests and demonstration only'"

# ostrel-flash's page is made from its --help: each option and exit code there has its entry.
page_source=$(zcat "$root/usr/share/man/man1/ostrel-flash.1.gz")
help=$("$root/usr/bin/ostrel-flash" --help)
missing=$(grep -oE '^  -(-?[a-z][a-z-]*)' <<<"$help" | sed 's/^ *//' | while read -r option; do
    grep -qF "\\fB${option//-/\\-}\\fR" <<<"$page_source" || echo "$option"; done)
check "every option of --help on ostrel-flash's page${missing:+ (missing: $missing)}" test -z "$missing"
codes_help=$(grep -oE '^  [0-9]+  ' <<<"$help" | tr -d ' ' | tr '\n' ' ')
codes_page=$(grep -oE '^\.B [0-9]+$' <<<"$page_source" | cut -c4- | tr '\n' ' ')
check "the exit codes of --help on ostrel-flash's page ($codes_page)" test "$codes_help" = "$codes_page"
# The wizard's page is written by hand: every window text it quotes is one the window shows.
quoted=$(grep -o '\\(lq[^\\]*\\(rq' "$source_dir/packaging/linux/ostrel-updater.1" |
    sed 's/^\\(lq//; s/\\(rq$//')
unknown=$(while read -r text; do
    grep -qF "\"$text\"" "$source_dir/wizard/texts.h" || echo "$text"; done <<<"$quoted")
check "the wizard's page quotes the window's own texts${unknown:+ (not in the window: $unknown)}" \
    test -n "$quoted" -a -z "$unknown"

echo "package: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
