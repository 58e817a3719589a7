#!/usr/bin/python3
"""The updater as a screen reader hears it: the real program on a virtual X server behind the
simulated bridge, read through the accessibility bus (AT-SPI) while it is driven by keyboard.
Runs inside a private D-Bus session (dbus-run-session), which starts the accessibility bus.

Usage: dbus-run-session -- reader_atspi.py reader --bin DIR --flash FILE --data FILE --shots DIR
"""
import os
import sys
import time

import pyatspi

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wizard_e2e  # noqa: E402
from wizard_e2e import Bridge, VirtualScreen, Window, check  # noqa: E402

FORM_IDS = ("TabSheet", "PageControl1", "Panel1", "Image6", "ListBox")


def application(timeout=30):
    """The updater's tree on the accessibility bus, once its window is in it."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == "ostrel-updater" and app.childCount:
                return app
        time.sleep(0.1)  # polling interval
    raise AssertionError("the updater never showed on the accessibility bus")


def heard(node):
    """Every object below `node`: (role, name, child count, actions, showing)."""
    found = []
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        try:
            action = child.queryAction()
            actions = [action.getName(k) for k in range(action.nActions)]
        except NotImplementedError:
            actions = []
        found.append((child.getRoleName(), child.name, child.childCount, actions,
                      child.getState().contains(pyatspi.STATE_SHOWING)))
        found += heard(child)
    return found


def showing(app, result):
    """Whether the notification `result` shows: a reader says it as it appears."""
    return any(o[0] == "notification" and o[4] for o in named(heard(app), result))


def named(objects, name):
    return [o for o in objects if o[1] == name]


def check_reading(objects):
    """What every page says, shown or not."""
    roles = {o[0] for o in objects}
    check("list item" not in roles, "a text block is read line by line")
    for role, name, children, actions, _ in objects:
        check(not any(name.startswith(i) for i in FORM_IDS), f"a form id is read: {name}")
        check(role != "label" or not actions, f"the text {name!r} offers {actions}")
        check(role != "progress bar" or not actions, f"the bar {name!r} offers {actions}")
        check(role not in ("label", "notification") or children == 0,
              f"the text {name!r} has parts")
    version = named(objects, "Программа обновления встроенного программного обеспечения "
                             "изделия GPS Ostrel версия: v2.2.5 R27 дата: 11.11.2012")
    check(len(version) == 1 and version[0][0] == "label", "the version block is not one text")
    for bar in ("ЗАГРУЗКА:", "ПРОВЕРКА:"):
        check(any(o[0] == "progress bar" for o in named(objects, bar)), f"no bar named {bar}")
    check(len(named(objects, "успешно")) == 2 and len(named(objects, "ошибка")) == 2,
          "the marks are not named by their meaning")
    for result in ("УСТАНОВЛЕНО", "НЕ УСТАНОВЛЕНО",
                   'Обновление успешно завершено! Нажмите кнопку "Далее".'):
        check([o[0] for o in named(objects, result)] == ["notification"],
              f"{result} does not show as a notification")


def main():
    def run(case, args, work):
        with VirtualScreen() as screen:
            env = dict(os.environ, DISPLAY=screen.display, QT_QPA_PLATFORM="xcb",
                       QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                       XDG_RUNTIME_DIR=os.path.join(work, "runtime"))
            os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
            bridge = Bridge(args, env, os.path.join(work, "memory.bin"), fast=True,
                            program=os.path.join(args.bin, "ostrel-updater"))
            try:
                window = Window(screen.display, args.shots)
                window.find(bridge.process)
                window.wait_for(wizard_e2e.page1)
                app = application()
                check_reading(heard(app))
                window.keys("Return", "Return", "Return")  # Next, Next, Connect
                window.wait_for(wizard_e2e.connected, unless=wizard_e2e.not_connected)
                check(showing(app, "УСТАНОВЛЕНО") and not showing(app, "НЕ УСТАНОВЛЕНО"),
                      "the connection's result is not what the reader is told of")
                window.keys("Return")  # Next, which Connect handed the focus to
                window.wait_for(wizard_e2e.update_succeeded, timeout=90,
                                unless=wizard_e2e.update_failed)
                check(showing(app, 'Обновление успешно завершено! Нажмите кнопку "Далее".')
                      and not showing(app, "ОШИБКА!!!"),
                      "the update's result is not what the reader is told of")
                window.keys("Return", "Return")  # Next, "OK"
                code = bridge.exit_code()
            finally:
                bridge.stop()
        check(code == 0, f"ostrel-updater ended with exit code {code}")

    return wizard_e2e.run_cli(["reader"], wizard_e2e.arguments, "ostrel-reader-", run)


if __name__ == "__main__":
    sys.exit(main())
