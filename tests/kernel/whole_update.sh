# A whole update through the kernel's own cp210x driver at $baud baud, 8E1; sourced by the
# scenarios of each rate.
. "$(dirname "$0")/../guest_lib.sh"
start_udev
start_sim --fast --dump "$work/memory.bin"
check "the cp210x driver makes /dev/ttyUSB0" wait_node /dev/ttyUSB0
"$bin/ostrel-flash" --port /dev/ttyUSB0 --baud "$baud" >"$work/flash.log" 2>&1
rc=$?
stop_sim
cat "$work/flash.log" "$work/sim.log"
check "the update ends with exit code 0" [ "$rc" -eq 0 ]
check "... and result=ok" grep -q "^result=ok port=/dev/ttyUSB0 " "$work/flash.log"
check "the driver set 8 data bits, even parity, 1 stop bit" grep -q "line_ctl=0x0820 " "$work/sim.log"
check "the line ran at $baud baud" grep -q "baud=$baud rate=$baud " "$work/sim.log"
check "the tracker's memory equals the release" holds_release "$work/memory.bin"
finish
