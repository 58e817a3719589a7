#!/usr/bin/env bash
# Boots Debian 12's own kernel under QEMU with this machine's root as the guest's (read-only,
# under a writable overlay that vanishes with the guest) and runs one scenario in it as root.
# Nothing leaves the guest but its results folder and its console log; it has no network.
#   run_guest.sh BUILD_DIR SCENARIO
# The kernel package is downloaded once into BUILD_DIR/kernel-cache. Fails, never skips, when
# QEMU or the kernel cannot be had.
set -euo pipefail
# Physical paths: the guest resolves them under its own root, where a host's symlink may lead
# elsewhere.
build=$(cd "$1" && pwd -P)
scenario=$(cd "$(dirname "$2")" && pwd -P)/$(basename "$2")
here=$(cd "$(dirname "$0")" && pwd -P)
source=$(cd "$here/../.." && pwd -P)
cache=$build/kernel-cache
fail() { echo "FAILED: $*" >&2; exit 1; }

command -v qemu-system-x86_64 >/dev/null || fail "qemu-system-x86_64 is not installed (scripts/deps test installs it)"
[ -x /bin/busybox ] && grep -qx insmod <(busybox --list) || fail "busybox-static is not installed"
command -v depmod >/dev/null || fail "kmod (depmod) is not installed"
[ -x /lib/systemd/systemd-udevd ] || fail "udev is not installed"

# The kernel: the package Debian's linux-image-amd64 names today, unpacked, with its modules'
# dependency list made here (the package ships none). One folder per version; a lock keeps
# parallel tests from unpacking it twice.
mkdir -p "$cache"
exec 9>"$cache/lock"
flock 9
if [ ! -e "$cache/ready" ]; then
    package=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/.*Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -1)
    [ -n "$package" ] || fail "apt cannot name the kernel package of linux-image-amd64 (apt-get update?)"
    (cd "$cache" && apt-get download "$package" >download.log 2>&1) ||
        fail "cannot download $package: $(tail -1 "$cache/download.log")"
    rm -rf "$cache/root"
    dpkg -x "$cache"/"$package"_*.deb "$cache/root"
    rm -f "$cache"/*.deb
    version=$(ls "$cache/root/lib/modules")
    depmod -b "$cache/root" "$version"
    echo "$version" >"$cache/ready"
fi
version=$(cat "$cache/ready")
kernel=$cache/root/boot/vmlinuz-$version
[ -r "$kernel" ] || fail "no kernel image at $kernel"

# The initramfs: busybox and the modules for 9p, the overlay, USB/IP and cp210x, loaded by /init
# in dependency order.
initrd=$cache/initrd.cpio.gz
if [ ! -e "$initrd" ] || [ "$here/guest_init.sh" -nt "$initrd" ]; then
    stage=$(mktemp -d)
    mkdir -p "$stage"/{bin,proc,sys,dev,modules}
    cp /bin/busybox "$stage/bin/busybox"
    cp "$here/guest_init.sh" "$stage/init"
    chmod +x "$stage/init"
    : >"$stage/modules/order"
    for m in virtio_pci 9pnet_virtio 9p overlay cp210x vhci-hcd; do
        modprobe -d "$cache/root" -S "$version" --show-depends "$m" | sed -n 's/^insmod \(.*\.ko[.a-z]*\).*/\1/p'
    done | awk '!seen[$0]++' | while read -r ko; do
        cp "$ko" "$stage/modules/"
        basename "$ko" >>"$stage/modules/order"
    done
    (cd "$stage" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) >"$initrd.new"
    mv "$initrd.new" "$initrd"
    rm -rf "$stage"
fi
flock -u 9

results=$build/kernel-results/$(basename "$scenario" .sh)
rm -rf "$results"
mkdir -p "$results"
# The paths go to the guest in its results folder: the kernel's command line splits at spaces.
printf '%s\n' "$source" "$build" "$scenario" >"$results/paths"
# The guest powers off when the scenario ends; the time-out is for a guest that hangs.
status=0
timeout 360 qemu-system-x86_64 -accel tcg -m 1024 -smp 1 -icount shift=0,sleep=on -nographic -no-reboot -nic none \
    -kernel "$kernel" -initrd "$initrd" \
    -append "console=ttyS0 quiet panic=-1" \
    -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
    -virtfs local,path="${results//,/,,}",mount_tag=results,security_model=none,multidevs=remap \
    </dev/null >"$results/console.log" 2>&1 || status=$?
[ "$status" -eq 124 ] && { tail -40 "$results/console.log"; fail "the guest did not finish within 360 s"; }
[ -e "$results/exit" ] || { tail -40 "$results/console.log"; fail "the guest ended without running the scenario (log: $results/console.log)"; }
cat "$results/output.log" 2>/dev/null || true
exit "$(cat "$results/exit")"
