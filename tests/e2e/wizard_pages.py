"""What each page of the wizard looks like in a screenshot of its window's client area: the
layout is fixed, so every button and indicator has a known place and colour. The harnesses on
Linux (wizard_e2e.py) and under Wine (tests/windows/e2e) judge their windows by these checks;
a frame tells them its buttons and bars as its system draws them."""


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
