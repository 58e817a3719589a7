#!/usr/bin/env python3
"""A full update with ostrel-flash against ostrel-devsim, timed against the line's own limit.

The modelled minimum is what the exchanged bytes need on a 9600 baud line with 11 bit times a
character, plus the 6 ms the bootloader takes to store each block; devsim reports the bytes and
blocks it actually saw. Usage: update_bench.py BIN_DIR
"""
import os
import re
import signal
import subprocess
import sys
import time

BYTE_TIME = 11 / 9600
BLOCK_STORE_TIME = 0.006


def run(bin_dir, fast):
    devsim_args = [os.path.join(bin_dir, "ostrel-devsim")] + (["--fast"] if fast else [])
    devsim = subprocess.Popen(devsim_args, stdout=subprocess.PIPE, text=True)
    try:
        port = devsim.stdout.readline().strip()
        if not port:
            sys.exit("ostrel-devsim did not start")
        start = time.monotonic()
        flash = subprocess.Popen([os.path.join(bin_dir, "ostrel-flash"), "--port", port],
                                 stdout=subprocess.DEVNULL)
        _, status, usage = os.wait4(flash.pid, 0)
        wall = time.monotonic() - start
        flash.returncode = os.waitstatus_to_exitcode(status)
    finally:
        devsim.send_signal(signal.SIGTERM)
        summary = devsim.stdout.read()
        devsim.wait()
    if flash.returncode != 0:
        sys.exit(f"ostrel-flash failed with exit code {flash.returncode}")
    served = re.search(r"from_host=(\d+) to_host=(\d+) block_writes=(\d+) exchanges=(\d+)",
                       summary)
    if not served:
        sys.exit("ostrel-devsim gave no summary")
    from_host, to_host, blocks, exchanges = map(int, served.groups())
    minimum = (from_host + to_host) * BYTE_TIME + blocks * BLOCK_STORE_TIME
    cpu = usage.ru_utime + usage.ru_stime
    return {
        "wall": wall, "minimum": minimum, "ratio": wall / minimum, "cpu": cpu,
        "cpu_share": cpu / wall, "bytes": from_host + to_host, "blocks": blocks,
        "exchanges": exchanges,
    }


def show(title, r):
    print(f"{title}: {r['exchanges']} exchanges, {r['bytes']} bytes on the line, "
          f"{r['blocks']} blocks stored")
    print(f"  wall {r['wall']:.3f} s, modelled minimum {r['minimum']:.3f} s, "
          f"ratio {r['ratio']:.4f}")
    print(f"  updater CPU {r['cpu']:.3f} s, cpu_share {r['cpu_share'] * 100:.2f} %, "
          f"{r['wall'] / r['exchanges'] * 1000:.3f} ms wall per exchange")


def main():
    bin_dir = sys.argv[1] if len(sys.argv) > 1 else "build/bin"
    fast = run(bin_dir, True)
    show("--fast (host overhead, no line time)", fast)
    real = run(bin_dir, False)
    show("real line timing", real)
    print(f"targets: ratio <= 1.03, cpu_share < 2 %")
    print(f"ratio={real['ratio']:.4f} cpu_share={real['cpu_share']:.4f}")


if __name__ == "__main__":
    main()
