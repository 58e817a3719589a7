# Helpers for the scenarios that run inside the guest, as root, in the overlay over the host's
# root. OSTREL_SOURCE and OSTREL_BUILD are the host's checkout and build tree, seen at the same
# paths.
set -u
bin=$OSTREL_BUILD/bin
work=$(mktemp -d)
. "$(dirname "${BASH_SOURCE[0]}")/../checks.sh"

finish() {
    cp "$work"/*.log /ostrel-results/ 2>/dev/null
    echo "$passes passed, $failures failed"
    [ "$failures" -eq 0 ] && exit 0 || exit 1
}

start_udev() {
    /lib/systemd/systemd-udevd --daemon --resolve-names=never
    udevadm trigger --action=add --subsystem-match=tty --subsystem-match=usb
    udevadm settle --timeout=60
}

# Plugs simulated adapters into vhci_hcd; their log and summary go to $work/sim.*.log.
start_sim() {
    "$bin/ostrel-usbipsim" "$@" >"$work/sim.log" 2>"$work/sim-stderr.log" &
    sim_pid=$!
}

# Ends the adapters; their summary lines must show no request stalled over any plug-in.
stop_sim() {
    kill -TERM "$sim_pid" 2>/dev/null
    wait "$sim_pid"
    check "the driver sent no request the bridge stalls" \
        sh -c 'grep -q "^served " "$1" && ! grep "^served " "$1" | grep -qv " stalls=0 "' _ "$work/sim.log"
}

# Waits until udev has handled the nodes (its rules have run, its links are made) and fails
# unless the kernel's cp210x driver is the one bound to each.
wait_node() {  # wait_node NODE...
    local node
    udevadm wait --timeout=60 "$@" || return 1
    for node; do
        [ "$(basename "$(readlink "/sys/class/tty/${node#/dev/}/device/driver")")" = cp210x ] || return 1
    done
}

# The tracker's memory holds the release: program memory from 0x8C00, data memory at 0x1000.
holds_release() {
    cmp -i 0x8C00:0 -n 29696 "$1" "$OSTREL_SOURCE/payload/flash.bin" &&
        cmp -i 0x1000:0 -n 1024 "$1" "$OSTREL_SOURCE/payload/data.bin"
}

# Waits (up to 60 s) until FILE holds COUNT lines that match PATTERN. (GNU grep writing to
# /dev/null stops at the first match whatever -m says: its output goes through a pipe.)
wait_lines() {  # wait_lines FILE PATTERN [COUNT]
    timeout 60 bash -c 'set -o pipefail; grep -m "$3" -- "$2" <(tail -n +1 -f "$1") | cat >/dev/null' \
        _ "$1" "$2" "${3:-1}"
}
