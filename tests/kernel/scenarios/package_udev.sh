# The package installs with dpkg while the adapter is plugged in: real udev applies its rule to
# the tty the cp210x driver made, at once and again when the adapter is plugged in anew, and the
# installed ostrel-flash --list marks the adapter by the ids udev gives it.
. "$(dirname "$0")/../guest_lib.sh"
start_udev
start_sim --fast
check "the cp210x driver makes /dev/ttyUSB0" wait_node /dev/ttyUSB0
udevadm info /dev/ttyUSB0 >"$work/udevadm-info-0-before.log" 2>&1
check "before the install, udev neither tags the tty uaccess nor keeps ModemManager away" \
    sh -c 'grep -qx "E: ID_VENDOR_ID=10c4" "$1" && ! grep -Eq "^E: (TAGS=.*:uaccess:|ID_MM_DEVICE_IGNORE=1)" "$1"' \
    _ "$work/udevadm-info-0-before.log"
dpkg -i "$OSTREL_BUILD"/kernel-deb/*.deb >"$work/dpkg.log" 2>&1
check "the package installs with dpkg" [ $? -eq 0 ]
check "the udev rule is installed" test -s /usr/lib/udev/rules.d/70-ostrel-vantor7.rules
udevadm settle --timeout=60

rule_applies() {  # WHEN
    local info=$work/udevadm-info-$1.log
    udevadm info /dev/ttyUSB0 >"$info" 2>&1
    check "$1: udev gives the tty the adapter's USB ids" grep -qx "E: ID_VENDOR_ID=10c4" "$info"
    check "$1: ... and its model id" grep -qx "E: ID_MODEL_ID=ea60" "$info"
    check "$1: the rule tags the tty for the seat user (uaccess)" grep -Eq "^E: TAGS=.*:uaccess:" "$info"
    check "$1: the rule keeps ModemManager away" grep -qx "E: ID_MM_DEVICE_IGNORE=1" "$info"
}
rule_applies "plugged in before the install"
kill -USR1 "$sim_pid"
udevadm wait --removed --timeout=60 /dev/ttyUSB0
kill -USR2 "$sim_pid"
check "plugged in again, the cp210x driver makes /dev/ttyUSB0" wait_node /dev/ttyUSB0
rule_applies "plugged in again"
cat "$work"/udevadm-info-*.log

/usr/bin/ostrel-flash --list >"$work/list.log" 2>&1
check "--list runs" [ $? -eq 0 ]
cat "$work/list.log"
check "--list marks /dev/ttyUSB0 as the programming adapter" \
    grep -Eq "^/dev/ttyUSB0 .*<- programming adapter \(CP210x, USB 10c4:ea60\)" "$work/list.log"
stop_sim
finish
