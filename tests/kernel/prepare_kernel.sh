#!/usr/bin/env bash
# Keeps in CACHE only what a guest needs of Debian 12's kernel: its image and the modules for
# virtio, 9p, the overlay, USB/IP and cp210x, with the order to load them in. The kernel comes
# from OSTREL_KERNEL, a linux-image .deb or a folder one was unpacked into (boot/vmlinuz-*,
# lib/modules/VERSION/), for a machine that is offline or not Debian; without it, from the
# package Debian's linux-image-amd64 names today, downloaded. Run when the build is configured,
# so no test waits for the download. When no kernel can be had, CACHE/missing says why in one
# line and the kernel tests fail with it.
#   prepare_kernel.sh CACHE
set -uo pipefail
cache=$1
from=${OSTREL_KERNEL:-}
wanted="virtio_pci 9pnet_virtio 9p overlay cp210x vhci_hcd"
key="$from|$wanted"
if [ -e "$cache/ready" ] && [ "$(cat "$cache/key" 2>/dev/null)" = "$key" ]; then exit 0; fi

rm -rf "$cache"
mkdir -p "$cache/modules"
missing() {
    echo "$*" | tee "$cache/missing" >&2
    exit 1
}
command -v modinfo >/dev/null || missing "kmod (modinfo) is not installed: scripts/deps test installs it"
unpacked=$(mktemp -d "$cache.unpacked.XXXXXX")
trap 'rm -rf "$unpacked"' EXIT
case "$from" in
    "")
        package=$(apt-cache depends linux-image-amd64 2>/dev/null |
            sed -n 's/.*Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -1)
        [ -n "$package" ] ||
            missing "apt cannot name the kernel package of linux-image-amd64 (apt-get update, or set OSTREL_KERNEL to a linux-image .deb or an unpacked one)"
        (cd "$unpacked" && apt-get download "$package" >download.log 2>&1) ||
            missing "cannot download $package: $(tail -1 "$unpacked/download.log") (or set OSTREL_KERNEL to a linux-image .deb or an unpacked one)"
        dpkg -x "$unpacked"/*.deb "$unpacked/root" || missing "cannot unpack $package"
        root=$unpacked/root ;;
    *.deb)
        dpkg -x "$from" "$unpacked/root" 2>/dev/null || missing "OSTREL_KERNEL=$from is not a package dpkg can unpack"
        root=$unpacked/root ;;
    *)
        root=$from ;;
esac
image=$(ls "$root"/boot/vmlinuz-* 2>/dev/null | head -1)
[ -n "$image" ] || missing "no kernel image (boot/vmlinuz-*) in ${from:-$package}"
version=${image##*/vmlinuz-}
[ -d "$root/lib/modules/$version" ] || missing "no modules (lib/modules/$version) in ${from:-$package}"

# Each module after those it depends on, found by name (the kernel writes - and _ alike).
declare -A path_of
while read -r ko; do
    name=${ko##*/}
    name=${name%%.ko*}
    path_of[${name//-/_}]=$ko
done < <(find "$root/lib/modules/$version" -name '*.ko*')
added=" "
add() {  # add MODULE
    local name=${1//-/_} dep
    [[ $added == *" $name "* ]] && return
    [ -n "${path_of[$name]:-}" ] || missing "the kernel $version has no module $name"
    for dep in $(modinfo -F depends "${path_of[$name]}" | tr , ' '); do add "$dep"; done
    added+="$name "
    cp "${path_of[$name]}" "$cache/modules/" || missing "cannot copy ${path_of[$name]} into $cache"
    echo "${path_of[$name]##*/}" >>"$cache/modules/order"
}
for module in $wanted; do add "$module"; done
cp "$image" "$cache/vmlinuz" || missing "cannot copy $image into $cache"
echo "$key" >"$cache/key"
echo "$version" >"$cache/ready"
