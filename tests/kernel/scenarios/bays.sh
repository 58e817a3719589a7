# --all with four adapters on four vhci ports: four bays named from the real sysfs topology,
# each tracker updated; pulled out and plugged into the same ports again, each bay keeps its name.
. "$(dirname "$0")/../guest_lib.sh"
start_udev
start_sim --fast --count 4 --dump "$work/memory.bin"
check "the cp210x driver makes a tty for each" wait_node /dev/ttyUSB{0..3}
udevadm settle --timeout=60

# Each result line's bay is the USB port its tty hangs from (bus 1, ports 1 to 4).
bays_follow_topology() {  # LOG
    local line port bay
    grep "^result=" "$1" | while read -r line; do
        port=$(echo "$line" | sed -n 's/.* port=\([^ ]*\) .*/\1/p')
        bay=$(echo "$line" | sed -n 's/.* bay=\([^ ]*\) .*/\1/p')
        udevadm info -q path "$port" | grep -q "/usb1/$bay/$bay:1.0/" || return 1
    done
}
bays_of() { grep -o " bay=[^ ]*" "$1" | sort | tr -d '\n'; }
all_bays=" bay=1-1 bay=1-2 bay=1-3 bay=1-4"

for run in first second; do
    timeout 120 "$bin/ostrel-flash" --all >"$work/$run.log" 2>&1
    rc=$?
    grep "^result=" "$work/$run.log"
    check "$run run: every bay updated (exit code 0)" [ "$rc" -eq 0 ]
    check "$run run: four result lines with result=ok" [ "$(grep -c '^result=ok ' "$work/$run.log")" -eq 4 ]
    check "$run run: the bays are 1-1 to 1-4" [ "$(bays_of "$work/$run.log")" = "$all_bays" ]
    check "$run run: each bay is its tty's USB port" bays_follow_topology "$work/$run.log"
    [ $run = second ] && break
    kill -USR1 "$sim_pid"
    check "pulled out, each adapter's tty goes away" \
        udevadm wait --removed --timeout=60 /dev/ttyUSB0 /dev/ttyUSB1 /dev/ttyUSB2 /dev/ttyUSB3
    kill -USR2 "$sim_pid"
    wait_lines "$work/sim.log" "^attached" 8
    check "plugged in again, the cp210x driver makes them again" wait_node /dev/ttyUSB{0..3}
    udevadm settle --timeout=60
done
stop_sim
cat "$work/sim.log"
for n in 1 2 3 4; do
    check "tracker $n holds the release" holds_release "$work/memory.bin.$n"
    check "tracker $n: each run wrote all 240 blocks" \
        grep -q "^served port=$((n - 1)) .* block_writes_per_plug_in=240,240 " "$work/sim.log"
done
finish
