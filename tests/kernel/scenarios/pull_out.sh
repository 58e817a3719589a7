# The adapter is pulled out (its vhci port detached) while the tracker is being written: the
# update fails naming the disconnect, in bounded time, and lets the tty go while it waits for
# the next adapter; plugged in again, the next tracker is updated.
. "$(dirname "$0")/../guest_lib.sh"
start_udev
log=$work/repeat.log
"$bin/ostrel-flash" --repeat >"$log" 2>&1 &
flash=$!
wait_lines "$log" "^Waiting for the adapter to be plugged in"
# The 60th exchange is a block write, about a quarter of the way through the program memory.
start_sim --fast --hang-up-at 60 --dump "$work/memory.bin"
check "the cp210x driver makes /dev/ttyUSB0" wait_node /dev/ttyUSB0
check "pulled out, the update fails at the write stage" wait_lines "$log" "^result=failed stage=write "
check "its reason names the disconnect" grep -q "^result=failed .* reason=the adapter was disconnected" "$log"
check "the kernel removed /dev/ttyUSB0" udevadm wait --removed --timeout=60 /dev/ttyUSB0
check "the updater waits for the next adapter" wait_lines "$log" "^Waiting for the adapter to be plugged in" 2
# Its descriptors, while it runs: the log is one of them, and none is a tty of the adapter.
holds_no_adapter_tty() {
    local fds
    fds=$(readlink /proc/"$flash"/fd/*) && grep -qF "$log" <<<"$fds" && ! grep -q ttyUSB <<<"$fds"
}
check "... and holds no tty of the adapter" holds_no_adapter_tty

kill -USR2 "$sim_pid"
check "plugged in again, the cp210x driver makes /dev/ttyUSB0" wait_node /dev/ttyUSB0
check "the next tracker is updated" wait_lines "$log" "^result=ok port=/dev/ttyUSB0 "
kill -INT "$flash"
wait "$flash"
rc=$?
stop_sim
cat "$log" "$work/sim.log"
check "the summary counts one updated and one failed" grep -qx "summary updated=1 failed=1" "$log"
check "a failed tracker makes exit code 1" [ "$rc" -eq 1 ]
check "the adapter was pulled out once" grep -q "detaches=1" "$work/sim.log"
check "the tracker's memory equals the release" holds_release "$work/memory.bin"
finish
