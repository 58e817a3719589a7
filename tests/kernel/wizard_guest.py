#!/usr/bin/env python3
"""The Qt wizard in the guest on Xvfb, over the real cp210x driver and udev: the adapter is
plugged in while page 1 shows, which brings page 3 with the connection established, then a
whole update ends on the success indicators and the tracker holds the release. The window is
judged as the end-to-end test judges it (its helpers are shared).

Usage: wizard_guest.py --bin DIR --flash FILE --data FILE --shots DIR --work DIR"""
import argparse
import os
import signal
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import wizard_e2e as e2e  # noqa: E402


def run(args):
    memory = os.path.join(args.work, "memory.bin")
    runtime = os.path.join(args.work, "runtime")
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    with e2e.VirtualScreen() as screen:
        env = dict(os.environ, DISPLAY=screen.display, QT_QPA_PLATFORM="xcb",
                   XDG_RUNTIME_DIR=runtime)
        updater = subprocess.Popen([os.path.join(args.bin, "ostrel-updater")], env=env)
        adapter = None
        try:
            window = e2e.Window(screen.display, args.shots)
            window.find(updater, timeout=120)
            window.save(window.wait_for(e2e.page1, timeout=60), "kernel-1-welcome")
            adapter = subprocess.Popen(
                [os.path.join(args.bin, "ostrel-usbipsim"), "--fast", "--dump", memory],
                stdout=subprocess.PIPE)
            lines = e2e.Lines(adapter.stdout)
            lines.expect("attached 0", timeout=30)
            frame = window.wait_for(e2e.connected, timeout=60, unless=e2e.not_connected)
            window.save(frame, "kernel-3-connected")
            driver = os.readlink("/sys/class/tty/ttyUSB0/device/driver")
            e2e.check(os.path.basename(driver) == "cp210x", f"ttyUSB0's driver is {driver}")
            window.click(e2e.NEXT)
            frame = window.wait_for(e2e.update_succeeded, timeout=120, unless=e2e.update_failed)
            window.save(frame, "kernel-4-success")
            window.click(e2e.NEXT)
            window.wait_for(e2e.page5)
            window.click(e2e.NEXT)  # "OK"
            code = updater.wait(timeout=30)
        finally:
            if updater.poll() is None:
                updater.kill()
            if adapter is not None:
                adapter.send_signal(signal.SIGTERM)
                summary = (lines.buffer + adapter.stdout.read()).decode(errors="replace")
                adapter.wait(timeout=30)
                print(summary, end="")
    e2e.check(code == 0, f"ostrel-updater ended with exit code {code}")
    e2e.check(" stalls=0 " in summary, "the driver sent a request the bridge stalls")
    tracker = e2e.read(memory)
    e2e.check(tracker[0x8C00:0x10000] == e2e.read(args.flash),
              "the program memory differs from the release")
    e2e.check(tracker[0x1000:0x1400] == e2e.read(args.data),
              "the data memory differs from the release")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for name in ("--bin", "--flash", "--data", "--shots", "--work"):
        parser.add_argument(name, required=True)
    args = parser.parse_args()
    try:
        run(args)
    except AssertionError as failure:
        print(f"wizard: FAILED: {failure}", file=sys.stderr)
        return 1
    print("wizard: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
