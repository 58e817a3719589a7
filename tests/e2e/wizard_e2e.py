#!/usr/bin/env python3
"""The real ostrel-updater on a virtual X server, behind the simulated CP210x bridge with the
simulated tracker, driven with mouse clicks as a person drives it. The window is judged from
screenshots: the layout is fixed, so every button and indicator has a known place and colour.

Usage: wizard_e2e.py CASE --bin DIR --flash FILE --data FILE --shots DIR
  update      Next, Next, Connect, Next, success, Next, OK: the tracker holds the release
  keep-user   the same with "keep the user settings" ticked: the owner's settings survive
  pulled-out  the bridge pulled out while the program memory is written: the failure display
  keyboard    the update by keyboard alone: a Tab round of page 1 with Escape in the welcome
              text, then Enter on the button the focus reaches on each page
"""
import argparse
import os
import select
import subprocess
import sys
import tempfile
import time

# The layout, the colours and the page checks, shared with the Wine harness.
from wizard_pages import *  # noqa: E402,F401,F403


def check(condition, failure):
    if not condition:
        raise AssertionError(failure)


class Lines:
    """Lines a child process writes, each awaited with a time limit."""

    def __init__(self, stream):
        self.fd = stream.fileno()
        self.buffer = b""

    def expect(self, wanted, timeout):
        deadline = time.monotonic() + timeout
        while True:
            while b"\n" in self.buffer:
                line, self.buffer = self.buffer.split(b"\n", 1)
                if line.decode(errors="replace") == wanted:
                    return
                print("bridge:", line.decode(errors="replace"))
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.fd], [], [], left)[0]:
                raise AssertionError(f'no "{wanted}" from the bridge within {timeout} s')
            chunk = os.read(self.fd, 4096)
            if not chunk:
                raise AssertionError(f'the bridge ended before "{wanted}"')
            self.buffer += chunk


class VirtualScreen:
    """Xvfb on a display number it picks itself."""

    def __init__(self, size="1024x768"):
        self.size = size

    def __enter__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.size + "x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end, "rb") as announced:
            ready = select.select([announced], [], [], 30)[0]
            number = announced.readline().strip() if ready else b""
        if not number.isdigit():
            self.process.kill()
            self.process.wait()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number.decode()
        return self

    def __exit__(self, *exc):
        self.process.terminate()
        self.process.wait(timeout=30)


class Window:
    """The updater's window: screenshots and clicks."""

    frame = Frame  # how its screenshots are read

    def __init__(self, display, shots):
        self.env = dict(os.environ, DISPLAY=display)
        self.shots = shots
        self.id = None

    def find(self, program, timeout=30):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if program.poll() is not None:
                raise AssertionError(f"the bridge ended ({program.returncode}) before a window")
            found = subprocess.run(
                ["xdotool", "search", "--onlyvisible", "--classname", "ostrel-updater"],
                env=self.env, capture_output=True, text=True).stdout.split()
            if found:
                self.id = found[0]
                return
            time.sleep(0.05)  # polling interval
        raise AssertionError(f"no updater window within {timeout} s")

    def capture(self):
        ppm = subprocess.run(["import", "-silent", "-window", self.id, "-depth", "8", "ppm:-"],
                             env=self.env, capture_output=True, check=True).stdout
        return self.frame(ppm)

    def click(self, point):
        subprocess.run(["xdotool", "mousemove", "--window", self.id,
                        str(point[0]), str(point[1]), "click", "1"], env=self.env, check=True)

    def keys(self, *names):
        """Keys typed on the keyboard into the window, one after the other (X key names)."""
        subprocess.run(["xdotool", "windowfocus", self.id], env=self.env, check=True)
        for name in names:
            subprocess.run(["xdotool", "key", "--delay", "50", name], env=self.env, check=True)

    def wait_for(self, state, timeout=30, unless=None):
        """Polls screenshots until `state` holds; fails at once when `unless` holds."""
        deadline = time.monotonic() + timeout
        while True:
            frame = self.capture()
            if state(frame):
                return frame
            if unless is not None and unless(frame):
                self.save(frame, f"unexpected-{unless.__name__}")
                raise AssertionError(f"waiting for {state.__name__}, the window shows "
                                     f"{unless.__name__} (see {self.shots})")
            if time.monotonic() > deadline:
                self.save(frame, f"timeout-{state.__name__}")
                raise AssertionError(f"no {state.__name__} within {timeout} s "
                                     f"({self.describe(frame)}, see {self.shots})")
            time.sleep(0.05)  # polling interval

    def describe(self, frame):
        return f"buttons {frame.buttons()}"

    def save(self, frame, name):
        os.makedirs(self.shots, exist_ok=True)
        path = os.path.join(self.shots, name + ".png")
        # No time stamps in the file, so a picture that did not change stays byte-identical.
        subprocess.run(["convert", "ppm:-", "-strip", "-define", "png:exclude-chunks=date,time",
                        "png:" + path], input=frame.ppm, check=True)


class Bridge:
    """ostrel-bridgesim with the updater inside its testbed."""

    def __init__(self, args, env, memory_file, fast, program=None):
        command = [os.path.join(args.bin, "ostrel-bridgesim"), "--save-memory", memory_file]
        if fast:
            command.append("--fast")
        if program:
            command += ["--", program]
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        env=env)
        self.lines = Lines(self.process.stdout)
        try:
            self.lines.expect("ready /dev/ttyUSB0", timeout=30)
        except AssertionError:
            self.stop()
            raise

    def command(self, command, reply):
        self.process.stdin.write((command + "\n").encode())
        self.process.stdin.flush()
        self.lines.expect(reply, timeout=30)

    def exit_code(self, timeout=30):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"the program did not end within {timeout} s") from None

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=30)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def tracker_as_shipped(args, work):
    """The simulated tracker's memory before anything is written to it."""
    memory = os.path.join(work, "shipped.bin")
    bridge = Bridge(args, os.environ, memory, fast=True)
    bridge.process.communicate(b"quit\n", timeout=30)
    check(bridge.process.returncode == 0, "ostrel-bridgesim could not save the tracker's memory")
    return read(memory)


def walk_to_connected(window, keep_user, shots):
    """Pages 1 to 3 and a connection, as a person clicks through them."""
    frame = window.wait_for(page1)
    if shots:
        window.save(frame, "1-welcome")
    window.click(NEXT)
    frame = window.wait_for(page2)
    if shots:
        window.save(frame, "2-preparation")
    window.click(NEXT)
    frame = window.wait_for(page3, unless=page2)
    if shots:
        window.save(frame, "3-connection")
    if keep_user:
        window.click(KEEP_USER)
        window.wait_for(keep_user_ticked)
    window.click(CONNECT)
    frame = window.wait_for(connected, unless=not_connected)
    if shots:
        window.save(frame, "3-connected")
    check(not keep_user or keep_user_ticked(frame), "cbKeepUser lost its tick on connecting")


def update_by_keyboard(window):
    """The whole update with Enter alone after a Tab round of page 1: the focus starts on Next
    and each page hands it to the button that leads on."""
    window.wait_for(page1)
    window.keys("Tab", "Escape", "Tab", "Tab")  # the welcome text, Cancel, Next
    window.wait_for(page1)
    # The page left behind may still show at the first look after a key, so only a failure
    # ends a wait early.
    for wanted, unless in ((page2, None), (page3, None), (connected, not_connected),
                           (update_succeeded, update_failed), (page5, None)):
        window.keys("Return")
        window.wait_for(wanted, timeout=300, unless=unless)
    window.keys("Return")  # "OK"


def run_case(case, args, work):
    flash, data = read(args.flash), read(args.data)
    shipped = tracker_as_shipped(args, work)
    # Preconditions that keep the checks below able to fail.
    check(shipped[0x8C00:0x10000] != flash, "the tracker already holds this program memory")
    check(shipped[0x1000:0x1100] != data[:0x100], "the owner's settings equal the release's")

    memory = os.path.join(work, "memory.bin")
    runtime = os.path.join(work, "runtime")
    os.makedirs(runtime, mode=0o700)
    with VirtualScreen() as screen:
        env = dict(os.environ, DISPLAY=screen.display, QT_QPA_PLATFORM="xcb",
                   XDG_RUNTIME_DIR=runtime)
        bridge = Bridge(args, env, memory, fast=case != "pulled-out",
                        program=os.path.join(args.bin, "ostrel-updater"))
        try:
            window = Window(screen.display, args.shots)
            window.find(bridge.process)
            if case == "keyboard":
                update_by_keyboard(window)
            else:
                walk_to_connected(window, keep_user=case == "keep-user", shots=case == "update")
                window.click(NEXT)
            if case == "pulled-out":
                frame = window.wait_for(a_tenth_written, unless=update_failed)
                window.save(frame, "4-update-running")
                bridge.command("unplug", "unplugged")
                window.save(window.wait_for(update_failed), "4-update-failure")
                window.click(CANCEL)
            elif case != "keyboard":
                frame = window.wait_for(update_succeeded, timeout=90, unless=update_failed)
                if case == "update":
                    window.save(frame, "4-update-success")
                window.click(NEXT)
                frame = window.wait_for(page5)
                if case == "update":
                    window.save(frame, "5-finished")
                window.click(NEXT)  # "OK"
            code = bridge.exit_code()
        finally:
            bridge.stop()
    check(code == 0, f"ostrel-updater ended with exit code {code}")

    tracker = read(memory)
    program_memory, owner, data_rest = (
        tracker[0x8C00:0x10000], tracker[0x1000:0x1100], tracker[0x1100:0x1400])
    if case == "pulled-out":
        check(program_memory[:0x80] == flash[:0x80], "the first block was not written")
        check(program_memory != flash, "the program memory was written completely")
        check(tracker[0x1000:0x1400] == shipped[0x1000:0x1400],
              "the data memory was written after the program memory failed")
        return
    check(program_memory == flash, "the program memory differs from the release")
    check(data_rest == data[0x100:], "data memory 0x1100-0x13FF differs from the release")
    if case == "keep-user":
        check(owner == shipped[0x1000:0x1100], "the owner's settings were overwritten")
    else:
        check(owner == data[:0x100], "data memory 0x1000-0x10FF differs from the release")


def run_cli(cases, add_arguments, prefix, run, wrap=None):
    """The harnesses' common command line: a case, its arguments, a scratch folder; exit 1 with
    the failure, or 0 with the time the case took. `wrap(args)` gives a context (a virtual
    screen) that the case runs inside and receives."""
    parser = argparse.ArgumentParser(description=sys.modules["__main__"].__doc__.splitlines()[0])
    parser.add_argument("case", choices=cases)
    add_arguments(parser)
    args = parser.parse_args()
    started = time.monotonic()
    with tempfile.TemporaryDirectory(prefix=prefix) as work:
        try:
            if wrap is None:
                run(args.case, args, work)
            else:
                with wrap(args) as context:
                    run(args.case, args, work, context)
        except AssertionError as failure:
            print(f"{args.case}: FAILED: {failure}", file=sys.stderr)
            return 1
    print(f"{args.case}: passed in {time.monotonic() - started:.1f} s")
    return 0


def arguments(parser):
    """The arguments of the Linux harnesses: the programs, the release and the screenshots."""
    parser.add_argument("--bin", required=True, help="folder of the programs")
    parser.add_argument("--flash", required=True, help="the release's program-memory block")
    parser.add_argument("--data", required=True, help="the release's data-memory block")
    parser.add_argument("--shots", required=True, help="folder for the screenshots")


def main():
    return run_cli(["update", "keep-user", "pulled-out", "keyboard"], arguments, "ostrel-e2e-",
                   run_case)


if __name__ == "__main__":
    sys.exit(main())
