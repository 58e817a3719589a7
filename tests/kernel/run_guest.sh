#!/usr/bin/env bash
# Boots Debian 12's own kernel under QEMU with this machine's root as the guest's (read-only,
# under a writable overlay that vanishes with the guest) and runs one scenario in it as root.
# Nothing leaves the guest but its results folder and its console log; it has no network.
#   run_guest.sh BUILD_DIR SCENARIO SECONDS
# The kernel is kept in BUILD_DIR/kernel-cache by prepare_kernel.sh when the build is
# configured. Fails, never skips, when QEMU, a tool the guest needs or the kernel cannot be had.
# The guest is stopped SECONDS - 20 after it starts, and with this script when it is ended.
set -euo pipefail
# Physical paths: the guest resolves them under its own root, where a host's symlink may lead
# elsewhere.
build=$(cd "$1" && pwd -P)
scenario=$(cd "$(dirname "$2")" && pwd -P)/$(basename "$2")
guest_seconds=$(($3 - 20))
here=$(cd "$(dirname "$0")" && pwd -P)
source=$(cd "$here/../.." && pwd -P)
cache=$build/kernel-cache
fail() { echo "FAILED: $*" >&2; exit 1; }

# What the guest runs of the host's: each one missing is a line.
busybox=${OSTREL_BUSYBOX:-/bin/busybox}
missing=()
command -v qemu-system-x86_64 >/dev/null || missing+=("qemu-system-x86_64 is not installed (scripts/deps test installs it)")
# The initramfs has no C library: a dynamically linked busybox cannot start there.
if [ ! -x "$busybox" ] || ldd "$busybox" >/dev/null 2>&1 || ! grep -qx insmod <("$busybox" --list); then
    missing+=("$busybox is not a static busybox with insmod (package busybox-static)")
fi
[ -x /lib/systemd/systemd-udevd ] || missing+=("udev is not installed")
udevadm wait --help >/dev/null 2>&1 || missing+=("udevadm has no wait command (systemd 251 or later)")
[ -e "$cache/ready" ] ||
    missing+=("$(cat "$cache/missing" 2>/dev/null || echo "no kernel in $cache: configure the build again")")
[ ${#missing[@]} -eq 0 ] || { printf 'FAILED: %s\n' "${missing[@]}" >&2; exit 1; }
kernel=$cache/vmlinuz

results=$build/kernel-results/$(basename "$scenario" .sh)
rm -rf "$results"
mkdir -p "$results"
# The initramfs, made afresh for each guest (a fraction of a second): busybox and the modules for
# 9p, the overlay, USB/IP and cp210x, loaded by /init in dependency order.
initrd=$results/initrd.cpio.gz
stage=$(mktemp -d)
mkdir -p "$stage"/{bin,proc,sys,dev,modules}
cp "$busybox" "$stage/bin/busybox"
cp "$here/guest_init.sh" "$stage/init"
chmod +x "$stage/init"
cp "$cache"/modules/* "$stage/modules/"
(cd "$stage" && find . | "$busybox" cpio -o -H newc 2>/dev/null | gzip -1) >"$initrd"
rm -rf "$stage"
# The paths go to the guest in its results folder: the kernel's command line splits at spaces.
printf '%s\n' "$source" "$build" "$scenario" >"$results/paths"
# The guest powers off when the scenario ends; the time-out is for a guest that hangs. QEMU is
# stopped with this script, whoever ends it.
status=0
timeout "$guest_seconds" qemu-system-x86_64 -accel tcg -m 1024 -smp 1 -icount shift=0,sleep=on -nographic -no-reboot -nic none \
    -kernel "$kernel" -initrd "$initrd" \
    -append "console=ttyS0 quiet panic=-1" \
    -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
    -virtfs local,path="${results//,/,,}",mount_tag=results,security_model=none,multidevs=remap \
    </dev/null >"$results/console.log" 2>&1 &
guest=$!
trap 'kill -TERM "$guest" 2>/dev/null; wait "$guest" || true; exit 143' TERM INT HUP
wait "$guest" || status=$?
trap - TERM INT HUP
[ "$status" -eq 124 ] && { tail -40 "$results/console.log"; fail "the guest did not finish within $guest_seconds s"; }
[ -e "$results/exit" ] || { tail -40 "$results/console.log"; fail "the guest ended without running the scenario (log: $results/console.log)"; }
cat "$results/output.log" 2>/dev/null || true
exit "$(cat "$results/exit")"
