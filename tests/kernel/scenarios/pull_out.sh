# The adapter is pulled out (its vhci port detached) while the tracker is being written: the
# update fails naming the disconnect, in bounded time; plugged in again, the next run succeeds.
. "$(dirname "$0")/../guest_lib.sh"
start_udev
# The 60th exchange is a block write, about a quarter of the way through the program memory.
start_sim --fast --hang-up-at 60 --dump "$work/memory.bin"
check "the cp210x driver makes /dev/ttyUSB0" wait_node /dev/ttyUSB0
timeout 60 "$bin/ostrel-flash" --port /dev/ttyUSB0 >"$work/pulled.log" 2>&1
rc=$?
cat "$work/pulled.log"
check "the pulled-out run ends, and does not hang" [ "$rc" -ne 124 ]
check "it fails with exit code 1" [ "$rc" -eq 1 ]
check "its result line names the write stage" grep -q "^result=failed stage=write " "$work/pulled.log"
check "its reason names the disconnect" grep -q "reason=the adapter was disconnected" "$work/pulled.log"
check "the kernel removed /dev/ttyUSB0" udevadm wait --removed --timeout=60 /dev/ttyUSB0
check "no process holds a tty of the adapter" sh -c "! fuser /dev/ttyUSB* 2>/dev/null"

kill -USR2 "$sim_pid"
check "plugged in again, /dev/ttyUSB0 comes back" wait_node /dev/ttyUSB0
timeout 60 "$bin/ostrel-flash" --port /dev/ttyUSB0 >"$work/again.log" 2>&1
rc=$?
stop_sim
cat "$work/again.log" "$work/sim.log"
check "the next run succeeds" [ "$rc" -eq 0 ]
check "the adapter was pulled out once" grep -q "detaches=1" "$work/sim.log"
check "the tracker's memory equals the release" holds_release "$work/memory.bin"
finish
