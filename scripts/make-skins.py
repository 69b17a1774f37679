#!/usr/bin/env python3
"""Draws the flat skin pictures of the QML screens for 480P, 720P and 1080P
and the model's boot logo into qml/image/, then rewrites qml/qml.qrc so that it
lists every QML, JavaScript and picture file under qml/.

    scripts/make-skins.py            # both steps
    scripts/make-skins.py --qrc      # only the resource list

Plain Python (zlib) so that it needs nothing beyond the interpreter; the
pictures are simple shapes and a 5x7 pixel font, drawn to be readable."""
import os
import struct
import sys
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "qml")
SCALES = {"1080P": 1.5, "720P": 1.0, "480P": 0.6}
MODEL_DIR = "QM_NRV2Z_MAX"

FONT = {
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    "2": ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    "3": ["11110", "00001", "00001", "01110", "00001", "00001", "11110"],
    "4": ["00010", "00110", "01010", "10010", "11111", "00010", "00010"],
    "5": ["11111", "10000", "11110", "00001", "00001", "10001", "01110"],
    "6": ["00110", "01000", "10000", "11110", "10001", "10001", "01110"],
    "7": ["11111", "00001", "00010", "00100", "01000", "01000", "01000"],
    "8": ["01110", "10001", "10001", "01110", "10001", "10001", "01110"],
    "9": ["01110", "10001", "10001", "01111", "00001", "00010", "01100"],
    "-": ["00000", "00000", "00000", "11111", "00000", "00000", "00000"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "X": ["10001", "10001", "01010", "00100", "01010", "10001", "10001"],
    " ": ["00000"] * 7,
}

# Colours (RGBA).
CLEAR = (0, 0, 0, 0)
PANEL = (40, 38, 48, 235)
PANEL_EDGE = (122, 118, 134, 255)
FOCUS = (38, 150, 255, 255)
FOCUS_EDGE = (160, 210, 255, 255)
WHITE = (255, 255, 255, 255)
GREY = (150, 150, 160, 255)
DARK = (20, 20, 24, 255)
ORANGE = (255, 160, 40, 255)
GREEN = (90, 200, 90, 255)
TRACK = (70, 68, 80, 255)


class Canvas:
    def __init__(self, w, h, fill=CLEAR):
        self.w, self.h = max(1, int(w)), max(1, int(h))
        self.px = [list(fill) for _ in range(self.w * self.h)]

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y * self.w + x] = list(c)

    def rect(self, x0, y0, x1, y1, c):
        for y in range(max(0, int(y0)), min(self.h, int(y1))):
            for x in range(max(0, int(x0)), min(self.w, int(x1))):
                self.px[y * self.w + x] = list(c)

    def round_rect(self, x0, y0, x1, y1, r, c, left=True, right=True):
        r = max(0, int(r))
        for y in range(int(y0), int(y1)):
            for x in range(int(x0), int(x1)):
                cx = None
                if left and x < x0 + r:
                    cx = x0 + r
                elif right and x >= x1 - r:
                    cx = x1 - r - 1
                cy = None
                if y < y0 + r:
                    cy = y0 + r
                elif y >= y1 - r:
                    cy = y1 - r - 1
                if cx is not None and cy is not None and (x - cx) ** 2 + (y - cy) ** 2 > r * r:
                    continue
                self.put(x, y, c)

    def circle(self, cx, cy, r, c):
        for y in range(int(cy - r), int(cy + r) + 1):
            for x in range(int(cx - r), int(cx + r) + 1):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.put(x, y, c)

    def polygon(self, pts, c):
        ys = [p[1] for p in pts]
        for y in range(int(min(ys)), int(max(ys)) + 1):
            yc = y + 0.5
            xs = []
            for i in range(len(pts)):
                (xa, ya), (xb, yb) = pts[i], pts[(i + 1) % len(pts)]
                if (ya <= yc < yb) or (yb <= yc < ya):
                    xs.append(xa + (yc - ya) * (xb - xa) / (yb - ya))
            xs.sort()
            for i in range(0, len(xs) - 1, 2):
                for x in range(int(round(xs[i])), int(round(xs[i + 1]))):
                    self.put(x, y, c)

    def text(self, s, cx, cy, height, c):
        """Centres the text at (cx, cy) with glyphs `height` pixels high."""
        cell = max(1, int(height / 7))
        adv = 6 * cell
        width = len(s) * adv - cell
        x0 = int(cx - width / 2)
        y0 = int(cy - 7 * cell / 2)
        for i, ch in enumerate(s):
            rows = FONT[ch]
            for ry, row in enumerate(rows):
                for rx, bit in enumerate(row):
                    if bit == "1":
                        self.rect(x0 + i * adv + rx * cell, y0 + ry * cell,
                                  x0 + i * adv + (rx + 1) * cell, y0 + (ry + 1) * cell, c)

    def png(self):
        raw = b"".join(b"\x00" + bytes(v for p in self.px[y * self.w:(y + 1) * self.w] for v in p)
                       for y in range(self.h))

        def chunk(tag, data):
            return (struct.pack(">I", len(data)) + tag + data
                    + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def slices(prefix, w, h, fill, edge, radius, out, names=("left", "center", "right")):
    """Three-slice skin: rounded left end, a stretchable centre, rounded right end."""
    left, center, right = names
    c = Canvas(w, h)
    c.round_rect(0, 0, w + radius, h, radius, edge, right=False)
    c.round_rect(2, 2, w + radius, h - 2, max(0, radius - 2), fill, right=False)
    out[prefix + left] = c
    c = Canvas(max(1, w // 2), h)
    c.rect(0, 0, c.w, h, edge)
    c.rect(0, 2, c.w, h - 2, fill)
    out[prefix + center] = c
    c = Canvas(w, h)
    c.round_rect(-radius, 0, w, h, radius, edge, left=False)
    c.round_rect(-radius, 2, w - 2, h - 2, max(0, radius - 2), fill, left=False)
    out[prefix + right] = c


def badge(s, label, fill=PANEL, fg=WHITE, w=None):
    size = int(48 * s)
    c = Canvas(w or size, size)
    c.round_rect(0, 0, c.w, c.h, int(8 * s), fill)
    c.text(label, c.w / 2, c.h / 2, int(c.h * 0.45), fg)
    return c


def draw_resolution(s):
    out = {}
    box_h, r = int(56 * s), int(12 * s)
    slices("box1_", int(20 * s), box_h, PANEL, PANEL_EDGE, r, out)
    slices("box1_s_", int(20 * s), box_h, FOCUS, FOCUS_EDGE, r, out)
    slices("menubox_", int(20 * s), box_h, PANEL, PANEL_EDGE, r, out)
    slices("tablebox_", int(16 * s), int(62 * s), PANEL, PANEL_EDGE, int(6 * s), out)
    slices("titlebox1_", int(24 * s), int(64 * s), DARK, PANEL_EDGE, r, out)
    slices("titlebox2_", int(24 * s), int(100 * s), DARK, PANEL_EDGE, r, out)
    slices("03_program_box1_", int(20 * s), box_h, PANEL, PANEL_EDGE, r, out)
    slices("001_prbar_", int(12 * s), int(24 * s), TRACK, PANEL_EDGE, int(12 * s), out)
    slices("001_prbar2_", int(12 * s), int(24 * s), FOCUS, FOCUS, int(12 * s), out)
    slices("001_btn_close_", int(20 * s), int(48 * s), GREY, WHITE, int(12 * s), out)

    bar = Canvas(int(24 * s), int(24 * s))
    bar.circle(bar.w / 2, bar.h / 2, bar.w / 2, FOCUS)
    out["001_prbar1"] = bar

    # Nine-slice popup frame.
    k = int(24 * s)
    for name, (l, t, rr, b) in {
        "popup_top_left": (1, 1, 0, 0), "popup_top_center": (0, 1, 0, 0), "popup_top_right": (0, 1, 1, 0),
        "popup_left_center": (1, 0, 0, 0), "popup_right_center": (0, 0, 1, 0),
        "popup_bottom_left": (1, 0, 0, 1), "popup_bottom_center": (0, 0, 0, 1), "popup_bottom_right": (0, 0, 1, 1),
    }.items():
        c = Canvas(k, k, PANEL)
        if l:
            c.rect(0, 0, 3, k, PANEL_EDGE)
        if rr:
            c.rect(k - 3, 0, k, k, PANEL_EDGE)
        if t:
            c.rect(0, 0, k, 3, PANEL_EDGE)
        if b:
            c.rect(0, k - 3, k, k, PANEL_EDGE)
        out[name] = c

    menu = Canvas(int(360 * s), box_h)
    menu.round_rect(0, 0, menu.w, menu.h, r, PANEL_EDGE)
    menu.round_rect(2, 2, menu.w - 2, menu.h - 2, r - 2, PANEL)
    out["001_menu_box"] = menu

    # Remote-control buttons named in the guide bars.
    size = int(48 * s)
    for name, label, fill in (("001_btn_broadcasting", "TV", GREEN), ("001_btn_close", "X", GREY),
                              ("001_btn_close_center", "", GREY), ("001_btn_decision", "OK", FOCUS)):
        c = Canvas(size, size)
        c.circle(size / 2, size / 2, size / 2, fill)
        if label:
            c.text(label, size / 2, size / 2, int(size * 0.4), WHITE)
        out[name] = c
    for name, dirs in (("001_btn_direction_2vertical", "ud"), ("001_btn_direction_3bottom", "dlr"),
                       ("001_btn_direction_3left", "udl"), ("001_btn_direction_3right", "udr"),
                       ("001_btn_direction_all", "udlr")):
        c = Canvas(size, size)
        c.circle(size / 2, size / 2, size / 2, GREY)
        m, a = size / 2, size * 0.18
        if "u" in dirs:
            c.polygon([(m - a, m - a * 0.6), (m + a, m - a * 0.6), (m, m - a * 2.2)], WHITE)
        if "d" in dirs:
            c.polygon([(m - a, m + a * 0.6), (m + a, m + a * 0.6), (m, m + a * 2.2)], WHITE)
        if "l" in dirs:
            c.polygon([(m - a * 0.6, m - a), (m - a * 0.6, m + a), (m - a * 2.2, m)], WHITE)
        if "r" in dirs:
            c.polygon([(m + a * 0.6, m - a), (m + a * 0.6, m + a), (m + a * 2.2, m)], WHITE)
        out[name] = c

    icon = int(64 * s)
    for stem, label in (("channel", "CH"), ("etc", "ETC"), ("watching", "TV")):
        for state, fill in (("normal", PANEL), ("select", FOCUS)):
            c = Canvas(icon, icon)
            c.round_rect(0, 0, icon, icon, int(10 * s), fill)
            c.text(label, icon / 2, icon / 2, int(icon * 0.3), WHITE)
            out["001_ic_%s_setting_%s" % (stem, state)] = c

    # Status bar.
    for n in range(1, 13):
        out["01_screen_num%d" % n] = badge(s, str(n), w=int((48 if n < 10 else 64) * s))
    for n in range(10):
        out["01_screen_s_num%d" % n] = badge(s, str(n), w=int(30 * s))
    hyphen = Canvas(int(16 * s), int(48 * s))
    hyphen.text("-", hyphen.w / 2, hyphen.h / 2, int(hyphen.h * 0.45), WHITE)
    out["01_screen_num_hyphen"] = hyphen
    out["01_screen_1seg"] = badge(s, "1SEG", ORANGE, DARK, int(72 * s))
    out["01_screen_fullseg"] = badge(s, "FULL", GREEN, DARK, int(72 * s))
    out["01_screen_fullseg2"] = badge(s, "FULL", GREEN, DARK, int(72 * s))
    out["01_screen_fullseg3"] = badge(s, "FULL", GREEN, DARK, int(72 * s))
    out["01_screen_home"] = badge(s, "HOME", PANEL, WHITE, int(72 * s))
    out["01_screen_drive"] = badge(s, "DRIVE", PANEL, WHITE, int(80 * s))
    for level in range(4):
        c = Canvas(size, size)
        c.round_rect(0, 0, size, size, int(8 * s), PANEL)
        for i in range(3):
            h = size * (0.25 + 0.2 * i)
            x0 = size * (0.2 + 0.22 * i)
            c.rect(x0, size * 0.85 - h, x0 + size * 0.16, size * 0.85, WHITE if i < level else TRACK)
        out["01_screen_antenna_%d" % level] = c
    for name, muted in (("01_screen_volume_on", False), ("01_screen_volume_off", True)):
        c = Canvas(size, size)
        c.rect(size * 0.15, size * 0.38, size * 0.35, size * 0.62, WHITE)
        c.polygon([(size * 0.3, size * 0.38), (size * 0.55, size * 0.15),
                   (size * 0.55, size * 0.85), (size * 0.3, size * 0.62)], WHITE)
        if muted:
            c.text("X", size * 0.78, size / 2, int(size * 0.35), (255, 80, 80, 255))
        else:
            c.rect(size * 0.65, size * 0.35, size * 0.7, size * 0.65, WHITE)
            c.rect(size * 0.78, size * 0.25, size * 0.83, size * 0.75, WHITE)
        out[name] = c

    for name, label in (("02_channel_circle", ""), ("02_channel_home", "H"), ("02_channel_drive", "D")):
        c = Canvas(size, size)
        c.circle(size / 2, size / 2, size / 2, FOCUS)
        if label:
            c.text(label, size / 2, size / 2, int(size * 0.45), WHITE)
        out[name] = c
    for name, up in (("04_day_setting_arrow_up", True), ("04_day_setting_arrow_down", False)):
        c = Canvas(size, size // 2)
        if up:
            c.polygon([(0, c.h), (c.w, c.h), (c.w / 2, 0)], WHITE)
        else:
            c.polygon([(0, 0), (c.w, 0), (c.w / 2, c.h)], WHITE)
        out[name] = c

    dot = max(4, int(16 * s))
    shades = [(90, 90, 100, 255), (130, 130, 145, 255), (175, 175, 190, 255), (215, 215, 230, 255), (255, 255, 255, 255)]
    for i, name in enumerate(["08_Keyscreen_load_default"] + ["08_Keyscreen_loading%d" % n for n in range(1, 5)]):
        c = Canvas(dot, dot)
        c.circle(dot / 2, dot / 2, dot / 2, shades[i])
        out[name] = c
    return out


def boot_logo():
    c = Canvas(640, 360, (0, 0, 0, 255))
    c.round_rect(120, 110, 520, 250, 24, PANEL_EDGE)
    c.round_rect(124, 114, 516, 246, 20, DARK)
    c.text("HOLVIK", 320, 160, 49, WHITE)
    c.text("ISDB-T", 320, 215, 28, FOCUS)
    return c


def write(path, canvas):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(canvas.png())


def write_qrc():
    files = []
    for base, dirs, names in os.walk(ROOT):
        dirs.sort()
        for n in sorted(names):
            if n.endswith((".qml", ".js", ".png")):
                files.append(os.path.relpath(os.path.join(base, n), ROOT))
    files.sort(key=lambda f: (f.count("/") > 0 and f.startswith("image/"), f))
    lines = ["<RCC>", '    <qresource prefix="/">']
    lines += ["        <file>%s</file>" % f for f in files]
    lines += ["    </qresource>", "</RCC>", ""]
    with open(os.path.join(ROOT, "qml.qrc"), "w") as f:
        f.write("\n".join(lines))


def main():
    if "--qrc" not in sys.argv:
        for res, s in SCALES.items():
            for stem, canvas in draw_resolution(s).items():
                write(os.path.join(ROOT, "image", res, stem + ".png"), canvas)
        write(os.path.join(ROOT, "image", MODEL_DIR, "expand_sys2.png"), boot_logo())
    write_qrc()


if __name__ == "__main__":
    main()
