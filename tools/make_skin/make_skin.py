#!/usr/bin/python3
"""Draws the installer window's images and writes them as compact PNG files.

  make_skin.py --out DIR          every image and variant, as DIR/<name>.png
                                  (--verbose: each file's size and encoding)
  make_skin.py --list             "<resource id> <file name>" lines, one a file
  make_skin.py --preview OUT.png  one sheet with every image at 100 % and
                                  200 % on a grey page, to look at them

Preview: python3 tools/make_skin/make_skin.py --preview /tmp/skin.png and
open /tmp/skin.png in any image viewer. Buttons and checkboxes show as strips
of their state frames.

Everything is drawn from shapes with analytic anti-aliasing: each shape has a
signed distance function, and a pixel's coverage is its distance to the edge
in device pixels, clamped to 0..1. The 200 % variants are drawn afresh at
twice the scale, not resized. No text: the window draws all of it.

Each file is the smallest of a palette PNG (exact colours, or as few
quantized ones as keep gradients smooth; transparency in tRNS) and a
truecolour one, with each row's filter and the deflate settings chosen by
trial. The artwork itself is shaped for size too: see GRADIENT_ROWS and
EDGE_LEVELS.

The resource ids and sizes below (IMAGES) must match ui/skin_resources.h;
test_make_skin.py compares the two. cmake/skin.cmake runs this script at
build time and embeds the files as RCDATA.

Standard library only, so that the build needs nothing beyond python3.
"""

import argparse
import array
import collections
import math
import os
import struct
import sys
import zlib
from bisect import bisect_left

# ---------------------------------------------------------------------------
# Colours

def rgb(hex_text):
    """'#RRGGBB' -> (r, g, b) in 0..1."""
    value = int(hex_text.lstrip('#'), 16)
    return ((value >> 16 & 255) / 255.0, (value >> 8 & 255) / 255.0,
            (value & 255) / 255.0)


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


WHITE = rgb('#FFFFFF')
GREY_LIGHT = rgb('#E6E9EF')
GREY = rgb('#C9CED8')
BORDER = rgb('#D5DAE3')
CHECK_BORDER = rgb('#9AA3B2')
CROSS = rgb('#5B6270')

ACCENT = rgb('#2F6BFF')
ACCENT_HOVER = rgb('#5283FF')
ACCENT_PRESSED = rgb('#2256D6')


class Theme:
    """The colours that differ between the default and the Russian look."""

    def __init__(self, accent, panel_from, panel_to, progress_from, progress_to):
        self.accent = accent
        self.panel_from = panel_from        # Top left of the illustration.
        self.panel_to = panel_to            # Bottom right.
        self.progress_from = progress_from  # Bottom of the progress screen.
        self.progress_to = progress_to      # Top.


BLUE = Theme(accent=ACCENT, panel_from=ACCENT, panel_to=rgb('#8A5CFF'),
             progress_from=rgb('#1E2A5A'), progress_to=ACCENT)
WARM = Theme(accent=rgb('#FF5A36'), panel_from=rgb('#FF5A36'), panel_to=rgb('#FFB13B'),
             progress_from=rgb('#FF5A36'), progress_to=rgb('#FFB13B'))

# ---------------------------------------------------------------------------
# Shapes, in design pixels. sdf() is the signed distance to the edge
# (negative inside). Convex shapes also give span(y, m): the x interval where
# sdf <= m on the row at height y, which lets fill() skip the distance
# function everywhere but near the edges.

class RoundRect:
    def __init__(self, x0, y0, x1, y1, radius):
        self.cx, self.cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
        self.hw, self.hh = (x1 - x0) / 2.0, (y1 - y0) / 2.0
        self.r = min(radius, self.hw, self.hh)
        self.bbox = (x0, y0, x1, y1)

    def sdf(self, x, y):
        qx = abs(x - self.cx) - self.hw + self.r
        qy = abs(y - self.cy) - self.hh + self.r
        if qx > 0 and qy > 0:
            return math.hypot(qx, qy) - self.r
        return (qx if qx > qy else qy) - self.r

    def span(self, y, m):
        hw, hh, r = self.hw + m, self.hh + m, self.r + m
        if r < 0:  # Shrunk past the corner radius: the level set is square.
            r = 0.0
        dy = abs(y - self.cy)
        if hw <= 0 or dy > hh:
            return None
        if dy <= hh - r:
            return (self.cx - hw, self.cx + hw)
        yy = dy - (hh - r)
        half = hw - r + math.sqrt(max(r * r - yy * yy, 0.0))
        return (self.cx - half, self.cx + half)


class Circle:
    def __init__(self, cx, cy, radius):
        self.cx, self.cy, self.r = cx, cy, radius
        self.bbox = (cx - radius, cy - radius, cx + radius, cy + radius)

    def sdf(self, x, y):
        return math.hypot(x - self.cx, y - self.cy) - self.r

    def span(self, y, m):
        r = self.r + m
        dy = abs(y - self.cy)
        if r <= 0 or dy > r:
            return None
        half = math.sqrt(r * r - dy * dy)
        return (self.cx - half, self.cx + half)


class Capsule:
    """A stroke from a to b with round caps; width is the stroke width."""

    def __init__(self, ax, ay, bx, by, width):
        self.ax, self.ay, self.bx, self.by = ax, ay, bx, by
        self.r = width / 2.0
        self.dx, self.dy = bx - ax, by - ay
        self.len2 = self.dx * self.dx + self.dy * self.dy or 1e-12
        self.bbox = (min(ax, bx) - self.r, min(ay, by) - self.r,
                     max(ax, bx) + self.r, max(ay, by) + self.r)

    def sdf(self, x, y):
        px, py = x - self.ax, y - self.ay
        t = (px * self.dx + py * self.dy) / self.len2
        t = 0.0 if t < 0 else (1.0 if t > 1 else t)
        return math.hypot(px - self.dx * t, py - self.dy * t) - self.r


class Union:
    def __init__(self, *shapes):
        self.shapes = shapes
        self.bbox = (min(s.bbox[0] for s in shapes), min(s.bbox[1] for s in shapes),
                     max(s.bbox[2] for s in shapes), max(s.bbox[3] for s in shapes))

    def sdf(self, x, y):
        return min(s.sdf(x, y) for s in self.shapes)


class Offset:
    """A shape moved by (dx, dy), for shadows."""

    def __init__(self, shape, dx, dy):
        self.shape, self.ox, self.oy = shape, dx, dy
        b = shape.bbox
        self.bbox = (b[0] + dx, b[1] + dy, b[2] + dx, b[3] + dy)
        if hasattr(shape, 'span'):
            self.span = self._span

    def sdf(self, x, y):
        return self.shape.sdf(x - self.ox, y - self.oy)

    def _span(self, y, m):
        s = self.shape.span(y - self.oy, m)
        return None if s is None else (s[0] + self.ox, s[1] + self.ox)


# ---------------------------------------------------------------------------
# Paints: the colour of each device pixel of a row.

class Solid:
    def __init__(self, colour):
        self.colour = colour

    def row(self, py, x0, x1):
        return [self.colour] * (x1 - x0)


class Gradient:
    """A linear gradient from `start` at design point p0 to `end` at p1.

    The ramp runs along the integer device step (kx, ky): a pixel's position
    on it is kx * px + ky * py. So each row is the row above moved sideways
    by a whole number of pixels, which deflate stores as one long match per
    row; a fractional direction would make every row new data.
    """

    def __init__(self, canvas, start, end, p0, p1, kx, ky, rows=1):
        s = canvas.scale
        self.rows = rows * s
        k0 = kx * p0[0] * s + ky * p0[1] * s
        k1 = kx * p1[0] * s + ky * p1[1] * s
        self.kx, self.ky = kx, ky
        corners = [kx * x + ky * y for x in (0, canvas.width)
                   for y in (0, canvas.height)]
        self.kmin = min(corners) - abs(kx) - abs(ky)
        kmax = max(corners) + abs(kx) + abs(ky)
        span = (k1 - k0) or 1
        self.lut = []
        for k in range(self.kmin, kmax + 1):
            t = (k - k0) / span
            t = 0.0 if t < 0 else (1.0 if t > 1 else t)
            self.lut.append(mix(start, end, t))

    def row(self, py, x0, x1):
        base = self.ky * (py - py % self.rows) - self.kmin
        if self.kx == 0:
            return [self.lut[base]] * (x1 - x0)
        if self.kx == 1:
            return self.lut[base + x0:base + x1]
        return [self.lut[base + self.kx * x] for x in range(x0, x1)]


# ---------------------------------------------------------------------------
# Canvas

# Edge coverage is rounded to this many levels: finer steps are invisible on a
# one-pixel edge but make each edge pixel a colour of its own, which costs
# bytes after compression. 0 keeps it exact.
EDGE_LEVELS = 8


class Canvas:
    """Premultiplied RGBA in floats 0..1; coordinates are design pixels."""

    def __init__(self, width, height, scale, background=None):
        self.scale = scale
        self.edge_levels = EDGE_LEVELS
        self.width, self.height = width * scale, height * scale
        n = self.width * self.height
        if background is None:
            self.r, self.g, self.b, self.a = [0.0] * n, [0.0] * n, [0.0] * n, [0.0] * n
        else:
            self.r = [background[0]] * n
            self.g = [background[1]] * n
            self.b = [background[2]] * n
            self.a = [1.0] * n

    def gradient(self, start, end, p0, p1, kx, ky, rows=1):
        return Gradient(self, start, end, p0, p1, kx, ky, rows)

    def rect(self, x0, y0, x1, y1, colour):
        """Fills whole device pixels, for edges that must stay crisp."""
        s = self.scale
        for py in range(max(0, y0 * s), min(self.height, y1 * s)):
            a, b = py * self.width + max(0, x0 * s), py * self.width + min(self.width, x1 * s)
            self.r[a:b] = [colour[0]] * (b - a)
            self.g[a:b] = [colour[1]] * (b - a)
            self.b[a:b] = [colour[2]] * (b - a)
            self.a[a:b] = [1.0] * (b - a)

    def border(self, colour):
        w, h = self.width // self.scale, self.height // self.scale
        self.rect(0, 0, w, 1, colour)
        self.rect(0, h - 1, w, h, colour)
        self.rect(0, 0, 1, h, colour)
        self.rect(w - 1, 0, w, h, colour)

    def fill(self, shape, paint, opacity=1.0, clip=None):
        """Paints `shape` over the canvas with anti-aliased edges; `paint` is
        a colour or a Gradient. clip is a shape the result is cut to."""
        if isinstance(paint, tuple):
            paint = Solid(paint)
        s = self.scale
        reach = 0.5 / s  # Beyond this design distance a pixel is in or out.
        steps = self.edge_levels

        def coverage(d):
            c = 0.5 - d * s
            if c <= 0:
                return 0.0
            if c >= 1:
                return 1.0
            return int(c * steps + 0.5) / steps if steps else c
        x0, y0, x1, y1 = shape.bbox
        x0, y0, x1, y1 = x0 - reach, y0 - reach, x1 + reach, y1 + reach
        if clip is not None:
            box = clip.bbox
            x0, y0, x1, y1 = max(x0, box[0]), max(y0, box[1]), min(x1, box[2]), min(y1, box[3])
        px0 = max(0, int(math.floor(x0 * s)))
        px1 = min(self.width, int(math.ceil(x1 * s)))
        py0 = max(0, int(math.floor(y0 * s)))
        py1 = min(self.height, int(math.ceil(y1 * s)))
        if px0 >= px1:
            return
        spans = hasattr(shape, 'span')
        R, G, B, A, W = self.r, self.g, self.b, self.a, self.width

        def to_px(interval):
            """Device pixels whose centres lie in a design interval."""
            lo = int(math.ceil(interval[0] * s - 0.5))
            hi = int(math.floor(interval[1] * s - 0.5)) + 1
            return max(lo, px0), min(hi, px1)

        for py in range(py0, py1):
            y = (py + 0.5) / s
            a, b = px0, px1
            ia = ib = a  # The pixels known to be fully covered.
            if spans:
                outer = shape.span(y, reach)
                if outer is None:
                    continue
                a, b = to_px(outer)
                inner = shape.span(y, -reach)
                if inner is not None:
                    ia, ib = to_px(inner)
            ca = cb = a  # The pixels known to be inside the clip.
            if clip is not None:
                outer = clip.span(y, reach)
                if outer is None:
                    continue
                lo, hi = to_px(outer)
                a, b = max(a, lo), min(b, hi)
                inner = clip.span(y, -reach)
                if inner is not None:
                    ca, cb = to_px(inner)
            if a >= b:
                continue
            colours = paint.row(py, a, b)
            base = py * W
            sdf = shape.sdf
            for px in range(a, b):
                if ia <= px < ib:
                    c = 1.0
                else:
                    c = coverage(sdf((px + 0.5) / s, y))
                    if c <= 0.0:
                        continue
                if clip is not None and not ca <= px < cb:
                    d = 0.5 - clip.sdf((px + 0.5) / s, y) * s
                    if d <= 0.0:
                        continue
                    if d < 1.0:
                        c *= d
                alpha = c * opacity
                i = base + px
                cr, cg, cbl = colours[px - a]
                if alpha >= 1.0:
                    R[i], G[i], B[i], A[i] = cr, cg, cbl, 1.0
                else:
                    keep = 1.0 - alpha
                    R[i] = cr * alpha + R[i] * keep
                    G[i] = cg * alpha + G[i] * keep
                    B[i] = cbl * alpha + B[i] * keep
                    A[i] = alpha + A[i] * keep

    def rgba_bytes(self):
        """8-bit straight-alpha RGBA, rows top to bottom."""
        n = self.width * self.height
        out = bytearray(n * 4)

        def to8(v):
            return 255 if v >= 1.0 else (0 if v <= 0.0 else int(v * 255.0 + 0.5))

        if min(self.a) >= 0.9995:
            out[0::4] = bytes(map(to8, self.r))
            out[1::4] = bytes(map(to8, self.g))
            out[2::4] = bytes(map(to8, self.b))
            out[3::4] = b'\xff' * n
            return bytes(out)
        for i in range(n):
            a = self.a[i]
            a8 = to8(a)
            if a8 == 0:
                continue  # Fully transparent pixels are all (0, 0, 0, 0).
            out[4 * i] = to8(self.r[i] / a)
            out[4 * i + 1] = to8(self.g[i] / a)
            out[4 * i + 2] = to8(self.b[i] / a)
            out[4 * i + 3] = a8
        return bytes(out)


# ---------------------------------------------------------------------------
# The images. Each draw function paints one frame (or the whole background)
# in design pixels, with (ox, 0) the frame's left edge.

# Diagonal gradients step every GRADIENT_ROWS design rows: the rows of a step
# are equal and cost almost nothing after the Up filter (a third less for the
# first screen than a step per row). Neighbouring bands differ by about one
# 8-bit level, so the stair corners do not show at 8; at 16 they start to.
GRADIENT_ROWS = 8


def draw_first_background(c, theme):
    c.border(BORDER)
    panel = RoundRect(440, 48, 712, 384, 16)
    c.fill(panel, c.gradient(theme.panel_from, theme.panel_to,
                             (440, 48), (712, 384), 1, 1, GRADIENT_ROWS))
    # The browser window mock, with a second window peeking out behind it.
    c.fill(RoundRect(480, 176, 672, 370, 12), WHITE, opacity=0.35)
    mock = RoundRect(464, 166, 688, 358, 12)
    c.fill(mock, WHITE)
    c.fill(RoundRect(464, 166, 688, 194, 0), rgb('#E9EDF4'), clip=mock)
    c.fill(RoundRect(474, 172, 562, 204, 8), WHITE, clip=RoundRect(464, 166, 688, 194, 0))
    c.fill(Circle(488, 183, 4.5), theme.accent)
    c.fill(Capsule(498, 183, 544, 183, 5), GREY)
    c.fill(Circle(576, 183, 4.5), rgb('#C3C9D4'))
    c.fill(Capsule(586, 183, 626, 183, 5), rgb('#CED3DC'))
    for x in (654, 665, 676):
        c.fill(Circle(x, 180, 3), rgb('#C3C9D4'))
    c.fill(RoundRect(474, 200, 678, 220, 10), rgb('#EEF1F6'))
    c.fill(Circle(486, 210, 4), rgb('#AEB5C2'))
    c.fill(Capsule(497, 210, 590, 210, 5), GREY)
    # A page banner in a flat tint: a faint gradient here would need more
    # palette entries than the whole panel to stay free of bands.
    c.fill(RoundRect(474, 230, 678, 282, 8), mix(WHITE, theme.panel_from, 0.16))
    c.fill(Capsule(490, 248, 590, 248, 8), WHITE)
    c.fill(Capsule(490, 264, 556, 264, 6), WHITE, opacity=0.85)
    c.fill(RoundRect(618, 258, 664, 270, 6), theme.accent)
    for y, x1 in ((298, 650), (312, 622), (326, 640), (340, 600)):
        c.fill(Capsule(477, y, x1, y, 6), GREY_LIGHT)

    # The logo mark: a white disc with a split "T" in the two panel colours.
    cx, cy = 576, 106
    c.fill(Circle(cx, cy, 32), WHITE)
    _logo_t(c, cx, cy, 1.0, theme.panel_from, theme.panel_to)


def _logo_t(c, cx, cy, size, top, stem, opacity=1.0):
    """The "T" of the logo: a crossbar and, below a gap, a stem."""
    c.fill(RoundRect(cx - 15 * size, cy - 16 * size, cx + 15 * size, cy - 7 * size,
                     4.5 * size), top, opacity=opacity)
    c.fill(RoundRect(cx - 4.5 * size, cy - 3 * size, cx + 4.5 * size, cy + 17 * size,
                     4.5 * size), stem, opacity=opacity)


def draw_progress_background(c, theme):
    w, h = c.width // c.scale, c.height // c.scale
    c.fill(RoundRect(0, 0, w, h, 0),
           c.gradient(theme.progress_to, theme.progress_from, (0, 0), (0, h), 0, 1))
    # Faint circles around the top right corner. Each edge that crosses a
    # row costs bytes, so they are few and centred on the corner (one edge a
    # row); the bottom band stays plain for the progress bar and the percent.
    for radius in (210, 120):
        c.fill(Circle(w, 0, radius), WHITE, opacity=0.05)
    c.border(BORDER)


def draw_dialog_background(c, theme):
    c.border(BORDER)
    w = c.width // c.scale
    c.rect(0, 0, w, 6, theme.accent)


def draw_install_button(c, frame, ox):
    colour = (ACCENT, ACCENT_HOVER, ACCENT_PRESSED)[frame]
    c.fill(RoundRect(ox, 0, ox + 200, 48, 24), colour)


def _cross(cx, cy, width=2.0):
    # 12 x 12 overall: the round caps reach 0.7 past the ends on each axis.
    e = 5.3
    return Union(Capsule(cx - e, cy - e, cx + e, cy + e, width),
                 Capsule(cx - e, cy + e, cx + e, cy - e, width))


def draw_cancel_button(c, frame, ox):
    cx, cy = ox + 16, 16
    if frame:
        c.fill(Circle(cx, cy, 15.5), GREY_LIGHT if frame == 1 else rgb('#D3D8E1'))
    c.fill(_cross(cx, cy), CROSS)


def draw_close_button(c, frame, ox):
    cx, cy = ox + 16, 16
    if frame:
        c.fill(Circle(cx, cy, 15.5), WHITE, opacity=0.22 if frame == 1 else 0.34)
    # A crisp shadow: a blurred one costs a kilobyte more for no clearer look.
    c.fill(Offset(_cross(cx, cy, 3.0), 0, 0.75), rgb('#000000'), opacity=0.28)
    c.fill(_cross(cx, cy), WHITE)


def draw_checkbox(c, frame, ox):
    box = RoundRect(ox + 1, 1, ox + 19, 19, 4)
    if frame in (0, 2):
        c.fill(box, ACCENT if frame == 2 else CHECK_BORDER)
        c.fill(RoundRect(ox + 2.5, 2.5, ox + 17.5, 17.5, 2.5), WHITE)
        return
    c.fill(box, ACCENT if frame == 1 else ACCENT_HOVER)
    tick = Union(Capsule(ox + 5.5, 10.2, ox + 8.6, 13.3, 2),
                 Capsule(ox + 8.6, 13.3, ox + 14.5, 7.0, 2))
    c.fill(tick, WHITE)


def draw_dialog_button(c, frame, ox):
    colour = (ACCENT, ACCENT_HOVER, ACCENT_PRESSED)[frame]
    c.fill(RoundRect(ox, 0, ox + 140, 40, 8), colour)


def draw_dialog_secondary_button(c, frame, ox):
    c.fill(RoundRect(ox, 0, ox + 140, 40, 8), GREY)
    fill = (WHITE, rgb('#F3F5F8'), GREY_LIGHT)[frame]
    c.fill(RoundRect(ox + 1, 1, ox + 139, 39, 7), fill)


class SkinImage:
    def __init__(self, name, id_100, id_200, russian_id_100, russian_id_200,
                 frame_width, frame_height, frames, draw, page=None):
        self.name = name
        self.ids = (id_100, id_200, russian_id_100, russian_id_200)
        self.frame_width, self.frame_height, self.frames = frame_width, frame_height, frames
        self.draw = draw
        self.page = page  # The opaque colour under a background; None: transparent.

    def variants(self):
        """(resource id, file name, scale, theme) of every file."""
        out = [(self.ids[0], self.name + '_100.png', 1, BLUE),
               (self.ids[1], self.name + '_200.png', 2, BLUE)]
        if self.ids[2]:
            out += [(self.ids[2], self.name + '_ru_100.png', 1, WARM),
                    (self.ids[3], self.name + '_ru_200.png', 2, WARM)]
        return out

    def render(self, scale, theme):
        c = Canvas(self.frame_width * self.frames, self.frame_height, scale, self.page)
        if self.frames == 1:
            self.draw(c, theme)
        else:
            for frame in range(self.frames):
                self.draw(c, frame, frame * self.frame_width)
        return c


# In the order of ui::SkinImage; ids and design sizes as in kSkinImages.
IMAGES = [
    SkinImage('first_background', 301, 1057, 1065, 1068, 728, 400, 1,
              draw_first_background, WHITE),
    SkinImage('progress_background', 304, 1058, 1066, 1069, 728, 400, 1,
              draw_progress_background, WHITE),
    SkinImage('dialog_background', 303, 1059, 321, 1070, 460, 240, 1,
              draw_dialog_background, WHITE),
    SkinImage('install_button', 299, 1060, 0, 0, 200, 48, 3, draw_install_button),
    SkinImage('cancel_button', 302, 1061, 0, 0, 32, 32, 3, draw_cancel_button),
    SkinImage('close_button', 298, 1062, 0, 0, 32, 32, 3, draw_close_button),
    SkinImage('checkbox', 300, 1063, 0, 0, 20, 20, 4, draw_checkbox),
    SkinImage('dialog_button', 307, 1064, 0, 0, 140, 40, 3, draw_dialog_button),
    SkinImage('dialog_secondary_button', 308, 1067, 0, 0, 140, 40, 3,
              draw_dialog_secondary_button),
]

# ---------------------------------------------------------------------------
# PNG writing

_ABS = bytes(min(b, 256 - b) for b in range(256))


def _paeth_row(row, prev, bpp):
    out = bytearray(len(row))
    for i in range(len(row)):
        if i >= bpp:
            a, c = row[i - bpp], prev[i - bpp]
        else:
            a = c = 0
        b = prev[i]
        p = a + b - c
        pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
        if pa <= pb and pa <= pc:
            pred = a
        elif pb <= pc:
            pred = b
        else:
            pred = c
        out[i] = (row[i] - pred) & 255
    return bytes(out)


def _filtered_rows(rows, bpp, all_filters):
    """For each row, its filtered forms: None, Sub, Up and, when all_filters,
    Average and Paeth (slow here and never the best on large images)."""
    out = []
    prev = bytes(len(rows[0]))
    memo = {}
    for row in rows:
        key = (row, prev)
        forms = memo.get(key)
        if forms is None:
            left = bytes(bpp) + row[:-bpp]
            sub = bytes([(x - l) & 255 for x, l in zip(row, left)])
            forms = (row, sub, bytes([(x - u) & 255 for x, u in zip(row, prev)]))
            if all_filters:
                forms += (
                    bytes([(x - ((l + u) >> 1)) & 255 for x, l, u in zip(row, left, prev)]),
                    # Above an all-zero row Paeth predicts from the left, as Sub.
                    sub if not any(prev) else _paeth_row(row, prev, bpp),
                )
            memo[key] = forms
        out.append(forms)
        prev = row
    return out


def _deflate(data):
    best = None
    for strategy in (zlib.Z_DEFAULT_STRATEGY, zlib.Z_FILTERED):
        z = zlib.compressobj(9, zlib.DEFLATED, 15, 9, strategy)
        packed = z.compress(data) + z.flush()
        if best is None or len(packed) < len(best):
            best = packed
    return best


# Images up to this many bytes of pixel data also try the Average and Paeth
# filters.
ALL_FILTERS_BYTES = 256 * 1024


def _best_idat(rows, bpp):
    """The smallest compressed image data over a few ways to pick each row's
    filter: one filter for all rows; the least sum of absolute differences
    (the usual heuristic); and Up for a row equal to the one above with
    None or the heuristic for the others. The last suits the stepped
    gradients: equal rows turn into zeros, and a row that moved sideways is
    one long match for deflate when left unfiltered."""
    forms = _filtered_rows(rows, bpp, len(rows) * len(rows[0]) <= ALL_FILTERS_BYTES)
    kinds = range(len(forms[0]))
    least = [min(kinds, key=lambda i: sum(r[i].translate(_ABS))) for r in forms]
    same = [i > 0 and rows[i] == rows[i - 1] for i in range(len(rows))]
    choices = [[f] * len(rows) for f in kinds]
    choices.append(least)
    choices.append([2 if s else 0 for s in same])
    choices.append([2 if s else f for s, f in zip(same, least)])
    best = None
    for picks in choices:
        data = b''.join(bytes([f]) + r[f] for f, r in zip(picks, forms))
        packed = _deflate(data)
        if best is None or len(packed) < len(best):
            best = packed
    return best


def _chunk(kind, data):
    return (struct.pack('>I', len(data)) + kind + data +
            struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff))


def _png(width, height, bit_depth, colour_type, idat, plte=b'', trns=b''):
    out = b'\x89PNG\r\n\x1a\n' + _chunk(b'IHDR', struct.pack(
        '>IIBBBBB', width, height, bit_depth, colour_type, 0, 0, 0))
    if plte:
        out += _chunk(b'PLTE', plte)
    if trns:
        out += _chunk(b'tRNS', trns)
    return out + _chunk(b'IDAT', idat) + _chunk(b'IEND', b'')


def _pixels(rgba):
    """The pixels as 32-bit ints (r | g << 8 | b << 16 | a << 24)."""
    pixels = array.array('I')
    pixels.frombytes(rgba)
    if sys.byteorder == 'big':
        pixels.byteswap()
    return pixels


def _unpack(c):
    return (c & 255, c >> 8 & 255, c >> 16 & 255, c >> 24)


def _point(c):
    # Colours compare premultiplied, so that all faint pixels sit close.
    r, g, b, a = _unpack(c)
    k = a / 255.0
    return (r * k, g * k, b * k, float(a))


def _colour(point):
    a = int(point[3] + 0.5)
    if a == 0:
        return 0
    k = 255.0 / point[3]
    r, g, b = (min(255, int(v * k + 0.5)) for v in point[:3])
    return r | g << 8 | b << 16 | a << 24


def _mean_point(entries):
    """The count-weighted mean of (point, count) pairs."""
    total = sum(n for _, n in entries)
    return tuple(sum(p[i] * n for p, n in entries) / total for i in range(4))


def _median_cut(counts, sizes):
    """{size: palette} for each wanted size: median cut, always splitting the
    box with the largest count-weighted squared error at the count median of
    its widest channel. One run gives every size, smallest first."""
    boxes = [[(_point(c), n) for c, n in counts.items()]]

    def score(box):
        total = sum(n for _, n in box)
        best = (0.0, 0)
        for axis in range(4):
            mean = sum(p[axis] * n for p, n in box) / total
            err = sum((p[axis] - mean) ** 2 * n for p, n in box)
            best = max(best, (err, axis))
        return best

    scores = [score(boxes[0])]
    out = {}
    for size in sorted(sizes):
        while len(boxes) < size:
            i = max(range(len(boxes)), key=lambda j: scores[j][0])
            if scores[i][0] <= 0:
                break
            axis = scores[i][1]
            box = sorted(boxes[i], key=lambda e: e[0][axis])
            total = sum(n for _, n in box)
            seen, cut = 0, 1
            for j, (_, n) in enumerate(box[:-1]):
                seen += n
                cut = j + 1
                if seen * 2 >= total:
                    break
            boxes[i:i + 1] = [box[:cut], box[cut:]]
            scores[i:i + 1] = [score(box[:cut]), score(box[cut:])]
        out[size] = list(dict.fromkeys(_colour(_mean_point(box)) for box in boxes))
    return out


def _nearest_map(colours, palette):
    """{colour: nearest palette entry}. The palette is sorted by the sum of
    the coordinates; since the squared distance is at least a quarter of the
    squared difference of the sums, the search stops early on both sides."""
    entries = sorted((sum(p), p, c) for c, p in ((c, _point(c)) for c in palette))
    keys = [e[0] for e in entries]
    mapping = {}
    for c in colours:
        q = _point(c)
        s = sum(q)
        best, best_d = None, float('inf')
        hi = bisect_left(keys, s)
        lo = hi - 1
        while lo >= 0 or hi < len(entries):
            for i in (lo, hi):
                if 0 <= i < len(entries):
                    ps, p, pc = entries[i]
                    d = ((q[0] - p[0]) ** 2 + (q[1] - p[1]) ** 2 +
                         (q[2] - p[2]) ** 2 + (q[3] - p[3]) ** 2)
                    if d < best_d:
                        best, best_d = pc, d
            if lo >= 0 and (s - keys[lo]) ** 2 >= 4 * best_d:
                lo = -1
            else:
                lo -= 1
            if hi < len(entries) and (keys[hi] - s) ** 2 >= 4 * best_d:
                hi = len(entries)
            else:
                hi += 1
        mapping[c] = best
    return mapping


def _errors(counts, mapping):
    """(worst, mean, 99th percentile) of the largest channel difference in
    8-bit steps, over all pixels."""
    histogram = collections.Counter()
    for c, p in mapping.items():
        a, b = _unpack(c), _unpack(p)
        e = 0 if a[3] == 0 and b[3] == 0 else max(abs(x - y) for x, y in zip(a, b))
        histogram[e] += counts[c]
    pixels = sum(histogram.values())
    mean = sum(e * n for e, n in histogram.items()) / pixels
    seen, p99 = 0, 0
    for e in sorted(histogram):
        seen += histogram[e]
        if seen >= 0.99 * pixels:
            p99 = e
            break
    return max(histogram), mean, p99


def quantize(counts, sizes):
    """[(size, {colour: palette colour}, (worst, mean, p99))], largest size
    first: median cut, then one refinement (each entry moves to the mean of
    the colours mapped to it, and each colour takes its nearest entry)."""
    out = []
    for size, palette in sorted(_median_cut(counts, sizes).items(), reverse=True):
        mapping = _nearest_map(counts, palette)
        groups = collections.defaultdict(list)
        for c, p in mapping.items():
            groups[p].append((_point(c), counts[c]))
        refined = list(dict.fromkeys(_colour(_mean_point(g)) for g in groups.values()))
        mapping = _nearest_map(counts, refined)
        out.append((size, mapping, _errors(counts, mapping)))
    return out


# A quantized palette is good enough when the average pixel is off by less
# than a step, 99 % of pixels by at most one (two-step bands show in light
# gradients), and the worst pixel (on an anti-aliased edge) by a little.
QUANTIZE_MEAN = 0.6
QUANTIZE_P99 = 1
QUANTIZE_WORST = 24
PALETTE_SIZES = (256, 192, 160, 128, 112, 96, 80, 64, 48, 32, 24, 16)


def _pack_indices(indices, width, height, depth):
    rows = []
    per = 8 // depth
    for y in range(height):
        row = indices[y * width:(y + 1) * width]
        if depth == 8:
            rows.append(bytes(row))
            continue
        packed = bytearray((width + per - 1) // per)
        for x, v in enumerate(row):
            packed[x // per] |= v << (8 - depth * (x % per + 1))
        rows.append(bytes(packed))
    return rows


def _palette_png(width, height, pixels, mapping):
    """The smallest palette PNG of the mapped image over two entry orders
    and the bit depths that fit."""
    colours = list(dict.fromkeys(mapping[p] for p in dict.fromkeys(pixels)))

    def by_light(c):
        r, g, b, a = _unpack(c)
        return (a == 255, a, 299 * r + 587 * g + 114 * b)
    # Translucent entries go first so that tRNS stays short. Sorting by
    # lightness keeps the indices of a gradient's steps next to each other;
    # the order of first use keeps a picture's runs apart.
    orders = [sorted(colours, key=by_light), sorted(colours, key=lambda c: _unpack(c)[3] == 255)]
    best = None
    for order in orders:
        index = {c: i for i, c in enumerate(order)}
        lut = {p: index[mapping[p]] for p in mapping}
        indices = bytes(map(lut.__getitem__, pixels))
        plte = b''.join(bytes(_unpack(c)[:3]) for c in order)
        alphas = [_unpack(c)[3] for c in order]
        while alphas and alphas[-1] == 255:
            alphas.pop()
        for depth in [8] + [d for d in (4, 2, 1) if len(order) <= 1 << d]:
            rows = _pack_indices(indices, width, height, depth)
            png = _png(width, height, depth, 3, _best_idat(rows, 1), plte, bytes(alphas))
            if best is None or len(png) < len(best):
                best = png
    return best


def encode_png(width, height, rgba):
    """(PNG bytes, a note on how, the RGBA pixels it holds) for the image:
    the smaller of a palette image (its exact colours, or the fewest
    quantized ones within the error limits) and truecolour."""
    pixels = _pixels(rgba)
    counts = collections.Counter(pixels)
    candidates = []
    if len(counts) <= 256:
        candidates.append((_palette_png(width, height, pixels, {c: c for c in counts}),
                           'palette, exact %d colours' % len(counts), None))
    chosen = None
    for size, mapping, (worst, mean, p99) in quantize(
            counts, [n for n in PALETTE_SIZES if n < len(counts)]):
        if worst > QUANTIZE_WORST or mean > QUANTIZE_MEAN or p99 > QUANTIZE_P99:
            break  # Fewer colours only do worse.
        chosen = (size, mapping, worst, mean)
    if chosen:
        size, mapping, worst, mean = chosen
        candidates.append((_palette_png(width, height, pixels, mapping),
                           'palette, %d colours to %d, worst error %d, mean %.2f'
                           % (len(counts), size, worst, mean), mapping))
    opaque = all(c >> 24 == 255 for c in counts)
    if opaque:
        data = bytearray(width * height * 3)
        data[0::3], data[1::3], data[2::3] = rgba[0::4], rgba[1::4], rgba[2::4]
        stride, colour_type, bpp = width * 3, 2, 3
    else:
        data, stride, colour_type, bpp = rgba, width * 4, 6, 4
    rows = [bytes(data[y * stride:(y + 1) * stride]) for y in range(height)]
    # Truecolour is tried in full unless even its unfiltered form at a fast
    # setting is more than twice the best palette file.
    smallest = min((len(c[0]) for c in candidates), default=None)
    quick = len(zlib.compress(b''.join(b'\0' + r for r in rows), 6))
    if smallest is None or quick < 2 * smallest:
        candidates.append((_png(width, height, 8, colour_type, _best_idat(rows, bpp)),
                           'truecolour' + ('' if opaque else ' with alpha'), None))
    png, note, mapping = min(candidates, key=lambda c: len(c[0]))
    if mapping:
        shipped = array.array('I', map(mapping.__getitem__, pixels))
        if sys.byteorder == 'big':
            shipped.byteswap()
        rgba = shipped.tobytes()
    return png, note, rgba


# ---------------------------------------------------------------------------

def all_files():
    """(image, resource id, file name, scale, theme) of every file."""
    return [(image,) + v for image in IMAGES for v in image.variants()]


def write_all(out_dir, verbose=False):
    os.makedirs(out_dir, exist_ok=True)
    total = 0
    for image, rid, name, scale, theme in all_files():
        c = image.render(scale, theme)
        data, note, _ = encode_png(c.width, c.height, c.rgba_bytes())
        path = os.path.join(out_dir, name)
        tmp = path + '.tmp'
        with open(tmp, 'wb') as f:
            f.write(data)
        os.replace(tmp, path)
        total += len(data)
        if verbose:
            print('%5d %-36s %4dx%-4d %6d bytes  %s' % (rid, name, c.width, c.height,
                                                        len(data), note))
    if verbose:
        print('total %d bytes' % total)
    return total


def write_preview(path):
    """Every image at 100 % and 200 % side by side on a grey sheet, as the
    files hold them (after quantization)."""
    gap = 24
    rows = []
    for image, rid, name, scale, theme in all_files():
        if scale == 1:
            rows.append([])
        c = image.render(scale, theme)
        rows[-1].append((c.width, c.height, encode_png(c.width, c.height, c.rgba_bytes())[2]))
    sheet_w = max(sum(w for w, _, _ in row) + gap * (len(row) + 1) for row in rows)
    sheet_h = sum(max(h for _, h, _ in row) + gap for row in rows) + gap
    page = (0xA9, 0xAE, 0xB7)
    out = bytearray(bytes(page) * (sheet_w * sheet_h))
    y = gap
    for row in rows:
        x = gap
        for w, h, src in row:
            for py in range(h):
                line = src[py * w * 4:(py + 1) * w * 4]
                rgb_line = bytearray(w * 3)
                for k in range(3):
                    rgb_line[k::3] = bytes((v * a + page[k] * (255 - a) + 127) // 255
                                           for v, a in zip(line[k::4], line[3::4]))
                o = ((y + py) * sheet_w + x) * 3
                out[o:o + w * 3] = rgb_line
            x += w + gap
        y += max(h for _, h, _ in row) + gap
    rows_bytes = [bytes(out[r * sheet_w * 3:(r + 1) * sheet_w * 3]) for r in range(sheet_h)]
    raw = b''.join(b'\x00' + r for r in rows_bytes)
    with open(path, 'wb') as f:
        f.write(_png(sheet_w, sheet_h, 8, 2, zlib.compress(raw, 6)))


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--out', help='directory to write every image into')
    parser.add_argument('--list', action='store_true',
                        help='print "<resource id> <file name>" for every file')
    parser.add_argument('--preview', help='write one sheet with every image')
    parser.add_argument('--verbose', action='store_true', help='print each file size')
    args = parser.parse_args(argv)
    if not (args.out or args.list or args.preview):
        parser.error('nothing to do: give --out, --list or --preview')
    if args.list:
        for _, rid, name, _, _ in all_files():
            print(rid, name)
    if args.out:
        write_all(args.out, args.verbose)
    if args.preview:
        write_preview(args.preview)
    return 0


if __name__ == '__main__':
    sys.exit(main())
