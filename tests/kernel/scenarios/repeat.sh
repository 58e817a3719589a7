# --repeat on the real uevents: waiting, plug in, update, pull out, plug in again, update.
. "$(dirname "$0")/../guest_lib.sh"
start_udev
log=$work/repeat.log
"$bin/ostrel-flash" --repeat >"$log" 2>&1 &
flash=$!
check "--repeat waits for the adapter" wait_lines "$log" "^Waiting for the adapter to be plugged in"
start_sim --fast --dump "$work/memory.bin"
check "the cp210x driver makes /dev/ttyUSB0" wait_node /dev/ttyUSB0
check "plugged in, the first tracker is updated" wait_lines "$log" "^result=ok port=/dev/ttyUSB0 "
check "then it asks for the adapter to be pulled out" wait_lines "$log" "^Pull the adapter out"
kill -USR1 "$sim_pid"
check "pulled out, it waits for the next one" wait_lines "$log" "^Waiting for the adapter to be plugged in" 2
kill -USR2 "$sim_pid"
check "plugged in again, the cp210x driver makes /dev/ttyUSB0" wait_node /dev/ttyUSB0
check "plugged in again, the second tracker is updated" wait_lines "$log" "^result=ok port=/dev/ttyUSB0 " 2
check "... and it asks for the adapter again" wait_lines "$log" "^Pull the adapter out" 2
kill -INT "$flash"
wait "$flash"
rc=$?
stop_sim
grep -v "^ЗАГРУЗКА\|^ПРОВЕРКА" "$log"
cat "$work/sim.log"
check "Ctrl-C ends the loop with exit code 0" [ "$rc" -eq 0 ]
check "its summary counts two trackers updated" grep -qx "summary updated=2 failed=0" "$log"
check "each plug-in's update wrote all 240 blocks" grep -q " block_writes_per_plug_in=240,240 " "$work/sim.log"
check "the tracker's memory equals the release" holds_release "$work/memory.bin"
finish
