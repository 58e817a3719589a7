#!/bin/busybox sh
# The guest's first process: loads the modules, puts a writable overlay over the host's root
# and makes it the root of the running system (switch_root, not chroot: udevadm refuses its
# settle, trigger and control requests inside a chroot). guest_run.sh then runs the scenario;
# the results folder is the only way out.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in $(cat /modules/order); do insmod "/modules/$m" 2>/dev/null; done
mkdir -p /host /results /rw /root
mount -t 9p -o trans=virtio,version=9p2000.L,ro host /host
mount -t 9p -o trans=virtio,version=9p2000.L results /results
{ read -r source; read -r build; read -r scenario; } </results/paths
mount -t tmpfs rw /rw
mkdir -p /rw/upper /rw/work
mount -t overlay overlay -o lowerdir=/host,upperdir=/rw/upper,workdir=/rw/work /root
mount --move /proc /root/proc
mount --move /sys /root/sys
mount --move /dev /root/dev
mkdir -p /root/ostrel-results
mount --move /results /root/ostrel-results
# A fresh /run and /tmp keep the host's sockets, locks and udev database out of the guest; the
# checkout and the build tree, which may lie under them, are put back read-only from the host.
mount -t tmpfs run /root/run
mount -t tmpfs tmp /root/tmp
for dir in "$source" "$build"; do
    mkdir -p "/root$dir" && mount --bind "/host$dir" "/root$dir"
done
# What systemd would add to /dev: the descriptor links (bash's process substitution uses
# them), pseudo-terminals and shared memory.
ln -s /proc/self/fd /root/dev/fd
ln -s /proc/self/fd/0 /root/dev/stdin
ln -s /proc/self/fd/1 /root/dev/stdout
ln -s /proc/self/fd/2 /root/dev/stderr
mkdir -p /root/dev/pts /root/dev/shm
mount -t devpts devpts /root/dev/pts
mount -t tmpfs shm /root/dev/shm
exec switch_root /root /bin/bash "$source/tests/kernel/guest_run.sh" "$source" "$build" "$scenario"
