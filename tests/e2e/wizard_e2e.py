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

# What a person clicks, in the window's client coordinates.
NEXT = (532, 371)
CANCEL = (244, 372)
CONNECT = (248, 116)
KEEP_USER = (204, 320)

PAGE = (196, 24)  # the page content area's top-left corner in the client area


def on_page(x, y, w, h):
    return (PAGE[0] + x, PAGE[1] + y, w, h)


# Controls as the window lays them out (page positions and sizes), where the screenshots look.
RICH_EDIT1 = on_page(0, 16, 401, 289)
LIST_BOX1_TOP = on_page(0, 16, 377, 32)
LIST_BOX4_TOP = on_page(0, 32, 377, 32)
LB_CONNECTED = on_page(248, 24, 135, 20)
LB_NOT_CONNECTED = on_page(218, 24, 165, 20)
TXT_CONN_OK = on_page(312, 40, 54, 75)
TXT_CONN_FAIL = on_page(232, 40, 45, 75)
KEEP_USER_BOX = (198, 315, 10, 10)  # inside the tick box's frame
BAR_WRITE = on_page(0, 48, 273, 17)
BAR_VERIFY = on_page(0, 120, 273, 17)
LB_WRITE_ON = on_page(326, 48, 65, 20)
LB_WRITE_OK = on_page(366, 48, 25, 20)
LB_WRITE_ERR = on_page(301, 48, 90, 20)
LB_VERIFY_OK = on_page(366, 120, 25, 20)
LB_VERIFY_ERR = on_page(301, 120, 90, 20)
TXT_WRITE_OK = on_page(8, 184, 54, 75)
TXT_WRITE_FAIL = on_page(8, 192, 45, 75)
LIST_WRITE_OK = on_page(64, 192, 281, 49)
LIST_WRITE_FAIL = on_page(64, 208, 281, 49)

GREEN = (0, 128, 0)
RED = (255, 0, 0)
OLIVE = (128, 128, 0)
WHITE = (255, 255, 255)
BUTTON_FACE = (239, 239, 239)
DISABLED_FRAME = (196, 196, 196)

MARK = 100  # pixels of pure colour in a check mark or cross drawn 64 pixels high
LABEL = 20  # pixels of pure colour in a coloured label


def check(condition, failure):
    if not condition:
        raise AssertionError(failure)


class Frame:
    """One screenshot of the window's client area (binary PPM)."""

    def __init__(self, ppm):
        magic, width, height, maxval, self.pixels = ppm.split(maxsplit=4)
        if magic != b"P6" or maxval != b"255":
            raise RuntimeError("unexpected screenshot format")
        self.width, self.height = int(width), int(height)
        self.ppm = ppm

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def _pixels(self, rect):
        x0, y0, w, h = rect
        for y in range(y0, y0 + h):
            for x in range(x0, x0 + w):
                yield self.pixel(x, y)

    def count(self, rect, colour):
        return sum(1 for p in self._pixels(rect) if p == colour)

    def ink(self, rect):
        """Pixels of black text."""
        return sum(1 for p in self._pixels(rect) if max(p) < 80)

    def filled(self, bar):
        """The share of a progress bar's middle row drawn in the bar's blue."""
        x, y, w, h = bar
        row = (x + 2, y + h // 2, w - 4, 1)
        return sum(1 for r, g, b in self._pixels(row) if b > r + 100) / (w - 4)

    def button(self, centre_x, top):
        """'hidden', 'disabled' or 'enabled', from the frame line at the button's top."""
        frame = self.pixel(centre_x, top)
        if frame == BUTTON_FACE:
            return "hidden"
        return "disabled" if frame == DISABLED_FRAME else "enabled"

    # The wizard's buttons: Cancel, Back, Next (frame), Connect (page 3).
    def buttons(self):
        return (self.button(244, 360), self.button(388, 360), self.button(532, 359),
                self.button(248, 104))


def page1(f):
    return (f.buttons()[:3] == ("enabled", "hidden", "enabled")
            and f.count(RICH_EDIT1, WHITE) > RICH_EDIT1[2] * RICH_EDIT1[3] // 2)


def page2(f):
    return (f.buttons() == ("enabled", "enabled", "enabled", "hidden")
            and f.count(RICH_EDIT1, WHITE) < 1000 and f.ink(LIST_BOX1_TOP) > 200)


def page3(f):
    return f.buttons()[:2] == ("enabled", "enabled") and f.buttons()[3] != "hidden"


def keep_user_ticked(f):
    return page3(f) and f.ink(KEEP_USER_BOX) > 10


def connected(f):
    return (page3(f) and f.buttons()[2:] == ("enabled", "disabled")
            and f.count(LB_CONNECTED, GREEN) > LABEL and f.count(TXT_CONN_OK, GREEN) > MARK)


def not_connected(f):
    return f.count(LB_NOT_CONNECTED, RED) > LABEL or f.count(TXT_CONN_FAIL, RED) > MARK


def writing(f):
    return f.count(LB_WRITE_ON, OLIVE) > LABEL and f.buttons()[1:3] == ("disabled", "disabled")


def a_tenth_written(f):
    return writing(f) and f.filled(BAR_WRITE) >= 0.1


def update_succeeded(f):
    return (f.count(LB_WRITE_OK, GREEN) > LABEL and f.count(LB_VERIFY_OK, GREEN) > LABEL
            and f.filled(BAR_WRITE) > 0.99 and f.filled(BAR_VERIFY) > 0.99
            and f.count(TXT_WRITE_OK, GREEN) > MARK and f.ink(LIST_WRITE_OK) > 200
            and f.buttons()[:3] == ("enabled", "enabled", "enabled"))


def update_failed(f):
    return (f.count(TXT_WRITE_FAIL, RED) > MARK and f.ink(LIST_WRITE_FAIL) > 200
            and (f.count(LB_WRITE_ERR, RED) > LABEL or f.count(LB_VERIFY_ERR, RED) > LABEL)
            and f.buttons()[:3] == ("enabled", "enabled", "disabled"))


def page5(f):
    return (f.buttons()[:3] == ("hidden", "enabled", "enabled")
            and f.ink(LIST_BOX4_TOP) > 100 and f.count(TXT_WRITE_OK, GREEN) == 0)


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
        return Frame(ppm)

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


def update_by_keyboard(window, states=None):
    """The whole update with Enter alone after a Tab round of page 1: the focus starts on Next
    and each page hands it to the button that leads on. `states`: the module whose page tests
    judge the window (this one's by default)."""
    s = states or sys.modules[__name__]
    window.wait_for(s.page1)
    window.keys("Tab", "Escape", "Tab", "Tab")  # the welcome text, Cancel, Next
    window.wait_for(s.page1)
    # The page left behind may still show at the first look after a key, so only a failure
    # ends a wait early.
    for wanted, unless in ((s.page2, None), (s.page3, None), (s.connected, s.not_connected),
                           (s.update_succeeded, s.update_failed), (s.page5, None)):
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
