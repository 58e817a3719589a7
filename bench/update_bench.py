#!/usr/bin/env python3
"""Full updates with ostrel-flash against ostrel-devsim, timed against the line's own limit.

The modelled minimum is what the exchanged bytes need at the rate the simulated bootloader
locked onto, with 11 bit times a character, plus the 6 ms it takes to store each block; devsim
reports the bytes, blocks and rate it actually saw. Last, eight trackers at 9600 and then
sixteen at 115200 updated at once through as many --port: their wall time over one tracker's
modelled minimum.
Usage: update_bench.py BIN_DIR [--wine FLASH_EXE]
With --wine, the same runs with the Windows ostrel-flash.exe under Wine (a COM port mapped to
devsim's pty); WINEPREFIX must name a prepared prefix.
"""
import os
import re
import signal
import subprocess
import sys
import time

BLOCK_STORE_TIME = 0.006
WINE_COM = 42


def wine_port_link():
    return os.path.join(os.environ["WINEPREFIX"], "dosdevices", f"com{WINE_COM}")


def flash_command(bin_dir, port, baud, wine_exe):
    args = ["--baud", str(baud)]
    if wine_exe is None:
        return [os.path.join(bin_dir, "ostrel-flash"), "--port", port] + args
    link = wine_port_link()
    if os.path.lexists(link):
        os.unlink(link)
    os.symlink(port, link)
    return ["wine", wine_exe, "--port", f"COM{WINE_COM}"] + args



# What ostrel-devsim says of each tracker it served when it ends.
SERVED = re.compile(r"from_host=(\d+) to_host=(\d+) block_writes=(\d+) exchanges=(\d+) "
                    r"rate=(\d+)")


def line_minimum(from_host, to_host, blocks, rate):
    """The least time the line allows: 11 bit times a byte each way, and each block's store."""
    return (from_host + to_host) * 11 / rate + blocks * BLOCK_STORE_TIME

def timed_flash(command):
    """Runs ostrel-flash to its end: its exit code, wall seconds and CPU seconds."""
    start = time.monotonic()
    flash = subprocess.Popen(command, stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    _, status, usage = os.wait4(flash.pid, 0)
    wall = time.monotonic() - start
    return os.waitstatus_to_exitcode(status), wall, usage.ru_utime + usage.ru_stime


def run(bin_dir, fast, baud, wine_exe=None):
    devsim_args = [os.path.join(bin_dir, "ostrel-devsim")] + (["--fast"] if fast else [])
    devsim = subprocess.Popen(devsim_args, stdout=subprocess.PIPE, text=True)
    try:
        port = devsim.stdout.readline().strip()
        if not port:
            sys.exit("ostrel-devsim did not start")
        returncode, wall, cpu = timed_flash(flash_command(bin_dir, port, baud, wine_exe))
    finally:
        # The prefix is shared with the Windows tests, whose port scan must not meet it.
        if wine_exe is not None and os.path.lexists(wine_port_link()):
            os.unlink(wine_port_link())
        devsim.send_signal(signal.SIGTERM)
        summary = devsim.stdout.read()
        devsim.wait()
    if returncode != 0:
        sys.exit(f"ostrel-flash failed with exit code {returncode}")
    served = SERVED.search(summary)
    if not served:
        sys.exit("ostrel-devsim gave no summary")
    from_host, to_host, blocks, exchanges, rate = map(int, served.groups())
    if rate != baud:
        sys.exit(f"the simulated bootloader locked onto {rate} baud, not {baud}")
    minimum = line_minimum(from_host, to_host, blocks, rate)
    return {
        "wall": wall, "minimum": minimum, "ratio": wall / minimum, "cpu": cpu,
        "cpu_share": cpu / wall, "bytes": from_host + to_host, "blocks": blocks,
        "exchanges": exchanges,
    }


def run_bays(bin_dir, count, baud):
    """`count` trackers at the line's own pace, all updated by one ostrel-flash at once."""
    devsim = subprocess.Popen([os.path.join(bin_dir, "ostrel-devsim"), "--count", str(count)],
                              stdout=subprocess.PIPE, text=True)
    try:
        ports = [devsim.stdout.readline().strip() for _ in range(count)]
        if not all(ports):
            sys.exit("ostrel-devsim did not start")
        command = [os.path.join(bin_dir, "ostrel-flash"), "--baud", str(baud), "--quiet"]
        for port in ports:
            command += ["--port", port]
        returncode, wall, cpu = timed_flash(command)
    finally:
        devsim.send_signal(signal.SIGTERM)
        summary = devsim.stdout.read()
        devsim.wait()
    if returncode != 0:
        sys.exit(f"ostrel-flash failed with exit code {returncode}")
    served = [tuple(map(int, m.groups())) for m in SERVED.finditer(summary)]
    if len(served) != count:
        sys.exit("ostrel-devsim gave no summary for every tracker")
    # One tracker's modelled time: the longest of them (they differ only by a retry).
    minimum = max(line_minimum(f, t, b, r) for f, t, b, _, r in served)
    return {"wall": wall, "minimum": minimum, "ratio": wall / minimum, "cpu": cpu,
            "cpu_share": cpu / wall, "per_hour": count * 3600 / wall}


def show(title, r):
    print(f"{title}: {r['exchanges']} exchanges, {r['bytes']} bytes on the line, "
          f"{r['blocks']} blocks stored")
    print(f"  wall {r['wall']:.3f} s, modelled minimum {r['minimum']:.3f} s, "
          f"ratio {r['ratio']:.4f}")
    print(f"  updater CPU {r['cpu']:.3f} s, cpu_share {r['cpu_share'] * 100:.3f} %, "
          f"{r['wall'] / r['exchanges'] * 1000:.3f} ms wall per exchange")


def measure(bin_dir, wine_exe, label):
    fast = run(bin_dir, True, 9600, wine_exe)
    show(f"{label}--fast (host overhead, no line time)", fast)
    real = run(bin_dir, False, 9600, wine_exe)
    show(f"{label}9600 baud, real line timing", real)
    quick = run(bin_dir, False, 115200, wine_exe)
    show(f"{label}115200 baud, real line timing", quick)
    line = (f"ratio={real['ratio']:.4f} cpu_share={real['cpu_share']:.4f} "
            f"fast_ratio={quick['ratio']:.4f} speedup={real['wall'] / quick['wall']:.2f}")
    if wine_exe is not None:
        return line
    bays = run_bays(bin_dir, 8, 9600)
    print(f"8 bays at 9600 baud, real line timing, at once: wall {bays['wall']:.3f} s, one "
          f"tracker's modelled minimum {bays['minimum']:.3f} s, updater CPU {bays['cpu']:.3f} s, "
          f"{bays['per_hour']:.0f} trackers an hour")
    many = run_bays(bin_dir, 16, 115200)
    print(f"16 bays at 115200 baud, real line timing, at once: wall {many['wall']:.3f} s, one "
          f"tracker's modelled minimum {many['minimum']:.3f} s, updater CPU {many['cpu']:.3f} s, "
          f"{many['per_hour']:.0f} trackers an hour")
    return line + (f" bays8_ratio={bays['ratio']:.4f} cpu_share8={bays['cpu_share']:.4f}"
                   f" bays16_fast_ratio={many['ratio']:.4f} cpu_share16={many['cpu_share']:.4f}")


def main():
    bin_dir = sys.argv[1] if len(sys.argv) > 1 else "build/bin"
    wine_exe = None
    if len(sys.argv) > 3 and sys.argv[2] == "--wine":
        wine_exe = sys.argv[3]
    targets = ("targets: ratio <= 1.005, cpu_share < 0.005, fast_ratio <= 1.05, speedup >= 9, "
               "bays8_ratio <= 1.02, cpu_share8 < 0.01, bays16_fast_ratio <= 1.05, "
               "cpu_share16 < 0.02")
    if wine_exe is not None:
        print(f"wine: {measure(bin_dir, wine_exe, 'Windows link under Wine, ')}")
    line = measure(bin_dir, None, "")
    print(targets)
    print(line)


if __name__ == "__main__":
    main()
