#!/usr/bin/env bash
# The release as users get it: scripts/release --placeholder in a clean clone of this checkout,
# and again in a second clone in another folder, later, for the same bytes; then
#  - Linux: the build warning-free, lintian clean on the .deb, the .deb installed with apt into
#    a throw-away root (an overlay over this machine's / in a mount namespace of its own), where
#    ostrel-flash --version names the release and its SHA-256 and the wizard's window appears;
#  - Windows: the zip unpacked, both .exe files started
#    under Wine (ostrel-flash.exe --version, the wizard's window).
# Every command is printed with what it printed. Needs root (mount namespace, chroot).
# Usage: release_builds.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$(realpath "$1")
work=$2
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: installing into a throw-away root needs root"
    exit 77
fi
rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")
# The logs stay for a look afterwards; the trees (about a gigabyte) go.
trap 'rm -rf "$work/ostrel-updater" "$work"/again.* "$work/ccache" "$work/unpacked" "$work/root" \
    "$work/upper" "$work/overlay-work" "$work/wineprefix" "$work/unzipped"' EXIT
export CMAKE_BUILD_PARALLEL_LEVEL=2 DEBIAN_FRONTEND=noninteractive
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }
# run LOG COMMAND...: the command as a user types it, and what it printed (in full in LOG).
run() {
    local log=$1; shift
    echo "\$ $*"
    local start=$SECONDS status=0
    "$@" >"$log" 2>&1 </dev/null || status=$?
    sed 's/^/    /' "$log" | tail -n 15
    echo "    (exit $status, $((SECONDS - start)) s)"
    return $status
}
no_warnings() {  # no_warnings WHAT LOG
    if grep -q 'warning:' "$2"; then
        fail "$1 has compiler warnings"
        grep -B2 -A8 'warning:' "$2" | head -40
    else
        ok "$1 builds without a warning"
    fi
}

# The second build compiles nothing: it gets the first one's objects from a ccache of this run's
# own. A folder's name compiled in would reach both alike: the packages are searched for it.
export CCACHE_DIR=$work/ccache CCACHE_BASEDIR=$work CCACHE_NOHASHDIR=1
export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
clone=$work/ostrel-updater
git clone -q "$source_dir" "$clone"
cd "$clone"
echo "clean clone of $(git rev-parse --short HEAD) in $clone"
run "$work/release.log" scripts/release --placeholder || fail "scripts/release --placeholder"
no_warnings "the release" "$work/release.log"
if [ -e build-release/bin/ostrel-devsim ] || [ -e build-release/bin/ostrel-bridgesim ]; then
    fail "the release build built a simulator"
fi
deb=$(ls "$clone"/out/ostrel-updater_*-PLACEHOLDER_amd64.deb)
zip=$(ls "$clone"/out/ostrel-updater-*-PLACEHOLDER-win64.zip)
flash_sha=$(sha256sum payload/flash.bin | cut -c1-64)
data_sha=$(sha256sum payload/data.bin | cut -c1-64)
(cd out && sha256sum -c --ignore-missing --quiet SHA256SUMS) && [ "$(tail -n 2 out/SHA256SUMS)" = \
    "$flash_sha  PLACEHOLDER-flash.bin"$'\n'"$data_sha  PLACEHOLDER-data.bin" ] &&
    ok "SHA256SUMS matches the packages and the release's files" || fail "$(cat out/SHA256SUMS)"

again=$(mktemp -d "$work/again.XXXXXX")/ostrel-updater
git clone -q "$source_dir" "$again"
(cd "$again" && run "$work/release-again.log" scripts/release --placeholder) || fail "again"
for package in "$deb" "$zip"; do
    cmp -s "$package" "$again/out/${package##*/}" && ok "${package##*/} the same from $again" || {
        fail "${package##*/} differs from $again's:"
        diffoscope --no-progress "$package" "$again/out/${package##*/}" | head -n 60 || true; }
done
dpkg-deb -x "$deb" "$work/unpacked"
unzip -q "$zip" -d "$work/unzipped"
leaks=$(grep -rlaF "$work" "$work/unpacked" "$work/unzipped" || true)
[ -z "$leaks" ] && ok "no file in the packages names a build folder" || fail "folder in: $leaks"

run "$work/lintian.log" lintian --display-level '>=pedantic' "$deb" || true
if grep -E '^[EW]: ' "$work/lintian.log"; then fail "lintian reports errors or warnings"
else ok "lintian: no error and no warning"; fi

# The throw-away root: this machine's / below, every change in an upper folder of the work dir.
root=$work/root
mkdir -p "$root" "$work/upper" "$work/overlay-work"
cp "$deb" "$work/upper.deb"
cat >"$work/in-root.sh" <<'INROOT'
set -eu
deb=$1
cd /tmp
apt install -y -q "./$(basename "$deb")"
echo "\$ ostrel-flash --version"
ostrel-flash --version
echo "\$ ostrel-updater (under Xvfb)"
timeout 120 xvfb-run -a -s "-nolisten tcp" sh -c '
    ostrel-updater & updater=$!
    timeout 60 xdotool search --sync --onlyvisible --classname ostrel-updater >/dev/null &&
        echo "window: ostrel-updater is shown"
    kill $updater; wait $updater 2>/dev/null || true'
INROOT
# No network in there: apt must find every dependency on the machine already.
unshare -m -n --propagation private sh -c '
    set -e
    mount -t overlay overlay -o "lowerdir=/,upperdir=$1/upper,workdir=$1/overlay-work" "$1/root"
    for fs in proc sys dev dev/pts; do mount --rbind "/$fs" "$1/root/$fs"; done
    mount -t tmpfs tmpfs "$1/root/tmp"
    cp "$1/upper.deb" "$1/root/tmp/$(basename "$2")"
    chroot "$1/root" sh -s "/tmp/$(basename "$2")" <"$1/in-root.sh"
' sh "$work" "$deb" >"$work/install.log" 2>&1 || true
echo "\$ sudo apt install ./out/$(basename "$deb")   (in a throw-away root)"
# names_release LOG: --version named the release and the SHA-256 of the blocks built in.
names_release() {
    grep -q '^release v[0-9]' "$1" && grep -q "^program memory .* SHA-256 $flash_sha" "$1" &&
        grep -q "^data memory .* SHA-256 $data_sha" "$1"
}
grep -E '^(Setting up|Unpacking|E:)|ostrel|release|SHA-256|window:' "$work/install.log" |
    sed 's/^/    /'
grep -q '^Setting up ostrel-updater' "$work/install.log" || fail "apt did not install the package"
names_release "$work/install.log" &&
    ok "the installed ostrel-flash names the release and its SHA-256" ||
    fail "the installed ostrel-flash --version"
grep -q '^window: ostrel-updater is shown' "$work/install.log" &&
    ok "the installed wizard opens its window" || fail "the installed wizard showed no window"

folder=$(ls -d "$work"/unzipped/*/)
for file in ostrel-updater.exe ostrel-flash.exe README.txt; do
    [ -s "$folder/$file" ] || fail "the zip has no $file"
done
export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
echo "\$ ostrel-flash.exe --version   (under Wine)"
(cd "$folder" && wine ostrel-flash.exe --version </dev/null 2>/dev/null | tr -d '\r') \
    >"$work/wine-version.log" || true
sed 's/^/    /' "$work/wine-version.log"
# The first start made the prefix, and Wine's desktop process with it, without a display: the
# next start gets a desktop on the display only once that Wine session has ended.
wineserver -w
names_release "$work/wine-version.log" &&
    ok "ostrel-flash.exe names the release and its SHA-256" || fail "ostrel-flash.exe --version"
echo "\$ ostrel-updater.exe   (under Wine on Xvfb)"
(cd "$folder" && timeout 180 xvfb-run -a -s "-nolisten tcp" sh -c '
    wine ostrel-updater.exe </dev/null >/dev/null 2>&1 & updater=$!
    timeout 120 xdotool search --sync --onlyvisible --classname ostrel-updater >/dev/null &&
        echo "window: ostrel-updater.exe is shown"
    wineserver -k; wait $updater 2>/dev/null || true') >"$work/wine-wizard.log" 2>&1 || true
sed 's/^/    /' "$work/wine-wizard.log"
grep -q '^window: ostrel-updater.exe is shown' "$work/wine-wizard.log" &&
    ok "ostrel-updater.exe opens its window" || fail "ostrel-updater.exe showed no window"

echo "release builds: $failures failed, $SECONDS s"
[ "$failures" -eq 0 ]
