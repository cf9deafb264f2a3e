#!/usr/bin/env python3
"""Draws Verolux's icons and logo and writes them into resources/.

    python3 tools/make_images.py [OUTPUT_DIR]

Writes app.ico (icon 127), the eight task button icons task_*.ico (128-135) and
logo.bmp (bitmap 117). Shapes are drawn by the small coverage rasteriser below
(signed distance functions, 4 x 4 samples per pixel), so they come out the same on
every machine; only the task names and the wordmark go through ImageMagick, with
the DejaVu fonts of Debian's fonts-dejavu-core and fonts-dejavu-extra.

The task button icons are 24-bit with a 1-bit mask, so they cannot carry partial
transparency: edge pixels are blended against a light button face and the mask
keeps every pixel that is at least a third covered. The busy twin of each icon has
an all-black colour plane and a hard mask tracing the picture's outlines and the
task's name, which is what DrawState with DSS_DISABLED turns into an embossed
outline (it maps black to the shadow colour and leaves white alone, so the busy
image must hold no other colour).
"""

import math
import os
import shutil
import struct
import subprocess
import sys

SUPERSAMPLE = 4

# The colour that anti-aliased edges of the 24-bit icons and the logo fade into:
# the classic and themed button faces are all close to this grey.
BUTTON_FACE = (0xF0, 0xF0, 0xF0)

# A 24-bit icon pixel stays opaque when its coverage reaches this.
MASK_THRESHOLD = 1.0 / 3.0

FONT_DIR = "/usr/share/fonts/truetype/dejavu"
TASK_FONT = os.path.join(FONT_DIR, "DejaVuSansCondensed-Bold.ttf")  # fonts-dejavu-extra
LOGO_FONT = os.path.join(FONT_DIR, "DejaVuSans-Bold.ttf")            # fonts-dejavu-core

TASK_ICON_WIDTH = 90
TASK_ICON_HEIGHT = 71


# --- Colours and paints ------------------------------------------------------

def rgb(hex_text):
    value = int(hex_text.lstrip("#"), 16)
    return ((value >> 16) / 255.0, ((value >> 8) & 0xFF) / 255.0, (value & 0xFF) / 255.0)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def solid(colour, alpha=1.0):
    c = rgb(colour) if isinstance(colour, str) else colour
    return lambda x, y: (c[0], c[1], c[2], alpha)


def _ramp(stops, t):
    t = min(1.0, max(0.0, t))
    for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
        if t <= t1:
            return mix(c0, c1, 0.0 if t1 == t0 else (t - t0) / (t1 - t0))
    return stops[-1][1]


def linear(x0, y0, x1, y1, stops, alpha=1.0):
    """Gradient along the line (x0, y0) -> (x1, y1); stops are (offset, "#rrggbb")."""
    stops = [(t, rgb(c)) for t, c in stops]
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def paint(x, y):
        c = _ramp(stops, ((x - x0) * dx + (y - y0) * dy) / length2)
        return (c[0], c[1], c[2], alpha)
    return paint


def radial(cx, cy, r, stops, alpha=1.0):
    stops = [(t, rgb(c)) for t, c in stops]

    def paint(x, y):
        c = _ramp(stops, math.hypot(x - cx, y - cy) / r)
        return (c[0], c[1], c[2], alpha)
    return paint


# --- Shapes as signed distance functions (negative inside) -------------------

class Shape:
    def __init__(self, sdf, bounds):
        self.sdf = sdf
        self.bounds = bounds  # x0, y0, x1, y1

    def __or__(self, other):
        a, b = self.sdf, other.sdf
        return Shape(lambda x, y: min(a(x, y), b(x, y)),
                     (min(self.bounds[0], other.bounds[0]), min(self.bounds[1], other.bounds[1]),
                      max(self.bounds[2], other.bounds[2]), max(self.bounds[3], other.bounds[3])))

    def __and__(self, other):
        a, b = self.sdf, other.sdf
        return Shape(lambda x, y: max(a(x, y), b(x, y)),
                     (max(self.bounds[0], other.bounds[0]), max(self.bounds[1], other.bounds[1]),
                      min(self.bounds[2], other.bounds[2]), min(self.bounds[3], other.bounds[3])))

    def __sub__(self, other):
        a, b = self.sdf, other.sdf
        return Shape(lambda x, y: max(a(x, y), -b(x, y)), self.bounds)

    def grow(self, r):
        a = self.sdf
        x0, y0, x1, y1 = self.bounds
        return Shape(lambda x, y: a(x, y) - r, (x0 - r, y0 - r, x1 + r, y1 + r))

    def rim(self, width):
        """The band of the given width just inside the outline."""
        a = self.sdf
        return Shape(lambda x, y: max(a(x, y), -a(x, y) - width), self.bounds)

    def line(self, width):
        """A stroke of the given width centred on the outline."""
        a = self.sdf
        h = width / 2.0
        x0, y0, x1, y1 = self.bounds
        return Shape(lambda x, y: abs(a(x, y)) - h, (x0 - h, y0 - h, x1 + h, y1 + h))


def circle(cx, cy, r):
    return Shape(lambda x, y: math.hypot(x - cx, y - cy) - r, (cx - r, cy - r, cx + r, cy + r))


def box(x0, y0, x1, y1, radius=0.0):
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hx, hy = (x1 - x0) / 2.0 - radius, (y1 - y0) / 2.0 - radius

    def sdf(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - radius
    return Shape(sdf, (x0, y0, x1, y1))


def capsule(ax, ay, bx, by, r):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def sdf(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        return math.hypot(x - ax - dx * t, y - ay - dy * t) - r
    return Shape(sdf, (min(ax, bx) - r, min(ay, by) - r, max(ax, bx) + r, max(ay, by) + r))


def polyline(points, r):
    shape = capsule(*points[0], *points[1], r)
    for a, b in zip(points[1:], points[2:]):
        shape = shape | capsule(*a, *b, r)
    return shape


def polygon(points):
    n = len(points)

    def sdf(x, y):
        d = float("inf")
        inside = False
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[i - 1]
            ex, ey = bx - ax, by - ay
            wx, wy = x - ax, y - ay
            t = max(0.0, min(1.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
            d = min(d, math.hypot(wx - ex * t, wy - ey * t))
            if (ay > y) != (by > y) and x < ax + (y - ay) * ex / ey:
                inside = not inside
        return -d if inside else d
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return Shape(sdf, (min(xs), min(ys), max(xs), max(ys)))


def along(origin, angle, u, v):
    """The point u along and v across a direction at angle (degrees, y down)."""
    a = math.radians(angle)
    return (origin[0] + u * math.cos(a) - v * math.sin(a),
            origin[1] + u * math.sin(a) + v * math.cos(a))


def scaled(points, s, dx=0.0, dy=0.0):
    return [(x * s + dx, y * s + dy) for x, y in points]


# --- Canvas ------------------------------------------------------------------

class Canvas:
    """Premultiplied RGBA in floats; draws shapes with area coverage."""

    def __init__(self, width, height):
        self.width, self.height = width, height
        # Shapes and paints are given in picture units; place() maps them here.
        self.scale, self.dx, self.dy = 1.0, 0.0, 0.0
        self.r = [0.0] * (width * height)
        self.g = [0.0] * (width * height)
        self.b = [0.0] * (width * height)
        self.a = [0.0] * (width * height)

    def _over(self, i, colour, alpha):
        keep = 1.0 - alpha
        self.r[i] = colour[0] * alpha + self.r[i] * keep
        self.g[i] = colour[1] * alpha + self.g[i] * keep
        self.b[i] = colour[2] * alpha + self.b[i] * keep
        self.a[i] = alpha + self.a[i] * keep

    def place(self, scale, dx, dy):
        """Picture units (x, y) land on pixel (x * scale + dx, y * scale + dy)."""
        self.scale, self.dx, self.dy = scale, dx, dy

    def fill(self, shape, paint, opacity=1.0):
        s, dx, dy = self.scale, self.dx, self.dy
        f0, p0 = shape.sdf, paint
        f = lambda x, y: s * f0((x - dx) / s, (y - dy) / s)
        paint = lambda x, y: p0((x - dx) / s, (y - dy) / s)
        x0, y0, x1, y1 = (b * s + (dx if k % 2 == 0 else dy) for k, b in enumerate(shape.bounds))
        px0, py0 = max(0, int(math.floor(x0)) - 1), max(0, int(math.floor(y0)) - 1)
        px1, py1 = min(self.width, int(math.ceil(x1)) + 1), min(self.height, int(math.ceil(y1)) + 1)
        offsets = [(k + 0.5) / SUPERSAMPLE for k in range(SUPERSAMPLE)]
        samples = float(SUPERSAMPLE * SUPERSAMPLE)
        for py in range(py0, py1):
            for px in range(px0, px1):
                # A pixel whose centre lies farther than its half diagonal from the
                # outline is wholly inside or outside: no need to sample it.
                d = f(px + 0.5, py + 0.5)
                if d >= 0.75:
                    continue
                if d <= -0.75:
                    coverage = 1.0
                else:
                    hits = 0
                    for oy in offsets:
                        for ox in offsets:
                            if f(px + ox, py + oy) <= 0.0:
                                hits += 1
                    if hits == 0:
                        continue
                    coverage = hits / samples
                c = paint(px + 0.5, py + 0.5)
                self._over(py * self.width + px, c, c[3] * coverage * opacity)

    def fill_coverage(self, coverage, left, top, width, height, paint):
        """Composites a grey coverage map (0..1 per pixel), such as rendered text."""
        for y in range(height):
            for x in range(width):
                cov = coverage[y * width + x]
                cx, cy = left + x, top + y
                if cov <= 0.0 or not (0 <= cx < self.width and 0 <= cy < self.height):
                    continue
                c = paint(cx + 0.5, cy + 0.5)
                self._over(cy * self.width + cx, c, c[3] * cov)

    def straight_rgb_over(self, background):
        """8-bit colours composited over an opaque background, row by row from the top."""
        bg = [v / 255.0 for v in background]
        out = []
        for i in range(self.width * self.height):
            keep = 1.0 - self.a[i]
            out.append(tuple(int(round(255.0 * min(1.0, c + bg[k] * keep)))
                             for k, c in enumerate((self.r[i], self.g[i], self.b[i]))))
        return out


# --- Text through ImageMagick -------------------------------------------------

def imagemagick():
    for name in ("magick", "convert"):
        path = shutil.which(name)
        if path:
            return path
    sys.exit("make_images: ImageMagick is missing (apt-get install imagemagick)")


def check_fonts():
    missing = [f for f in (TASK_FONT, LOGO_FONT) if not os.path.isfile(f)]
    if missing:
        sys.exit("make_images: font(s) missing: %s\n"
                 "install them with: apt-get install fonts-dejavu-core fonts-dejavu-extra"
                 % ", ".join(missing))


def render_text(text, font, pixels):
    """Returns (coverage, width, height, ink box) of one line of text at the given
    pixel size; the line's top is its ascent, so lines of one font share a baseline."""
    command = [imagemagick(), "-background", "black", "-fill", "white", "-font", font,
               "-density", "72", "-pointsize", str(pixels), "label:" + text,
               "-depth", "8", "-format", "%w %h\n", "-write", "info:-", "gray:-"]
    raw = subprocess.run(command, check=True, stdout=subprocess.PIPE).stdout
    header, _, data = raw.partition(b"\n")
    width, height = (int(v) for v in header.split())
    if len(data) != width * height:
        sys.exit("make_images: unexpected output from ImageMagick for %r" % text)
    coverage = [v / 255.0 for v in data]
    inked = [(i % width, i // width) for i, v in enumerate(coverage) if v > 0.0]
    ink = (min(p[0] for p in inked), min(p[1] for p in inked),
           max(p[0] for p in inked) + 1, max(p[1] for p in inked) + 1)
    return coverage, width, height, ink


def draw_text_line(canvas, text, font, pixels, top, paint, centre_x):
    """Draws one line of text whose ink is centred on centre_x, at a whole pixel so
    that the glyphs stay as sharp as FreeType made them."""
    coverage, width, height, ink = render_text(text, font, pixels)
    left = int(math.floor(centre_x - (ink[2] - ink[0]) / 2.0 + 0.5)) - ink[0]
    canvas.fill_coverage(coverage, left, top, width, height, paint)


# --- Shared palette -------------------------------------------------------------

INK = "#1F2933"                 # task names
STEEL = [(0.0, "#F7F9FB"), (0.55, "#C9D1D9"), (1.0, "#9AA5B1")]
STEEL_EDGE = "#56616D"
GREEN = [(0.0, "#8EDB7E"), (0.6, "#43A047"), (1.0, "#2E7D32")]
GREEN_EDGE = "#1B5E20"


# --- Task pictures ---------------------------------------------------------------
#
# Each picture is drawn twice from the same shapes: in colour for the normal icon and
# as line work for the busy icon. Pictures are drawn in the units of the 90-pixel-wide
# image, within x 21..69 and y 1..41 and centred on x = 45; PICTURE_PLACE then moves
# them down, or shrinks them to leave room for a name on two lines.

def drive_picture(colour, lines):
    """A silver disc going into a drive."""
    disc = circle(45, 19, 15.5)
    hub = circle(45, 19, 5.5)
    hole = circle(45, 19, 2.2)
    body = box(21, 24.5, 69, 40.5, 3)
    slot = box(27, 29.5, 63, 31.5, 1)
    led = circle(61.5, 35.5, 1.6)
    button = box(49, 34.5, 56, 36.5, 1)

    # Disc: silver with a faint coloured sheen, the hub a clearer ring, a hole.
    colour.fill(disc - hole, linear(32, 6, 58, 32, [(0.0, "#FFFFFF"), (0.35, "#DCE3EA"),
                                                   (0.5, "#EAF2FF"), (0.65, "#D4DBE6"),
                                                   (1.0, "#AAB5C2")]))
    colour.fill(disc.rim(1.0), solid(STEEL_EDGE))
    colour.fill(circle(45, 19, 11) - circle(45, 19, 10.2), solid("#FFFFFF", 0.55))
    colour.fill(hub - hole, solid("#E9EEF3"))
    colour.fill(hub.rim(0.9), solid("#8B97A4"))
    colour.fill(hole.line(0.9), solid("#6B7785"))

    # Drive: a light casing shaded towards the bottom, its tray slot, eject button and LED.
    colour.fill(body, linear(0, 24.5, 0, 40.5, [(0.0, "#FAFBFC"), (1.0, "#B8C1CB")]))
    colour.fill(body.rim(1.0), solid(STEEL_EDGE))
    colour.fill(box(22, 25.5, 68, 26.5), solid("#FFFFFF", 0.9))
    colour.fill(slot, solid("#2B333C"))
    colour.fill(box(27, 31.5, 63, 32.3), solid("#FFFFFF", 0.8))
    colour.fill(button, linear(0, 34.5, 0, 36.5, [(0.0, "#9AA5B1"), (1.0, "#6B7785")]))
    colour.fill(led.grow(0.9), solid("#2E7D32", 0.35))
    colour.fill(led, radial(61, 35, 2.0, [(0.0, "#C8FFB0"), (1.0, "#2FA83A")]))

    lines.fill(disc.rim(1.2) - body.grow(0.5), solid("#000000"))
    lines.fill(hub.rim(1.2) - body.grow(0.5), solid("#000000"))
    lines.fill(hole.grow(1.0) - hole, solid("#000000"))
    lines.fill(body.rim(1.2), solid("#000000"))
    lines.fill(slot, solid("#000000"))
    lines.fill(button, solid("#000000"))
    lines.fill(led, solid("#000000"))


def paper_picture(colour, lines):
    """A sheet of paper with a turned-down corner and lines of text."""
    left, top, right, bottom, fold = 31.5, 1.5, 59.5, 41.0, 9.0
    sheet = polygon([(left, top), (right - fold, top), (right, top + fold),
                     (right, bottom), (left, bottom)])
    corner = polygon([(right - fold, top), (right - fold, top + fold), (right, top + fold)])
    # A soft shadow to the lower right lifts the sheet off the button.
    shadow = polygon([(left + 2, top + 2), (right - fold + 2, top + 2), (right + 1.5, top + fold + 2),
                      (right + 1.5, bottom + 1.2), (left + 2, bottom + 1.2)])
    colour.fill(shadow, solid("#000000", 0.13))
    colour.fill(sheet, linear(left, top, right, bottom, [(0.0, "#FFFFFF"), (1.0, "#E4EAF0")]))
    colour.fill(sheet.rim(1.0), solid("#6B7785"))
    colour.fill(corner, linear(right - fold, top + fold, right - fold / 2, top + fold / 2,
                               [(0.0, "#C9D3DD"), (1.0, "#F4F7FA")]))
    colour.fill(corner.rim(1.0), solid("#6B7785"))
    text_lines = [(36, 14.5, 47), (36, 19.5, 54.5), (36, 24.5, 54.5), (36, 29.5, 51), (36, 34.5, 54.5)]
    colour.fill(box(36, 8.0, 46, 10.0, 1), solid("#3B78C2"))
    for x0, y, x1 in text_lines:
        colour.fill(box(x0, y - 0.9, x1, y + 0.9, 0.9), solid("#9AA7B5"))

    lines.fill(sheet.rim(1.2), solid("#000000"))
    lines.fill(corner.rim(1.2), solid("#000000"))
    lines.fill(box(36, 8.0, 46, 10.0), solid("#000000"))
    for x0, y, x1 in text_lines:
        lines.fill(box(x0, y - 0.5, x1, y + 0.5), solid("#000000"))


def check_picture(colour, lines):
    """A white check mark in a green disc."""
    cx, cy, r = 45.0, 21.0, 19.5
    disc = circle(cx, cy, r)
    tick_points = [(36.0, 21.5), (42.5, 28.0), (55.0, 14.0)]
    tick = polyline(tick_points, 2.6)

    colour.fill(disc.grow(0.8), solid("#000000", 0.12))
    colour.fill(disc, radial(cx - 6, cy - 8, r * 1.6, GREEN))
    colour.fill(disc.rim(1.0), solid(GREEN_EDGE))
    # Gloss on the upper half.
    gloss = circle(cx, cy - 7.5, 14.5) & circle(cx, cy, r - 2.0)
    colour.fill(gloss, linear(0, cy - 18, 0, cy + 2, [(0.0, "#FFFFFF"), (1.0, "#C8F0C0")]), 0.28)
    colour.fill(polyline([(x, y + 1.2) for x, y in tick_points], 2.6), solid("#0B3D12", 0.35))
    colour.fill(tick, solid("#FFFFFF"))

    lines.fill(disc.rim(1.2), solid("#000000"))
    lines.fill(tick.rim(1.2), solid("#000000"))


def tools_picture(colour, lines):
    """An open-ended wrench crossed with a screwdriver."""
    # Line work is drawn in picture units; keep it about a pixel wide when scaled down.
    lw = 1.2 / lines.scale
    # Wrench from lower left to upper right, its open jaw at the top, set at the usual
    # 15 degrees to the handle.
    w_tail, w_head = (28.0, 38.5), (56.5, 10.0)
    angle = math.degrees(math.atan2(w_head[1] - w_tail[1], w_head[0] - w_tail[0]))
    handle = capsule(*w_tail, *along(w_head, angle, -6.0, 0.0), 3.1)
    head = circle(*w_head, 8.4)
    jaw = Shape(_rotated(box(-3.2, -2.6, 12.0, 2.6, 0.6).sdf, w_head, angle - 15.0),
                (w_head[0] - 14, w_head[1] - 14, w_head[0] + 14, w_head[1] + 14))
    hang_hole = circle(*along(w_tail, angle, 2.2, 0.0), 1.3)
    wrench = (handle | head) - jaw - hang_hole

    # Screwdriver from the grip at lower right to the blade at upper left.
    s_butt, s_tip = (61.0, 39.0), (27.0, 5.0)
    s_angle = math.degrees(math.atan2(s_tip[1] - s_butt[1], s_tip[0] - s_butt[0]))

    def sd(u, v=0.0):
        return along(s_butt, s_angle, u, v)
    grip = capsule(*sd(4.2), *sd(17.0), 4.3)
    ferrule = capsule(*sd(19.0), *sd(21.0), 2.5)
    shaft = capsule(*sd(20.5), *sd(42.0), 1.45)
    blade = polygon([sd(40.0, -1.45), sd(45.0, -2.1), sd(47.5, -1.6), sd(47.5, 1.6),
                     sd(45.0, 2.1), sd(40.0, 1.45)])
    steel = shaft | blade

    colour.fill(wrench.grow(0.6), solid("#000000", 0.10))
    colour.fill(wrench, linear(*along(w_head, angle, 0, -8), *along(w_head, angle, 0, 8), STEEL))
    colour.fill(wrench.rim(1.0), solid(STEEL_EDGE))
    colour.fill(capsule(*along(w_tail, angle, 7.0, 0.0), *along(w_head, angle, -11.0, 0.0), 0.8),
                solid("#8C98A5"))

    colour.fill((grip | steel).grow(0.6), solid("#000000", 0.12))
    colour.fill(steel, linear(*sd(0, -2.1), *sd(0, 2.1), STEEL))
    colour.fill(steel.rim(0.9), solid(STEEL_EDGE))
    colour.fill(ferrule, linear(*sd(0, -2.5), *sd(0, 2.5),
                                [(0.0, "#FFFFFF"), (0.5, "#B0BAC4"), (1.0, "#7A8693")]))
    colour.fill(ferrule.rim(0.9), solid(STEEL_EDGE))
    colour.fill(grip, linear(*sd(0, -4.3), *sd(0, 4.3),
                             [(0.0, "#F7A27A"), (0.45, "#E4572E"), (1.0, "#A8341A")]))
    grooves = [capsule(*sd(7.0, v), *sd(14.5, v), 0.55) for v in (-1.9, 0.0, 1.9)]
    for groove in grooves:
        colour.fill(groove, solid("#8E2A14", 0.7))
    colour.fill(grip.rim(1.0), solid("#7A2410"))

    black = solid("#000000")
    lines.fill(wrench.rim(lw) - grip.grow(0.6), black)
    lines.fill(steel.rim(lw) - ferrule.grow(0.4), black)
    lines.fill(ferrule.rim(lw), black)
    lines.fill(grip.rim(lw), black)
    lines.fill(capsule(*sd(7.0), *sd(14.5), 0.6), black)


def _rotated(sdf, origin, angle):
    """The sdf expressed in a frame at origin turned by angle (degrees)."""
    a = math.radians(angle)
    c, s = math.cos(a), math.sin(a)

    def f(x, y):
        dx, dy = x - origin[0], y - origin[1]
        return sdf(dx * c + dy * s, -dx * s + dy * c)
    return f


TASKS = [
    # normal icon's resource id (its busy twin is the next id), file name, picture, name
    (128, "task_read_disc", drive_picture, ["Read Disc Check"]),
    (130, "task_read_file", paper_picture, ["Read File Check"]),
    (132, "task_compare", check_picture, ["File Compare"]),
    (134, "task_copy_unreadable", tools_picture, ["Copy", "Unreadable File"]),
]

TEXT_PIXELS = 10
LINE_HEIGHT = 12
# Where the tops of the name's lines go (the line images carry 2 rows above the caps).
NAME_TOP = {1: [51], 2: [43, 43 + LINE_HEIGHT]}
# Where the picture lands: (scale, dx, dy), see Canvas.place. With a one-line name the picture
# and the name sit in the middle of the image; a two-line name takes room from the picture.
PICTURE_PLACE = {1: (1.0, 0.0, 7.0), 2: (0.875, 45.0 - 45.0 * 0.875, 4.0 - 1.0 * 0.875)}


def draw_task_icon(picture, name_lines):
    colour = Canvas(TASK_ICON_WIDTH, TASK_ICON_HEIGHT)
    lines = Canvas(TASK_ICON_WIDTH, TASK_ICON_HEIGHT)
    place = PICTURE_PLACE[len(name_lines)]
    colour.place(*place)
    lines.place(*place)
    picture(colour, lines)
    for n, text in enumerate(name_lines):
        top = NAME_TOP[len(name_lines)][n]
        draw_text_line(colour, text, TASK_FONT, TEXT_PIXELS, top, solid(INK), 45)
        draw_text_line(lines, text, TASK_FONT, TEXT_PIXELS, top, solid("#000000"), 45)
    return colour, lines


# --- Application icon and logo ----------------------------------------------------

def draw_app_icon(size):
    """A silver disc with a green check badge; drawn on a 48-unit grid and scaled."""
    s = size / 48.0
    c = Canvas(size, size)
    disc = circle(21 * s, 21 * s, 20 * s)
    hub = circle(21 * s, 21 * s, 7 * s)
    hole = circle(21 * s, 21 * s, 2.8 * s)
    c.fill(disc.grow(0.7 * s), solid("#000000", 0.15))
    c.fill(disc - hole, linear(4 * s, 3 * s, 38 * s, 39 * s,
                               [(0.0, "#FFFFFF"), (0.3, "#D8E1EA"), (0.45, "#EEF4FF"),
                                (0.6, "#CCD6E2"), (1.0, "#98A6B6")]))
    c.fill(disc.rim(max(1.0, 1.0 * s)), solid(STEEL_EDGE))
    c.fill(hub - hole, solid("#E9EEF3"))
    c.fill(hub.rim(1.0), solid("#8B97A4"))
    c.fill(hole.line(1.0), solid("#6B7785", 0.8))
    badge = circle(34.5 * s, 34.5 * s, 12.5 * s)
    c.fill(badge.grow(1.6 * s), solid("#FFFFFF"))
    c.fill(badge, radial(31 * s, 29 * s, 18 * s, GREEN))
    c.fill(badge.rim(max(1.0, 0.9 * s)), solid(GREEN_EDGE))
    c.fill(polyline(scaled([(28.5, 35.0), (32.8, 39.2), (40.5, 30.0)], s), 2.2 * s),
           solid("#FFFFFF"))
    return c


def draw_logo():
    """The wordmark, underlined by a stroke that ends in a check mark."""
    width, height = 58, 24
    c = Canvas(width, height)
    draw_text_line(c, "Verolux", LOGO_FONT, 11, 1,
                   linear(0, 4, 0, 14, [(0.0, "#3170B8"), (1.0, "#1C3F6E")]), 26)
    c.fill(box(2.5, 17.0, 47.5, 19.0, 1.0), linear(3, 0, 47, 0, [(0.0, "#3170B8"), (1.0, "#43A047")]))
    c.fill(polyline([(46.0, 18.0), (49.5, 21.0), (55.5, 12.5)], 1.2), solid("#2E7D32"))
    return c


# --- File formats ----------------------------------------------------------------

def _and_mask(opaque, width, height):
    """1-bit AND mask, bottom row first, 1 = transparent, rows padded to 32 bits."""
    stride = ((width + 31) // 32) * 4
    out = bytearray()
    for y in reversed(range(height)):
        row = bytearray(stride)
        for x in range(width):
            if not opaque[y * width + x]:
                row[x >> 3] |= 0x80 >> (x & 7)
        out += row
    return bytes(out)


def _info_header(width, height, bits, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 0, 0, 0, 0)


def icon_image_24(pixels, opaque, width, height):
    """An icon image: 24-bit BI_RGB colour plane and AND mask. Transparent pixels
    are black in the colour plane so that the XOR step leaves the background alone."""
    stride = ((width * 3 + 3) // 4) * 4
    xor = bytearray()
    for y in reversed(range(height)):
        row = bytearray(stride)
        for x in range(width):
            i = y * width + x
            if opaque[i]:
                r, g, b = pixels[i]
                row[x * 3:x * 3 + 3] = bytes((b, g, r))
        xor += row
    mask = _and_mask(opaque, width, height)
    return _info_header(width, height * 2, 24, len(xor) + len(mask)) + bytes(xor) + mask


def icon_image_32(canvas):
    """An icon image: 32-bit BGRA with straight alpha, plus the AND mask that old
    systems use."""
    w, h = canvas.width, canvas.height
    xor = bytearray()
    opaque = []
    for i in range(w * h):
        opaque.append(canvas.a[i] * 255.0 >= 0.5)
    for y in reversed(range(h)):
        for x in range(w):
            i = y * w + x
            a = canvas.a[i]
            if a * 255.0 < 0.5:
                xor += b"\0\0\0\0"
                continue
            r, g, b = (min(255, int(round(255.0 * v / a))) for v in (canvas.r[i], canvas.g[i], canvas.b[i]))
            xor += bytes((b, g, r, int(round(255.0 * a))))
    mask = _and_mask(opaque, w, h)
    return _info_header(w, h * 2, 32, len(xor) + len(mask)) + bytes(xor) + mask


def ico_file(images):
    """images: list of (width, height, bit count, image bytes)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for width, height, bits, data in images:
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, _, data in images:
        out += data
    return out


def task_icon_files(colour, lines):
    w, h = colour.width, colour.height
    normal_opaque = [a >= MASK_THRESHOLD for a in colour.a]
    normal = icon_image_24(colour.straight_rgb_over(BUTTON_FACE), normal_opaque, w, h)
    busy_opaque = [a >= 0.5 for a in lines.a]
    busy = icon_image_24([(0, 0, 0)] * (w * h), busy_opaque, w, h)
    return ico_file([(w, h, 24, normal)]), ico_file([(w, h, 24, busy)])


def bmp_file_32(canvas, background):
    """A 32-bit BI_RGB bitmap, bottom-up, opaque: the static control blits it as is."""
    w, h = canvas.width, canvas.height
    pixels = canvas.straight_rgb_over(background)
    data = bytearray()
    for y in reversed(range(h)):
        for x in range(w):
            r, g, b = pixels[y * w + x]
            data += bytes((b, g, r, 0xFF))
    header = _info_header(w, h, 32, len(data))
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(data), 0, 0, 14 + len(header))
    return file_header + header + bytes(data)


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    print("wrote", path)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    out_dir = os.path.normpath(out_dir)
    check_fonts()
    imagemagick()
    os.makedirs(out_dir, exist_ok=True)

    write(os.path.join(out_dir, "app.ico"),
          ico_file([(n, n, 32, icon_image_32(draw_app_icon(n))) for n in (32, 48)]))
    for _, name, picture, name_lines in TASKS:
        normal, busy = task_icon_files(*draw_task_icon(picture, name_lines))
        write(os.path.join(out_dir, name + ".ico"), normal)
        write(os.path.join(out_dir, name + "_busy.ico"), busy)
    write(os.path.join(out_dir, "logo.bmp"), bmp_file_32(draw_logo(), BUTTON_FACE))


if __name__ == "__main__":
    main()
