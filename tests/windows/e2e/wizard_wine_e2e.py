#!/usr/bin/env python3
"""ostrel-updater.exe under Wine on a virtual X server, its COM port a pty served by
ostrel-devsim, clicked through with xdotool as a person would. The window is judged from
screenshots: it has no frame on a display without a window manager, so its X window is its
client area and every control lies where the layout table puts it.

Usage: wizard_wine_e2e.py CASE --exe FILE --devsim FILE --flash FILE --data FILE --shots DIR
  update      Next, Next, Connect, Next, success, Next, OK: the tracker holds the release
  real-pace   the same at the real line's pace; prints the wall time of the update
  fault       the tracker stops answering mid-write: the failure display, Next disabled
  close       the window closed mid-update: the program ends, exit code 0
  arrival     a bridge arrival sent to the device window while page 1 shows: page 3 with the
              green pair (the bridge is entered in Wine's device lists for this case)
  scaled      page 1 at 150 % (LogPixels 144): the window keeps its proportions
  keyboard    the whole update by keyboard alone: Tab into the welcome text and out of it,
              Escape there (page 1 stays), then Enter on the button the focus reaches each time
"""
import contextlib
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "e2e"))
import wizard_e2e  # noqa: E402
import wizard_pages  # noqa: E402
from wizard_e2e import VirtualScreen, check, read  # noqa: E402

# The same layout and page checks as on Linux; only the buttons and bars are drawn otherwise.
from wizard_pages import (  # noqa: E402
    CANCEL, CONNECT, LABEL, LB_WRITE_ERR, NEXT, RED, RICH_EDIT1, WHITE, a_tenth_written,
    connected, not_connected, on_page, page1, page2, page3, page5, update_succeeded)

COM_PORT = 201  # above the machine's own ports: the scan, from the highest down, finds it first

# Cancel, Back, Next (frame) and Connect (page 3): (left, top, width, height).
BUTTONS = ((200, 360, 89, 25), (344, 360, 89, 25), (488, 359, 89, 25), on_page(8, 80, 89, 25))


class WineFrame(wizard_pages.Frame):
    """A screenshot of the window as Wine draws it: its own button frames and bar colours."""

    def face(self):
        """The button face, from the window's top-left corner."""
        return self.pixel(2, 2)

    def button_in(self, rect):
        """'hidden', 'disabled' or 'enabled': a button's frame line, then black (enabled) or
        grey (disabled) letters inside it."""
        x, y, w, h = rect
        if all(self.pixel(x + w // 2, y + d) == self.face() for d in (0, 1)):
            return "hidden"
        return "enabled" if self.ink((x + 4, y + 4, w - 8, h - 8)) > 15 else "disabled"

    def buttons(self):
        return tuple(self.button_in(rect) for rect in BUTTONS)

    def filled(self, bar):
        """The share of a progress bar's middle row in a colour of its own (neither face nor
        white nor grey): the bar's fill."""
        x, y, w, h = bar
        row = [self.pixel(x + i, y + h // 2) for i in range(2, w - 2)]
        return sum(1 for r, g, b in row if max(r, g, b) - min(r, g, b) > 60) / len(row)


def update_failed(f):
    # A failure here is the write's, shown on its own line.
    return wizard_pages.update_failed(f) and f.count(LB_WRITE_ERR, RED) > LABEL


class Wine:
    """Wine commands in the test's prefix (the environment's WINEPREFIX)."""

    def __init__(self, display):
        self.env = dict(os.environ, DISPLAY=display, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.prefix = self.env.get("WINEPREFIX") or os.path.expanduser("~/.wine")

    def com_link(self, number):
        return os.path.join(self.prefix, "dosdevices", f"com{number}")

    def start(self, exe, *args):
        return subprocess.Popen(["wine", exe, *args], env=self.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def reg(self, *args):
        subprocess.run(["wine", "reg", *args, "/f"], env=self.env, check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def set_log_pixels(self, dpi):
        self.reg("add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
                 "/d", str(dpi))


PORTS_CLASS = "{4d36e978-e325-11ce-bfc1-08002be10318}"
BRIDGE_INSTANCE = r"USB\VID_10C4&PID_EA60\0001"


class InstalledBridge:
    """The adapter as Windows' device setup lists it once plugged in: a Ports-class device named
    for its COM port, with a Ports interface. Wine lists no devices of its own."""

    def __init__(self, wine, number):
        self.wine, self.number = wine, number

    def keys(self):
        device = r"HKLM\System\CurrentControlSet\Enum" + "\\" + BRIDGE_INSTANCE
        interface = (r"HKLM\System\CurrentControlSet\Control\DeviceClasses" + "\\" + PORTS_CLASS
                     + "\\##?#" + BRIDGE_INSTANCE.replace("\\", "#") + "#" + PORTS_CLASS)
        return device, interface

    def __enter__(self):
        device, interface = self.keys()
        self.wine.reg("add", device, "/v", "ClassGUID", "/d", PORTS_CLASS)
        self.wine.reg("add", device, "/v", "FriendlyName",
                      "/d", f"Silicon Labs CP210x USB to UART Bridge (COM{self.number})")
        self.wine.reg("add", interface, "/v", "DeviceInstance", "/d", BRIDGE_INSTANCE)
        return self

    def __exit__(self, *exc):
        # Other tests rely on Wine's empty device lists.
        for key in self.keys():
            self.wine.reg("delete", key)


class Tracker:
    """ostrel-devsim serving the simulated tracker as a COM port of the prefix."""

    def __init__(self, devsim, link, memory, fast=True, fault=None):
        command = [devsim, "--link", link, "--dump", memory]
        if fast:
            command.append("--fast")
        if fault:
            command += ["--fault", fault]
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, text=True)
        self.process.stdout.readline()  # the port's path: it is served from now on
        self.minimum = None

    def stop(self):
        """Ends the simulator; the modelled minimum time of what it served, in seconds: its
        bytes on a 9600 baud line at 11 bit times each, plus 6 ms to store each block."""
        if self.minimum is not None:
            return self.minimum
        if self.process.poll() is None:
            self.process.terminate()
        summary = self.process.stdout.read()
        self.process.wait(timeout=30)
        check(self.process.returncode == 0, f"ostrel-devsim ended with {self.process.returncode}")
        served = re.search(r"from_host=(\d+) to_host=(\d+) block_writes=(\d+)", summary)
        check(served, "ostrel-devsim gave no summary")
        from_host, to_host, blocks = map(int, served.groups())
        self.minimum = (from_host + to_host) * 11 / 9600 + blocks * 0.006
        return self.minimum


class Window(wizard_e2e.Window):
    """The updater's window (its X window is named for the program, ostrel-updater.exe)."""

    frame = WineFrame


def exit_code(program, timeout=30):
    try:
        return program.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        program.kill()
        raise AssertionError(f"the program did not end within {timeout} s") from None


def shipped_memory(args, wine, work):
    """The simulated tracker's memory before anything is written to it."""
    memory = os.path.join(work, "shipped.bin")
    Tracker(args.devsim, wine.com_link(COM_PORT), memory).stop()
    return read(memory)


def walk_to_connected(window, shots):
    frame = window.wait_for(page1)
    if shots:
        window.save(frame, "win-1-welcome")
    window.click(NEXT)
    window.wait_for(page2)
    window.click(NEXT)
    window.wait_for(page3, unless=page2)
    window.click(CONNECT)
    frame = window.wait_for(connected, unless=not_connected)
    if shots:
        window.save(frame, "win-3-connected")


LOGO_NAVY = (0x16, 0x35, 0x5C)


class ClientArea(WineFrame):
    """The part of a screenshot of the whole screen where the window's client area lies."""

    def __init__(self, screen, origin):
        self.__dict__.update(screen.__dict__)
        self.origin = origin

    def pixel(self, x, y):
        return WineFrame.pixel(self, self.origin[0] + x, self.origin[1] + y)


def logo_corner(frame):
    """The logo's top-left pixel: the first from the top to begin a row of its navy wider than
    the program's icon, which the title bar shows in the same colours."""
    run = 40
    for y in range(frame.height):
        for x in range(frame.width - run):
            if all(frame.pixel(x + i, y) == LOGO_NAVY for i in range(run)):
                return x, y
    return None


def shown_at_150_percent(args, wine):
    """Page 1 with the system's text size at 150 %, in a Wine desktop of its own (the shared
    one keeps the size of the first display it met), framed as Windows frames it."""
    def scaled(*values):
        return tuple(v * 3 // 2 for v in values)

    wine.set_log_pixels(144)
    program = wine.start("explorer", "/desktop=ostrel150,1600x1200", args.exe)
    try:
        root = Window(wine.env["DISPLAY"], args.shots)
        root.id = "root"
        client = None

        def page1_scaled(frame):
            nonlocal client
            corner = logo_corner(frame)
            if corner is None:
                return False
            client = ClientArea(frame, (corner[0] - 24, corner[1] - 60))  # Image6 at (16, 40)
            return (client.button_in(scaled(*BUTTONS[2])) == "enabled"
                    and client.button_in(scaled(*BUTTONS[1])) == "hidden"
                    and client.count(scaled(*RICH_EDIT1), WHITE) > RICH_EDIT1[2] * RICH_EDIT1[3])

        frame = root.wait_for(page1_scaled)
        x, y = client.origin
        os.makedirs(args.shots, exist_ok=True)
        subprocess.run(["convert", "ppm:-", "-crop", f"943x674+{x - 5}+{y - 33}", "+repage",
                        "-strip", "-define", "png:exclude-chunks=date,time",
                        os.path.join(args.shots, "win-1-welcome-150.png")], input=frame.ppm,
                       check=True)
        cancel = scaled(*CANCEL)
        subprocess.run(["xdotool", "mousemove", str(x + cancel[0]), str(y + cancel[1]), "click",
                        "1"], env=wine.env, check=True)
        check(exit_code(program) == 0, "the Wine desktop did not end with the program")
    finally:
        if program.poll() is None:
            program.kill()
        wine.set_log_pixels(96)


def run_case(case, args, work, screen):
    wine = Wine(screen.display)
    if case == "scaled":
        shown_at_150_percent(args, wine)
        return

    flash, data = read(args.flash), read(args.data)
    shipped = shipped_memory(args, wine, work)
    check(shipped[0x8C00:0x10000] != flash, "the tracker already holds this program memory")
    memory = os.path.join(work, "memory.bin")
    fault = "silence:write:data@0x9000" if case == "fault" else None
    tracker = Tracker(args.devsim, wine.com_link(COM_PORT), memory,
                      fast=case not in ("real-pace", "close"), fault=fault)
    bridge = InstalledBridge(wine, COM_PORT) if case == "arrival" else contextlib.nullcontext()
    with bridge:
        run_program(case, args, wine, screen, tracker)
    if case == "close":
        check(read(memory)[0x8C00:0x10000] != flash, "the update went on after closing")
    if case in ("close", "fault", "arrival"):
        return
    tracker_memory = read(memory)
    check(tracker_memory[0x8C00:0x10000] == flash, "the program memory differs from the release")
    check(tracker_memory[0x1000:0x1400] == data, "the data memory differs from the release")


def run_program(case, args, wine, screen, tracker):
    """Starts the program and clicks it through `case`."""
    program = wine.start(args.exe)
    try:
        window = Window(screen.display, args.shots)
        window.find(program, timeout=60)
        if case == "arrival":
            window.wait_for(page1)
            notify = subprocess.run(["wine", args.notify], env=wine.env, stdin=subprocess.DEVNULL,
                                    capture_output=True, text=True)
            check(notify.returncode == 0, f"no device window to notify: {notify.stdout}")
            window.save(window.wait_for(connected, unless=page2), "win-3-connected-by-arrival")
            window.click(CANCEL)
            check(exit_code(program) == 0, "exit code")
            return
        if case == "keyboard":
            wizard_e2e.update_by_keyboard(window)
            check(exit_code(program) == 0, "exit code")
            return
        walk_to_connected(window, shots=case == "update")
        window.click(NEXT)
        started = time.monotonic()
        if case == "close":
            window.wait_for(a_tenth_written, unless=update_failed)
            window.click(CANCEL)
            check(exit_code(program) == 0, "exit code after closing mid-update")
            return
        if case == "fault":
            window.save(window.wait_for(update_failed, unless=update_succeeded),
                        "win-4-update-failure")
            window.click(CANCEL)
            check(exit_code(program) == 0, "exit code")
            return
        frame = window.wait_for(update_succeeded, timeout=300, unless=update_failed)
        wall = time.monotonic() - started
        if case == "update":
            window.save(frame, "win-4-update-success")
        window.click(NEXT)
        window.wait_for(page5)
        window.click(NEXT)  # "OK"
        check(exit_code(program) == 0, "exit code")
    finally:
        if program.poll() is None:
            program.kill()
        minimum = tracker.stop()
    if case == "real-pace":
        # The connection's few bytes count in the minimum too (about 15 ms).
        print(f"update through the window: {wall:.1f} s from Next to the success display; "
              f"modelled minimum of the line {minimum:.1f} s ({wall / minimum:.2f} times)")


def main():
    def arguments(parser):
        parser.add_argument("--exe", required=True, help="ostrel-updater.exe")
        parser.add_argument("--devsim", required=True, help="ostrel-devsim, built for this host")
        parser.add_argument("--notify", help="the program that sends a bridge arrival (arrival)")
        parser.add_argument("--flash", required=True, help="the release's program-memory block")
        parser.add_argument("--data", required=True, help="the release's data-memory block")
        parser.add_argument("--shots", required=True, help="folder for the screenshots")

    def screen(args):
        return VirtualScreen("1600x1200" if args.case == "scaled" else "1024x768")

    return wizard_e2e.run_cli(["update", "real-pace", "fault", "close", "arrival", "scaled",
                               "keyboard"],
                              arguments, "ostrel-wine-e2e-", run_case, wrap=screen)


if __name__ == "__main__":
    sys.exit(main())
