#!/usr/bin/env python3
"""Draws all of Pimbo's artwork and writes the string table fragment.

Run from anywhere: python3 tools/make_art.py [--check]
Writes resources/*.bmp, resources/pimbo.ico, resources/target.cur,
resources/art.rc and docs/contact-sheet.png; with --check it writes nothing
and fails when a committed file differs from what it would write.  Output is
deterministic: nothing depends on the clock, and the only random numbers come
from generators with fixed seeds.
"""

import math
import os
import random
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# ---------------------------------------------------------------------------
# Masks: one Python int per row, bit x set when pixel x is covered.  Whole-row
# bit operations keep dilation, shifting and boolean algebra cheap.
# ---------------------------------------------------------------------------


class Mask:
    __slots__ = ("w", "h", "rows")

    def __init__(self, w, h, rows=None):
        self.w, self.h = w, h
        self.rows = rows if rows is not None else [0] * h

    @property
    def full(self):
        return (1 << self.w) - 1

    def copy(self):
        return Mask(self.w, self.h, list(self.rows))

    def __or__(self, o):
        return Mask(self.w, self.h, [a | b for a, b in zip(self.rows, o.rows)])

    def __and__(self, o):
        return Mask(self.w, self.h, [a & b for a, b in zip(self.rows, o.rows)])

    def __sub__(self, o):
        return Mask(self.w, self.h, [a & ~b for a, b in zip(self.rows, o.rows)])

    def __invert__(self):
        f = self.full
        return Mask(self.w, self.h, [~a & f for a in self.rows])

    def empty(self):
        return not any(self.rows)

    def count(self):
        return sum(bin(r).count("1") for r in self.rows)

    def get(self, x, y):
        return 0 <= x < self.w and 0 <= y < self.h and (self.rows[y] >> x) & 1

    def set(self, x, y):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.rows[y] |= 1 << x

    def shifted(self, dx, dy):
        """Mask moved by (dx, dy): result(x, y) = self(x - dx, y - dy)."""
        f = self.full
        out = [0] * self.h
        for y in range(self.h):
            sy = y - dy
            if 0 <= sy < self.h:
                r = self.rows[sy]
                out[y] = ((r << dx) if dx >= 0 else (r >> -dx)) & f
        return Mask(self.w, self.h, out)

    def dilated(self, diagonal=True):
        f = self.full
        rows = self.rows
        out = []
        for y in range(self.h):
            r = rows[y]
            up = rows[y - 1] if y > 0 else 0
            dn = rows[y + 1] if y + 1 < self.h else 0
            if diagonal:
                v = r | up | dn
                out.append((v | (v << 1) | (v >> 1)) & f)
            else:
                out.append((r | (r << 1) | (r >> 1) | up | dn) & f)
        return Mask(self.w, self.h, out)

    def eroded(self, diagonal=False):
        return ~((~self).dilated(diagonal))

    def pixels(self):
        for y, r in enumerate(self.rows):
            while r:
                low = r & -r
                yield low.bit_length() - 1, y
                r ^= low

    def bbox(self):
        ys = [y for y, r in enumerate(self.rows) if r]
        if not ys:
            return None
        allr = 0
        for r in self.rows:
            allr |= r
        x0 = (allr & -allr).bit_length() - 1
        return x0, ys[0], allr.bit_length() - 1, ys[-1]


def raster(w, h, inside, box):
    """Pixels whose centres satisfy inside(x, y), searched within box."""
    x0, y0, x1, y1 = box
    xa, xb = max(0, int(math.floor(x0)) - 1), min(w, int(math.ceil(x1)) + 1)
    ya, yb = max(0, int(math.floor(y0)) - 1), min(h, int(math.ceil(y1)) + 1)
    rows = [0] * h
    for y in range(ya, yb):
        py = y + 0.5
        bits = 0
        for x in range(xa, xb):
            if inside(x + 0.5, py):
                bits |= 1 << x
        rows[y] = bits
    return Mask(w, h, rows)


# Shapes: (inside-test, bounding box) pairs, turned into masks by raster().

def ellipse(cx, cy, rx, ry, ang=0.0):
    c, s = math.cos(ang), math.sin(ang)
    irx, iry = 1.0 / (rx * rx), 1.0 / (ry * ry)

    def inside(x, y):
        dx, dy = x - cx, y - cy
        u = dx * c + dy * s
        v = -dx * s + dy * c
        return u * u * irx + v * v * iry <= 1.0

    r = max(rx, ry)
    return inside, (cx - r, cy - r, cx + r, cy + r)


def capsule(x0, y0, x1, y1, r0, r1=None):
    """A limb: a segment with rounded ends whose radius runs from r0 to r1."""
    if r1 is None:
        r1 = r0
    dx, dy = x1 - x0, y1 - y0
    ll = dx * dx + dy * dy or 1e-9

    def inside(x, y):
        t = ((x - x0) * dx + (y - y0) * dy) / ll
        t = 0.0 if t < 0 else 1.0 if t > 1 else t
        px, py = x0 + t * dx - x, y0 + t * dy - y
        r = r0 + (r1 - r0) * t
        return px * px + py * py <= r * r

    r = max(r0, r1)
    return inside, (min(x0, x1) - r, min(y0, y1) - r, max(x0, x1) + r, max(y0, y1) + r)


def polygon(pts):
    n = len(pts)

    def inside(x, y):
        c = False
        j = n - 1
        for i in range(n):
            xi, yi = pts[i]
            xj, yj = pts[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                c = not c
            j = i
        return c

    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]
    return inside, (min(xs), min(ys), max(xs), max(ys))


def rect(x0, y0, x1, y1):
    """Pixels x0 <= x < x1, y0 <= y < y1."""
    return (lambda x, y: x0 <= x - 0.5 < x1 and y0 <= y - 0.5 < y1), (x0, y0, x1, y1)


def bezier(p0, p1, p2, n=24):
    out = []
    for i in range(n + 1):
        t = i / n
        a, b, c = (1 - t) ** 2, 2 * (1 - t) * t, t * t
        out.append((a * p0[0] + b * p1[0] + c * p2[0], a * p0[1] + b * p1[1] + c * p2[1]))
    return out


def line_mask(w, h, pts, step=0.2):
    """A one-pixel-wide connected line through the points (float coordinates)."""
    m = Mask(w, h)
    for (xa, ya), (xb, yb) in zip(pts, pts[1:]):
        d = math.hypot(xb - xa, yb - ya)
        n = max(1, int(d / step))
        for i in range(n + 1):
            t = i / n
            m.set(int(math.floor(xa + (xb - xa) * t)), int(math.floor(ya + (yb - ya) * t)))
    return m


def fill_holes(m):
    """m with every enclosed gap filled."""
    outside = flood(~m, border_seeds(m.w, m.h))
    return ~outside


def border_seeds(w, h):
    return [(x, 0) for x in range(w)] + [(x, h - 1) for x in range(w)] + \
           [(0, y) for y in range(h)] + [(w - 1, y) for y in range(h)]


def flood(region, seeds):
    """The part of region 4-connected to the seeds."""
    w, h = region.w, region.h
    got = Mask(w, h)
    stack = [(x, y) for x, y in seeds if region.get(x, y)]
    rr = region.rows
    gr = got.rows
    while stack:
        x, y = stack.pop()
        if (gr[y] >> x) & 1 or not (rr[y] >> x) & 1:
            continue
        # Fill the whole horizontal run at once.
        xl = x
        while xl > 0 and (rr[y] >> (xl - 1)) & 1 and not (gr[y] >> (xl - 1)) & 1:
            xl -= 1
        xr = x
        while xr + 1 < w and (rr[y] >> (xr + 1)) & 1 and not (gr[y] >> (xr + 1)) & 1:
            xr += 1
        gr[y] |= ((1 << (xr - xl + 1)) - 1) << xl
        for ny in (y - 1, y + 1):
            if 0 <= ny < h:
                for nx in range(xl, xr + 1):
                    if (rr[ny] >> nx) & 1 and not (gr[ny] >> nx) & 1:
                        stack.append((nx, ny))
    return got


# ---------------------------------------------------------------------------
# Indexed canvas
# ---------------------------------------------------------------------------


class Canvas:
    def __init__(self, w, h, fill=0):
        self.w, self.h = w, h
        self.filled_holes = 0
        self.px = [bytearray([fill]) * w for _ in range(h)]

    def mask(self, inside, box):
        return raster(self.w, self.h, inside, box)

    def shape(self, sh):
        return raster(self.w, self.h, sh[0], sh[1])

    def paint(self, m, c):
        px = self.px
        for x, y in m.pixels():
            px[y][x] = c

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def get(self, x, y):
        return self.px[y][x]

    def opaque(self, transparent=0):
        rows = []
        for r in self.px:
            bits = 0
            for x, v in enumerate(r):
                if v != transparent:
                    bits |= 1 << x
            rows.append(bits)
        return Mask(self.w, self.h, rows)

    def colour_mask(self, c):
        rows = []
        for r in self.px:
            bits = 0
            for x, v in enumerate(r):
                if v == c:
                    bits |= 1 << x
            rows.append(bits)
        return Mask(self.w, self.h, rows)

    def copy(self):
        c = Canvas(self.w, self.h)
        c.px = [bytearray(r) for r in self.px]
        return c

    def mirrored(self):
        c = Canvas(self.w, self.h)
        c.px = [bytearray(reversed(r)) for r in self.px]
        return c

    def crop(self, x, y, w, h):
        c = Canvas(w, h)
        c.px = [bytearray(self.px[y + j][x:x + w]) for j in range(h)]
        return c

    def blit(self, src, x, y):
        for j in range(src.h):
            self.px[y + j][x:x + src.w] = src.px[j]


# ---------------------------------------------------------------------------
# File writers
# ---------------------------------------------------------------------------


def bmp_bytes(cv, palette, bpp):
    """A bottom-up BMP with a BITMAPINFOHEADER and exactly len(palette) colours."""
    assert bpp in (1, 4, 8) and len(palette) <= (1 << bpp)
    body = dib_bits(cv, bpp)
    ncol = len(palette)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    info = struct.pack("<IiiHHIIiiII", 40, cv.w, cv.h, 1, bpp, 0, len(body),
                       2835, 2835, ncol, 0)
    off = 14 + 40 + len(pal)
    head = struct.pack("<2sIHHI", b"BM", off + len(body), 0, 0, off)
    return head + info + pal + body


def dib_bits(cv, bpp, flip=True):
    stride = ((cv.w * bpp + 31) // 32) * 4
    out = bytearray()
    rows = reversed(cv.px) if flip else cv.px
    for r in rows:
        line = bytearray(stride)
        if bpp == 8:
            line[:cv.w] = r
        elif bpp == 4:
            for x, v in enumerate(r):
                line[x >> 1] |= (v & 15) << (4 if x % 2 == 0 else 0)
        else:
            for x, v in enumerate(r):
                if v:
                    line[x >> 3] |= 0x80 >> (x & 7)
        out += line
    return bytes(out)


def png_bytes(w, h, rgb_rows):
    raw = b"".join(b"\x00" + bytes(r) for r in rgb_rows)

    def chunk(t, d):
        return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xffffffff)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


# ---------------------------------------------------------------------------
# Pimbo
# ---------------------------------------------------------------------------

SPRITE = 130

PIMBO_PALETTE = [
    (0, 0, 0),        # 0 transparent
    (46, 26, 54),     # 1 outline
    (255, 216, 176),  # 2 skin
    (234, 156, 118),  # 3 skin shade
    (255, 255, 255),  # 4 white
    (255, 140, 36),   # 5 hair
    (196, 78, 28),    # 6 hair shade
    (64, 186, 96),    # 7 shirt
    (32, 128, 80),    # 8 shirt shade
    (70, 104, 214),   # 9 trousers
    (42, 58, 150),    # 10 trousers shade
    (228, 52, 56),    # 11 shoes
    (146, 26, 46),    # 12 shoe shade, inside of the mouth
    (255, 128, 140),  # 13 pink: tongue, cheeks
    (255, 226, 72),   # 14 yellow: star, highlights
    (176, 190, 214),  # 15 pale blue-grey: soles, eye shine
]
T, OL, SKIN, SKIN_SH, WHITE, HAIR, HAIR_SH, SHIRT, SHIRT_SH, PANTS, PANTS_SH, \
    SHOE, SHOE_SH, PINK, YELLOW, PALE = range(16)
MOUTH = SHOE_SH

HEAD_RX, HEAD_RY = 20.0, 20.0
EYE_LON, EYE_LAT = math.radians(15), math.radians(-22)
MOUTH_LAT = math.radians(28)
D = math.radians


def draw_part(cv, m, fill, shade=None, k=2, outline=True, diagonal=True, light=None):
    """A cartoon part: outline ring, flat fill, a shaded band on the side away from
    the light (upper left), all clipped to what the mask covers."""
    if outline:
        cv.paint(m.dilated(diagonal) - m, OL)
    cv.paint(m, fill)
    if shade is not None:
        lit = light if light is not None else m
        cv.paint(m - lit.shifted(-k, -k), shade)


class Head:
    """The head as a slightly tall spheroid; face features live on its surface, so
    turning, nodding and tilting move them consistently in every picture."""

    def __init__(self, hx, hy, yaw=0.0, pitch=0.0, roll=0.0, scale=1.0):
        self.hx, self.hy = hx, hy
        self.s = scale
        self.rx, self.ry = HEAD_RX * scale, HEAD_RY * scale
        self.yaw, self.pitch, self.roll = yaw, pitch, roll
        self.cy, self.sy = math.cos(yaw), math.sin(yaw)
        self.cp, self.sp = math.cos(pitch), math.sin(pitch)
        self.cr, self.sr = math.cos(roll), math.sin(roll)

    def rotate(self, X, Y, Z):
        X1 = X * self.cy + Z * self.sy
        Z1 = -X * self.sy + Z * self.cy
        Y2 = Y * self.cp + Z1 * self.sp
        Z2 = -Y * self.sp + Z1 * self.cp
        return X1, Y2, Z2

    def to_screen(self, X, Y):
        x1, y1 = X * self.rx, Y * self.ry
        return (self.hx + x1 * self.cr - y1 * self.sr,
                self.hy + x1 * self.sr + y1 * self.cr)

    def project(self, lon, lat, r=1.0):
        X = r * math.sin(lon) * math.cos(lat)
        Y = r * math.sin(lat)
        Z = r * math.cos(lon) * math.cos(lat)
        X, Y, Z = self.rotate(X, Y, Z)
        x, y = self.to_screen(X, Y)
        return x, y, Z

    def surface(self, x, y):
        """(lon, lat) of the visible head point at screen (x, y), or None."""
        dx, dy = x - self.hx, y - self.hy
        x1 = dx * self.cr + dy * self.sr
        y1 = -dx * self.sr + dy * self.cr
        X, Y = x1 / self.rx, y1 / self.ry
        q = 1.0 - X * X - Y * Y
        if q < 0:
            return None
        Z = math.sqrt(q)
        # undo pitch then yaw
        Y1 = Y * self.cp - Z * self.sp
        Z1 = Y * self.sp + Z * self.cp
        X0 = X * self.cy - Z1 * self.sy
        Z0 = X * self.sy + Z1 * self.cy
        return math.atan2(X0, Z0), math.asin(max(-1.0, min(1.0, Y1)))

    def frame(self, lon, lat):
        """Screen position and the Jacobian of a decal laid on the surface at
        (lon, lat), measured in pixels of the unturned face."""
        e = 0.01
        x, y, z = self.project(lon, lat)
        cl = max(0.2, math.cos(lat))
        xa, ya, _ = self.project(lon + e / (HEAD_RX * cl), lat)
        xb, yb, _ = self.project(lon, lat + e / HEAD_RY)
        return x, y, z, ((xa - x) / e, (xb - x) / e, (ya - y) / e, (yb - y) / e)

    def decal(self, cv, lon, lat, fn, size):
        """Mask of the local shape fn(a, b) placed on the surface."""
        x, y, z, (j00, j01, j10, j11) = self.frame(lon, lat)
        det = j00 * j11 - j01 * j10
        if abs(det) < 1e-6:
            return Mask(cv.w, cv.h)
        i00, i01, i10, i11 = j11 / det, -j01 / det, -j10 / det, j00 / det

        def inside(px, py):
            dx, dy = px - x, py - y
            return fn(i00 * dx + i01 * dy, i10 * dx + i11 * dy)

        size *= self.s
        return cv.mask(inside, (x - size, y - size, x + size, y + size))

    def decal_line(self, cv, lon, lat, pts):
        """A one-pixel line through local points on the surface."""
        x, y, z, (j00, j01, j10, j11) = self.frame(lon, lat)
        return line_mask(cv.w, cv.h, [(x + j00 * a + j01 * b, y + j10 * a + j11 * b) for a, b in pts])

    def outline_shape(self):
        return ellipse(self.hx, self.hy, self.rx, self.ry, self.roll)


def hairline(lon):
    """Latitude of the lower edge of the hair at a longitude; the curls of the
    fringe make it wavy."""
    a = abs(lon)
    t = min(1.0, max(0.0, (a - D(50)) / D(55)))
    t = t * t * (3 - 2 * t)
    base = D(-50) + t * D(40)
    curl = D(4.0) * abs(math.cos(lon * 4.0)) * (1 - t)
    return base + curl


CURLS = [(-102, -20, 5.2), (-90, -42, 5.6), (-68, -58, 5.4), (-36, -66, 4.8), (0, -68, 4.8),
         (36, -66, 4.8), (68, -58, 5.4), (90, -42, 5.6), (102, -20, 5.2),
         (-150, -30, 6.0), (150, -30, 6.0), (180, -40, 6.0), (-125, -50, 6.0), (125, -50, 6.0)]


def eye_shape(state):
    if state == "closed":
        return None
    return lambda a, b: (a / 2.7) ** 2 + (b / 3.8) ** 2 <= 1.0


def draw_head(cv, hd, face):
    """Ears, head, hair and face.  face: dict with 'eyes' (left, right states),
    'mouth', 'brows' (lift in pixels), 'mouth_lat', 'eye_lat' overrides."""
    w, h = cv.w, cv.h
    eye_lat = face.get("eye_lat", EYE_LAT)
    mouth_lat = face.get("mouth_lat", MOUTH_LAT)
    head = cv.shape(hd.outline_shape())

    # Ears: beside the head when seen edge-on, on it when turned towards us.
    late_ears = []
    for side in (-1, 1):
        ex, ey, ez = hd.project(side * D(92), D(4))
        if ez < -0.35:
            continue
        k = hd.s
        ear = cv.shape(ellipse(ex + side * 2.0 * k * hd.cr, ey + side * 2.0 * k * hd.sr, 4.6 * k, 6.0 * k, hd.roll))
        if ez > 0.2:
            late_ears.append((side, ear))
        else:
            draw_part(cv, ear, SKIN, SKIN_SH, k=2)
            cv.paint(cv.shape(ellipse(ex + side * 2.2 * k * hd.cr, ey + side * 2.2 * k * hd.sr, 1.6 * k, 3.0 * k, hd.roll)) & ear, SKIN_SH)

    draw_part(cv, head, SKIN, SKIN_SH, k=3)
    for side, ear in late_ears:
        ear = ear & head.eroded()
        cv.paint(ear.dilated(False) - ear, OL)
        cv.paint(ear, SKIN)
        cv.paint(ear - ear.shifted(-side * 2, 0), SKIN_SH)

    # Hair: a cap of curls on the skull and puffs that break the silhouette.
    cap = Mask(w, h)
    for x, y in head.pixels():
        s = hd.surface(x + 0.5, y + 0.5)
        if s and s[1] < hairline(s[0]):
            cap.set(x, y)
    simple = face.get("simple_hair", False)     # tiny pictures: one mass, no curls
    if not simple:
        draw_part(cv, cap, HAIR, HAIR_SH, k=2)
    hair = cap
    # Curls, drawn back to front and each outlined, so the mop reads as a heap
    # of bubbles.  None may slide down over the face.
    curls = []
    for lon, lat, r in CURLS:
        x, y, z = hd.project(D(lon), D(lat), 1.04)
        if z > -0.75:
            curls.append((z, x, y, r))
    curls.sort()
    for z, x, y, r in curls:
        puff = cv.shape(ellipse(x, y, r * hd.s, r * 0.92 * hd.s))
        bad = Mask(w, h)
        for px, py in (puff & head).pixels():
            s = hd.surface(px + 0.5, py + 0.5)
            if s and s[1] > hairline(s[0]) + D(5):
                bad.set(px, py)
        puff = puff - bad
        if not simple:
            draw_part(cv, puff, HAIR, HAIR_SH, k=2)
        hair = hair | puff
    if simple:
        draw_part(cv, hair, HAIR, HAIR_SH, k=1)
    # a few curl marks and a shine give the mop its fizz
    x, y, z = hd.project(D(-38), D(-70))
    if z > 0:
        cv.paint(cv.shape(ellipse(x, y, 2.2 * hd.s, 1.2 * hd.s, hd.roll - 0.5)) & hair, YELLOW)
    if face.get("features", True):
        draw_face(cv, hd, face, eye_lat, mouth_lat, head)
    return head | hair


def draw_face(cv, hd, face, eye_lat, mouth_lat, head):
    w, h = cv.w, cv.h
    eyes = face.get("eyes", ("open", "open"))
    brows = face.get("brows")
    # cheeks
    for side in (-1, 1):
        lon = side * D(40)
        x, y, z = hd.project(lon, D(18))
        if z > 0.3:
            m = hd.decal(cv, lon, D(18), lambda a, b: (a / 3.2) ** 2 + (b / 1.9) ** 2 <= 1, 6)
            cv.paint(m & head, PINK)
    # brows
    for i, side in enumerate((-1, 1)):
        lon = side * EYE_LON
        x, y, z = hd.project(lon, eye_lat)
        if z < 0.25 or brows is None:
            continue
        lift = brows[i]
        b0 = -6.6 - lift
        pts = [(-2.6, b0 + 0.9), (0, b0 - 0.3), (2.6, b0 + 0.9)]
        m = hd.decal_line(cv, lon, eye_lat, bezier(*pts, n=10))
        cv.paint(m & head, OL)
    # eyes
    for i, side in enumerate((-1, 1)):
        lon = side * EYE_LON
        x, y, z = hd.project(lon, eye_lat)
        if z < 0.25:
            continue
        state = eyes[i]
        if state == "closed":
            arc = hd.decal_line(cv, lon, eye_lat, bezier((-3.0, 1.2), (0, -2.6), (3.0, 1.2), 12))
            # the lid line, thickened upwards only so it stays a slim arc
            cv.paint(arc.dilated(False) & hd.decal(cv, lon, eye_lat, lambda a, b: b < 0.3, 6) | arc, OL)
            continue
        m = hd.decal(cv, lon, eye_lat, eye_shape(state), 6)
        cv.paint(m, OL)
        # shine: one pixel up and to the left of the centre; two when sparkling
        x, y, z, j = hd.frame(lon, eye_lat)
        cv.put(int(x + j[0] * -0.9 + j[1] * -1.5), int(y + j[2] * -0.9 + j[3] * -1.5), WHITE)
        if state == "sparkle":
            cv.put(int(x + j[0] * 1.0 + j[1] * 1.6), int(y + j[2] * 1.0 + j[3] * 1.6), PALE)
    # nose
    nose_lat = (eye_lat + mouth_lat) / 2 + D(3)
    x, y, z = hd.project(face.get("mouth_lon", 0.0) / 2, nose_lat)
    nose = hd.decal(cv, face.get("mouth_lon", 0.0) / 2, nose_lat, lambda a, b: (a / 2.6) ** 2 + (b / 2.1) ** 2 <= 1, 5)
    draw_part(cv, nose, SKIN, SKIN_SH, k=1)
    cv.put(int(x - 1), int(y - 1), WHITE)
    draw_mouth(cv, hd, face.get("mouth", "smile"), mouth_lat, face.get("mouth_lon", 0.0))


def draw_mouth(cv, hd, kind, lat, lon=0.0):
    w, h = cv.w, cv.h
    if kind == "smile":
        m = hd.decal_line(cv, lon, lat, bezier((-3.4, -0.6), (0, 3.6), (3.4, -0.6), 14))
        cv.paint(m, OL)
        for side in (-1, 1):
            c = hd.decal_line(cv, lon, lat, [(side * 3.4, -0.6), (side * 3.9, -1.5)])
            cv.paint(c, OL)
    elif kind == "o":
        m = hd.decal(cv, lon, lat, lambda a, b: (a / 1.9) ** 2 + ((b - 1.6) / 2.3) ** 2 <= 1, 6)
        draw_part(cv, m, MOUTH, diagonal=False)
        t = hd.decal(cv, lon, lat, lambda a, b: b > 2.6, 6) & m
        cv.paint(t, PINK)
    elif kind == "grin":
        # a broad happy D with a row of teeth
        def shp(a, b):
            top = -0.5 + 0.05 * a * a
            return b >= top and (a / 3.6) ** 2 + ((b - top) / 3.0) ** 2 <= 1

        m = hd.decal(cv, lon, lat, shp, 7)
        draw_part(cv, m, MOUTH, diagonal=False)
        cv.paint(hd.decal(cv, lon, lat, lambda a, b: ((a - 0.3) / 2.0) ** 2 + ((b - 2.9) / 1.3) ** 2 <= 1, 7) & m, PINK)
        cv.paint(hd.decal(cv, lon, lat, lambda a, b: b < 0.7 + 0.05 * a * a and abs(a) < 2.8, 7) & m, WHITE)
    elif kind == "wide":
        # "ah": taller than wide, tongue showing
        m = hd.decal(cv, lon, lat, lambda a, b: (a / 2.7) ** 2 + ((b - 2.3) / 3.1) ** 2 <= 1, 7)
        draw_part(cv, m, MOUTH, diagonal=False)
        cv.paint(hd.decal(cv, lon, lat, lambda a, b: ((a - 0.3) / 2.0) ** 2 + ((b - 4.6) / 1.6) ** 2 <= 1, 7) & m, PINK)
    elif kind == "ee":
        # a flat wide slit full of teeth
        m = hd.decal(cv, lon, lat, lambda a, b: (a / 3.6) ** 2 + ((b - 0.9) / 1.5) ** 2 <= 1, 7)
        draw_part(cv, m, WHITE, diagonal=False)
        cv.paint(hd.decal_line(cv, lon, lat, [(-3.0, 1.0), (3.0, 1.0)]) & m, PALE)
    elif kind == "flat":
        m = hd.decal_line(cv, lon, lat, bezier((-2.8, 0.6), (0.5, 0.2), (3.0, -0.6), 10))
        cv.paint(m, OL)
    else:
        raise ValueError(kind)


# Body --------------------------------------------------------------------

ARM_R, FOREARM_R, SLEEVE_R = 3.6, 3.2, 4.5
LEG_R = 5.2


def unit(dx, dy):
    d = math.hypot(dx, dy) or 1.0
    return dx / d, dy / d


def draw_hand(cv, wx, wy, kind, ang, flip=1):
    """A mitten hand whose wrist is at (wx, wy), pointing along ang (radians);
    flip puts the thumb on the other side.  Returns the mask it covers."""
    if kind == "hidden":
        return Mask(cv.w, cv.h)
    ux, uy = math.cos(ang), math.sin(ang)
    nx, ny = -uy * flip, ux * flip           # thumb side
    if kind in ("open", "wave"):
        # fingers held together: a paddle with the thumb standing off it
        px, py = wx + ux * 4.2, wy + uy * 4.2
        palm = cv.shape(ellipse(px, py, 5.2, 3.7, ang))
        a = ang + 1.0 * flip
        bx, by = px - ux * 2.2 + nx * 1.5, py - uy * 2.2 + ny * 1.5
        thumb = cv.shape(capsule(bx, by, bx + math.cos(a) * 4.6, by + math.sin(a) * 4.6, 1.9, 1.6))
        hand = palm | thumb
        draw_part(cv, hand, SKIN, SKIN_SH, k=1)
        crease = [(bx + ux * 1.6 + nx * 0.2, by + uy * 1.6 + ny * 0.2),
                  (bx + ux * 1.6 + nx * 2.4, by + uy * 1.6 + ny * 2.4)]
        cv.paint(line_mask(cv.w, cv.h, crease) & hand, SKIN_SH)
        for off in (-1.0, 1.4):
            cx, cy = px - nx * off, py - ny * off
            cv.paint(line_mask(cv.w, cv.h, [(cx + ux * 2.6, cy + uy * 2.6), (cx + ux * 5.0, cy + uy * 5.0)]) & palm, SKIN_SH)
        return hand
    px, py = wx + ux * 3.0, wy + uy * 3.0
    if kind == "mitt":
        palm = cv.shape(ellipse(px, py, 4.1, 3.8, ang))
        tx, ty = px + nx * 3.4 + ux * 0.6, py + ny * 3.4 + uy * 0.6
        thumb = cv.shape(capsule(px + nx * 1.0, py + ny * 1.0, tx, ty, 1.8, 1.6))
        hand = palm | thumb
        draw_part(cv, hand, SKIN, SKIN_SH, k=1)
        cv.paint(line_mask(cv.w, cv.h, [(px + nx * 1.4 + ux * 1.2, py + ny * 1.4 + uy * 1.2),
                                        (px + nx * 1.4 - ux * 1.0, py + ny * 1.4 - uy * 1.0)]) & hand, SKIN_SH)
        return hand
    palm = cv.shape(ellipse(px, py, 4.4, 3.8, 0.0) if kind == "thumb" else ellipse(px, py, 3.9, 3.7, ang))
    draw_part(cv, palm, SKIN, SKIN_SH, k=1)
    hand = palm
    if kind == "point":
        f = cv.shape(capsule(px + ux * 2, py + uy * 2, px + ux * 8.5, py + uy * 8.5, 1.5, 1.4))
    elif kind == "thumb":
        f = cv.shape(capsule(px - 0.5, py - 2.0, px + 0.2, py - 7.6, 2.1, 1.9))
    elif kind == "fist":
        f = None
    else:
        raise ValueError(kind)
    if f is not None:
        draw_part(cv, f, SKIN, SKIN_SH, k=1, diagonal=False)
        hand = hand | f
    # knuckle crease
    cx, cy = px + ux * 1.4, py + uy * 1.4
    cv.paint(line_mask(cv.w, cv.h, [(cx + nx * 2.2, cy + ny * 2.2), (cx - nx * 1.6, cy - ny * 1.6)]) & palm, SKIN_SH)
    return hand


def draw_arm(cv, arm, sleeve=SHIRT, sleeve_sh=SHIRT_SH):
    sx, sy = arm["s"]
    ex, ey = arm["e"]
    wx, wy = arm["w"]
    ang = math.radians(arm.get("hdir", math.degrees(math.atan2(wy - ey, wx - ex))))
    upper = cv.shape(capsule(sx, sy, ex, ey, ARM_R, FOREARM_R + 0.2))
    fore = cv.shape(capsule(ex, ey, wx, wy, FOREARM_R + 0.2, FOREARM_R - 0.2))
    k = 0.6
    sleeve_m = cv.shape(capsule(sx, sy, sx + (ex - sx) * k, sy + (ey - sy) * k, SLEEVE_R, SLEEVE_R - 0.3))
    arm_m = upper | fore | sleeve_m
    draw_part(cv, arm_m, SKIN, SKIN_SH, k=2)
    cv.paint(sleeve_m, sleeve)
    cv.paint(sleeve_m - arm_m.shifted(-2, -2), sleeve_sh)
    cv.paint(sleeve_m.dilated(False) - sleeve_m - (~arm_m), OL)
    hand = draw_hand(cv, wx, wy, arm.get("hand", "mitt"), ang, arm.get("flip", 1))
    return arm_m | hand


def draw_leg(cv, leg, side_view=False):
    hx, hy = leg["h"]
    kx, ky = leg["k"]
    ax, ay = leg["a"]
    m = cv.shape(capsule(hx, hy, kx, ky, LEG_R + 0.4, LEG_R)) | cv.shape(capsule(kx, ky, ax, ay, LEG_R, LEG_R - 0.4))
    draw_part(cv, m, PANTS, PANTS_SH, k=2)
    # cuff
    ux, uy = unit(ax - kx, ay - ky)
    cuff = line_mask(cv.w, cv.h, [(ax - uy * 5.2 - ux * 1.5, ay + ux * 5.2 - uy * 1.5),
                                  (ax + uy * 5.2 - ux * 1.5, ay - ux * 5.2 - uy * 1.5)])
    cv.paint(cuff & m, PANTS_SH)
    draw_shoe(cv, leg)
    return m


def draw_shoe(cv, leg):
    ax, ay = leg["a"]
    f = leg.get("foot", 0.0)          # toe direction: -1 left .. 1 right, "side" views use +-2
    tilt = math.radians(leg.get("tilt", 0.0))
    if abs(f) >= 2:
        d = 1 if f > 0 else -1
        cx, cy = ax + d * 3.6, ay + 4.0
        shoe = cv.shape(ellipse(cx, cy, 9.2, 5.0, tilt))
        shoe = shoe | cv.shape(ellipse(cx + d * 3.2, cy + 0.4 - 0.0, 6.0, 4.6, tilt))
    else:
        cx, cy = ax + f * 3.0, ay + 4.4
        shoe = cv.shape(ellipse(cx, cy, 7.8, 5.2, tilt + f * 0.12))
    draw_part(cv, shoe, SHOE, SHOE_SH, k=2)
    # sole: the bottom rows, slanted with the shoe
    ca, sa = math.cos(tilt), math.sin(tilt)
    sole = cv.mask(lambda x, y: -(x - cx) * sa + (y - cy) * ca > 3.1, (cx - 11, cy - 7, cx + 11, cy + 7)) & shoe
    cv.paint(sole, PALE)
    # shine on the toe cap
    hx = cx + (f if abs(f) < 2 else (3 if f > 0 else -3)) * 1.2 - 2
    cv.paint(cv.shape(ellipse(hx, cy - 2.2, 1.8, 0.9)) & shoe, WHITE)


def draw_torso(cv, b):
    cx, top, hip = b["x"], b["top"], b["hip"]
    lean = math.radians(b.get("lean", 0.0))
    tl = math.tan(lean)
    waist = hip - 5
    # trousers: a waistband wide enough for both legs
    pants = cv.shape(polygon([(cx - 12.5 + (waist - 3 - hip) * tl, waist - 3), (cx + 12.5 + (waist - 3 - hip) * tl, waist - 3),
                              (cx + 12.5, hip + 3), (cx - 12.5, hip + 3)])) | \
        cv.shape(ellipse(cx, hip + 2, 12.5, 4.0))
    draw_part(cv, pants, PANTS, PANTS_SH, k=3)
    # shirt: round shoulders and a tummy, hanging over the waistband
    sx = cx + (top - hip) * tl
    cy = (top + waist) / 2 + 1
    ry = (waist - top) / 2 + 2.5
    shirt = cv.shape(ellipse((sx + cx) / 2, cy, b.get("rx", 14.5), ry, -lean)) | \
        cv.shape(capsule(sx - 9.0, top + 5, sx + 9.0, top + 5, 6.0))
    shirt = shirt & cv.mask(lambda x, y: y < waist + 1.5, (0, 0, cv.w, cv.h))
    draw_part(cv, shirt, SHIRT, SHIRT_SH, k=3)
    # belt buckle peeking out under the hem
    buckle = cv.shape(rect(cx - 2.5, waist + 2.5, cx + 2.5, waist + 5.0))
    cv.paint(buckle & pants - shirt.dilated(), YELLOW)
    # star on the chest
    if b.get("star", True):
        stx, sty = sx + b.get("star_dx", -5.0), top + 16
        pts = []
        for i in range(10):
            r = 4.6 if i % 2 == 0 else 2.0
            a = -math.pi / 2 + i * math.pi / 5
            pts.append((stx + r * math.cos(a), sty + r * math.sin(a)))
        star = cv.shape(polygon(pts)) & shirt
        draw_part(cv, star, YELLOW, outline=True, diagonal=False)
    col = cv.shape(ellipse(sx, top + 1.2, 6.5, 3.2)) & shirt
    cv.paint(col, SHIRT_SH)
    return shirt | pants


def draw_pimbo(P, w=SPRITE, h=SPRITE):
    """Renders one picture of Pimbo from a pose description."""
    cv = Canvas(w, h)
    b = P["body"]
    hd_p = P["head"]
    hd = Head(hd_p["x"], hd_p["y"], D(hd_p.get("yaw", 0)), D(hd_p.get("pitch", 0)), D(hd_p.get("roll", 0)))
    arms = P["arms"]
    for a in arms:
        if a.get("layer") == "back":
            draw_arm(cv, a)
    for leg in sorted(P["legs"], key=lambda l: l.get("z", 0)):
        draw_leg(cv, leg)
    # neck
    neck = cv.shape(capsule(b["x"], b["top"] + 2, hd.hx, hd.hy, 5.0))
    draw_part(cv, neck, SKIN, SKIN_SH, k=2)
    draw_torso(cv, b)
    for a in arms:
        if a.get("layer", "mid") == "mid":
            draw_arm(cv, a)
    draw_head(cv, hd, P.get("face", {}))
    for a in arms:
        if a.get("layer") == "front":
            draw_arm(cv, a)
    cv.filled_holes = finish_silhouette(cv)
    return cv


def finish_silhouette(cv):
    """Thickens the outer outline and closes any gap enclosed by the figure, so
    that every transparent pixel is reachable from the border."""
    fig = cv.opaque()
    cv.paint(fig.dilated(False) - fig, OL)
    fig = cv.opaque()
    holes = fill_holes(fig) - fig
    if not holes.empty():
        cv.paint(holes, OL)
    return holes.count()


# Faces of the poses --------------------------------------------------------
#
# The engine pastes 10x10 eye and mouth cells at fixed offsets per pose.  The
# head of each pose is therefore placed (and turned, nodded and tilted) so
# that the winking eye and the mouth land in the middle of their cells.

EXPRESSION_OFFSETS = [  # (eye x, eye y, mouth x, mouth y) per pose
    (53, 17, 57, 32), (58, 14, 62, 34), (56, 16, 56, 32), (59, 14, 55, 34),
    (55, 15, 55, 32), (63, 16, 59, 31), (57, 17, 60, 32), (64, 15, 64, 31),
    (56, 19, 60, 32), (63, 19, 57, 36), (58, 20, 56, 39), (54, 17, 58, 36),
    (63, 17, 58, 37), (57, 19, 60, 37), (64, 18, 59, 36), (54, 18, 58, 36),
]
CELL = 10
MOUTH_LINE = 3.0      # rows from the top of a mouth cell to the line of the lips
HAIR_TOP_MIN = 3.0    # highest row the curls may reach, leaving room for outlines


def hair_top(hd):
    """How far above the head's centre its highest curl reaches."""
    top = -hd.ry
    for lon, lat, r in CURLS:
        x, y, z = hd.project(D(lon), D(lat), 1.04)
        if z > -0.75:
            top = min(top, y - hd.hy - r * 0.92 * hd.s)
    return top


EYE_TOL = (1.2, 0.8)     # how far the eye may sit from the middle of its cell
MOUTH_TOL = (0.5, 0.5)


def solve_face(pose, yaw_pref=0.0, pitch_pref=0.0, roll_pref=0.0):
    """Head placement for a pose: the least turned, nodded and tilted head (and
    the least displaced mouth) that puts a wink eye and the mouth in their cells."""
    ex, ey, mx, my = EXPRESSION_OFFSETS[pose]
    te = (ex + CELL / 2, ey + CELL / 2)
    tm = (mx + CELL / 2, my + MOUTH_LINE)
    tol_x, tol_y = EYE_TOL[0] + MOUTH_TOL[0], EYE_TOL[1] + MOUTH_TOL[1]
    best = None
    for yaw in range(-6, 7, 3):
        for pitch in range(-18, 19, 3):
            for roll in range(-16, 17, 2):
                base = (0.02 * (yaw - yaw_pref) ** 2 + 0.02 * (pitch - pitch_pref) ** 2
                        + 0.025 * (roll - roll_pref) ** 2)
                if best is not None and base > best[0]:
                    continue
                hd = Head(0, 0, D(yaw), D(pitch), D(roll))
                hy_min = HAIR_TOP_MIN - hair_top(hd)
                mouths = [(mlat, mlon) + hd.project(D(mlon), D(mlat))[:2]
                          for mlat in range(8, 33, 2) for mlon in range(-6, 7, 2)]
                for side in (-1, 1):
                    for elat in (-24, -22, -20):
                        x0, y0, _ = hd.project(side * EYE_LON, D(elat))
                        c0 = base + 0.3 * (elat + 22) ** 2
                        for mlat, mlon, x1, y1 in mouths:
                            rx, ry = x1 - x0 - (tm[0] - te[0]), y1 - y0 - (tm[1] - te[1])
                            dx = max(0.0, abs(rx) - tol_x)
                            dy = max(0.0, abs(ry) - tol_y)
                            # where the head goes: split the error between eye and mouth
                            hx = te[0] - x0 + max(-EYE_TOL[0], min(EYE_TOL[0], -rx / 2))
                            hy = te[1] - y0 + max(-EYE_TOL[1], min(EYE_TOL[1], -ry / 2))
                            hy_fix = max(0.0, hy_min - hy)
                            cost = (c0 + 12 * (dx * dx + dy * dy) + 0.06 * (mlat - 28) ** 2
                                    + 0.08 * mlon * mlon + 200 * max(0.0, hy_fix - EYE_TOL[1]) ** 2)
                            if best is None or cost < best[0]:
                                best = (cost, side, yaw, pitch, roll, elat, mlat, mlon, hx,
                                        min(hy + hy_fix, te[1] - y0 + EYE_TOL[1]))
    cost, side, yaw, pitch, roll, elat, mlat, mlon, hx, hy = best
    return dict(side=side, yaw=yaw, pitch=pitch, roll=roll, eye_lat=D(elat), mouth_lat=D(mlat),
                mouth_lon=D(mlon), x=hx, y=hy, cost=cost)


# Poses -------------------------------------------------------------------

BODY_X, BODY_TOP, BODY_HIP, ANKLE_Y = 64, 49, 89, 114


def standing_legs(cx=BODY_X, spread=0.0):
    return [dict(h=(cx - 7, 88), k=(cx - 7.5 - spread / 2, 101.5), a=(cx - 8 - spread, ANKLE_Y), foot=-1),
            dict(h=(cx + 7, 88), k=(cx + 7.5 + spread / 2, 101.5), a=(cx + 8 + spread, ANKLE_Y), foot=1)]


def posed(pose, face_sol, build, mouth="smile", roll_face=None, **face_extra):
    """A pose: the solved head plus a body made by build(sx, sy), where (sx, sy)
    is the middle of the shoulder line."""
    hx, hy = face_sol["x"], face_sol["y"]
    sx = BODY_X + max(-4.0, min(4.0, (hx - BODY_X) * 0.7))
    sy = BODY_TOP + 6
    body, arms, legs = build(sx, sy)
    for a in arms:
        if a["w"] == "CHIN":
            a["w"] = (hx + 3, hy + 23)
        elif a["w"] == "SCRATCH":
            a["w"] = (hx - 17, hy - 15)
    body.setdefault("x", BODY_X)
    body.setdefault("top", BODY_TOP)
    body.setdefault("hip", BODY_HIP)
    body["lean"] = math.degrees(math.atan2(body["x"] - sx, body["hip"] - body["top"]))
    face = dict(eyes=("open", "open"), mouth=mouth, eye_lat=face_sol["eye_lat"],
                mouth_lat=face_sol["mouth_lat"], mouth_lon=face_sol["mouth_lon"])
    face.update(face_extra)
    return dict(head=dict(x=hx, y=hy, yaw=face_sol["yaw"], pitch=face_sol["pitch"], roll=face_sol["roll"]),
                face=face, body=body, arms=arms, legs=legs, wink=face_sol["side"], pose=pose)


def arm_at(s, e, w, hand="mitt", hdir=None, layer="mid", flip=1):
    d = dict(s=s, e=e, w=w, hand=hand, layer=layer, flip=flip)
    if hdir is not None:
        d["hdir"] = hdir
    return d


def hang_l(sx, sy, **kw):
    return arm_at((sx - 13, sy), (sx - 16.5, sy + 12.5), (sx - 18, sy + 24), flip=-1, **kw)


def hang_r(sx, sy, **kw):
    return arm_at((sx + 13, sy), (sx + 16.5, sy + 12.5), (sx + 18, sy + 24), **kw)


def pose_bodies():
    """Per pose: preferred head yaw, pitch and roll, the resting mouth, and a
    builder of body, arms and legs from the middle of the shoulders."""
    P = {}

    def heart(sx, sy):         # a hand on his heart, the other held out: heartfelt
        return (dict(star=False), [arm_at((sx - 13, sy), (sx - 22, sy + 9), (sx - 31, sy + 14), "open", hdir=160, flip=1),
                                   arm_at((sx + 13, sy), (sx + 17, sy + 12), (sx + 8, sy + 7), hdir=-150, flip=1)],
                standing_legs())
    P[0] = (0, 0, 6, "smile", heart)

    def pointing(sx, sy):
        return (dict(), [hang_l(sx, sy), arm_at((sx + 13, sy), (sx + 25, sy - 2), (sx + 36, sy - 5), "point", hdir=-14)],
                standing_legs(spread=2))
    P[1] = (0, 0, 0, "grin", pointing)

    def crossed(sx, sy):
        return (dict(star=False), [arm_at((sx - 13, sy), (sx - 16, sy + 11), (sx + 2, sy + 10), "fist", flip=-1),
                                   arm_at((sx + 13, sy), (sx + 16, sy + 12), (sx - 3, sy + 13), "fist")],
                standing_legs(spread=3))
    P[2] = (0, 0, -6, "flat", crossed)

    def shrug(sx, sy):
        return (dict(), [arm_at((sx - 13, sy - 2), (sx - 18, sy + 9), (sx - 29, sy + 5), "open", hdir=200, flip=1),
                         arm_at((sx + 13, sy - 2), (sx + 18, sy + 9), (sx + 29, sy + 5), "open", hdir=-20, flip=-1)],
                standing_legs())
    P[3] = (0, 0, -8, "flat", shrug)

    def thumbs(sx, sy):
        return (dict(), [hang_l(sx, sy), arm_at((sx + 13, sy), (sx + 22, sy + 9), (sx + 25, sy - 3), "thumb", hdir=-90)],
                standing_legs(spread=2))
    P[4] = (0, 0, 0, "grin", thumbs)

    def chin(sx, sy, hx=None, hy=None):
        return (dict(), [arm_at((sx - 13, sy), (sx - 15, sy + 13), (sx + 8, sy + 16), hdir=0, flip=-1),
                         arm_at((sx + 13, sy), (sx + 13, sy + 14), "CHIN", "fist", hdir=-100, layer="front")],
                standing_legs())
    P[5] = (0, 0, -6, "flat", chin)

    def wave(sx, sy):
        return (dict(), [hang_l(sx, sy), arm_at((sx + 13, sy), (sx + 27, sy - 2), (sx + 37, sy - 12), "wave", hdir=-62, flip=-1)],
                standing_legs(spread=1))
    P[6] = (0, 0, 4, "grin", wave)

    def cheer(sx, sy):
        return (dict(), [arm_at((sx - 13, sy - 1), (sx - 23, sy - 11), (sx - 28, sy - 24), "fist", hdir=-105, flip=-1),
                         arm_at((sx + 13, sy - 1), (sx + 23, sy - 11), (sx + 28, sy - 24), "fist", hdir=-75)],
                standing_legs(spread=4))
    P[7] = (0, 0, 0, "grin", cheer)

    def shy(sx, sy):
        return (dict(), [arm_at((sx - 13, sy), (sx - 15, sy + 12), (sx - 5, sy + 22), hdir=30, flip=-1),
                         arm_at((sx + 13, sy), (sx + 15, sy + 12), (sx + 5, sy + 22), hdir=150, flip=1)],
                [dict(h=(BODY_X - 7, 88), k=(BODY_X - 7.5, 101.5), a=(BODY_X - 8, ANKLE_Y), foot=-1),
                 dict(h=(BODY_X + 7, 88), k=(BODY_X + 4.5, 101.5), a=(BODY_X + 6.5, ANKLE_Y - 1.5), foot=-0.6, tilt=-14)])
    P[8] = (0, 12, 0, "smile", shy)

    def scratch(sx, sy):
        return (dict(), [arm_at((sx - 13, sy), (sx - 27, sy - 10), "SCRATCH", "mitt", hdir=-10, layer="front", flip=-1),
                         hang_r(sx, sy)], standing_legs())
    P[9] = (0, 0, 0, "flat", scratch)

    def behind(sx, sy):
        return (dict(), [arm_at((sx - 13, sy), (sx - 16, sy + 12), (sx - 8, sy + 20), "hidden", layer="back"),
                         arm_at((sx + 13, sy), (sx + 16, sy + 12), (sx + 8, sy + 20), "hidden", layer="back")],
                standing_legs(spread=-1))
    P[10] = (0, 0, -4, "o", behind)

    def present(sx, sy):
        return (dict(), [arm_at((sx - 13, sy), (sx - 15, sy + 13), (sx - 2, sy + 18), hdir=0, flip=-1),
                         arm_at((sx + 13, sy), (sx + 22, sy + 10), (sx + 33, sy + 11), "open", hdir=-15, flip=-1)],
                standing_legs(spread=2))
    P[11] = (0, 0, 0, "grin", present)

    def aha(sx, sy):
        return (dict(), [arm_at((sx - 13, sy), (sx - 27, sy + 3), (sx - 33, sy - 8), "point", hdir=-100, flip=-1),
                         hang_r(sx, sy)], standing_legs())
    P[12] = (0, 0, 0, "o", aha)

    def jump(sx, sy):
        return (dict(), [arm_at((sx - 13, sy), (sx - 23, sy - 8), (sx - 31, sy - 17), "open", hdir=-130, flip=1),
                         arm_at((sx + 13, sy), (sx + 23, sy - 8), (sx + 31, sy - 17), "open", hdir=-50, flip=-1)],
                [dict(h=(BODY_X - 7, 88), k=(BODY_X - 14, 99), a=(BODY_X - 21, 109), foot=-2, tilt=20),
                 dict(h=(BODY_X + 7, 88), k=(BODY_X + 14, 99), a=(BODY_X + 21, 109), foot=2, tilt=-20)])
    P[13] = (0, 0, 0, "wide", jump)

    def dance(sx, sy):
        return (dict(), [arm_at((sx - 13, sy), (sx - 21, sy + 9), (sx - 29, sy + 18), "point", hdir=135, flip=-1),
                         arm_at((sx + 13, sy), (sx + 22, sy - 7), (sx + 29, sy - 17), "point", hdir=-55)],
                [dict(h=(BODY_X - 7, 88), k=(BODY_X - 8.5, 101.5), a=(BODY_X - 9, ANKLE_Y), foot=-1),
                 dict(h=(BODY_X + 7, 88), k=(BODY_X + 18, 94), a=(BODY_X + 20, 106), foot=2, tilt=-10)])
    P[14] = (0, 0, 0, "grin", dance)

    def tada(sx, sy):
        return (dict(), [arm_at((sx - 13, sy), (sx - 25, sy - 2), (sx - 36, sy - 5), "open", hdir=-160, flip=1),
                         arm_at((sx + 13, sy), (sx + 25, sy - 2), (sx + 36, sy - 5), "open", hdir=-20, flip=-1)],
                [dict(h=(BODY_X - 7, 88), k=(BODY_X - 9, 101.5), a=(BODY_X - 11, ANKLE_Y), foot=-2),
                 dict(h=(BODY_X + 7, 88), k=(BODY_X + 9, 101.5), a=(BODY_X + 11, ANKLE_Y), foot=2)])
    P[15] = (0, 0, 0, "grin", tada)
    return P


def build_poses():
    out = []
    bodies = pose_bodies()
    for i in range(16):
        yaw, pitch, roll, mouth, build = bodies[i]
        sol = solve_face(i, yaw, pitch, roll)
        out.append(posed(i, sol, build, mouth))
    return out


# Expressions ---------------------------------------------------------------

STRIP_W, STRIP_H, PITCH = 54, 175, 11


def face_variant(P, kind):
    """The pose description with expression kind 1..5 applied to the face."""
    Q = dict(P)
    face = dict(P["face"])
    eyes = list(face["eyes"])
    wink = 0 if P["wink"] < 0 else 1
    if kind == 1:
        eyes[wink] = "closed"
    elif kind == 2:
        eyes[wink] = "sparkle"
    elif kind == 3:
        face["mouth"] = "o" if P["face"]["mouth"] != "o" else "ee"
    elif kind == 4:
        face["mouth"] = "wide" if P["face"]["mouth"] != "wide" else "grin"
    face["eyes"] = tuple(eyes)
    Q["face"] = face
    return Q


def head_region(P):
    hp = P["head"]
    hd = Head(hp["x"], hp["y"], D(hp.get("yaw", 0)), D(hp.get("pitch", 0)), D(hp.get("roll", 0)))
    return raster(SPRITE, SPRITE, *hd.outline_shape()).eroded()


FACE_COLOURS = {SKIN, SKIN_SH, OL, WHITE, PINK, MOUTH, PALE}


def expression_cells(P, base):
    """The five cells of a pose, each cut from the pose drawn with that
    expression.  Fails loudly if an expression spills out of its cell or a cell
    is not wholly on the face, since the engine would show either as a glitch."""
    ex, ey, mx, my = EXPRESSION_OFFSETS[P["pose"]]
    inside = head_region(P)
    cells = []
    for kind in range(1, 6):
        cx, cy = (ex, ey) if kind <= 2 else (mx, my)
        pic = draw_pimbo(face_variant(P, kind))
        for y in range(SPRITE):
            for x in range(SPRITE):
                if pic.px[y][x] != base.px[y][x] and not (cx <= x < cx + CELL and cy <= y < cy + CELL):
                    raise AssertionError("pose %d kind %d changes pixel (%d,%d) outside its cell"
                                         % (P["pose"], kind, x, y))
        cell = pic.crop(cx, cy, CELL, CELL)
        for y in range(CELL):
            for x in range(CELL):
                if not inside.get(cx + x, cy + y) or cell.px[y][x] not in FACE_COLOURS:
                    raise AssertionError("pose %d kind %d: cell pixel (%d,%d) is not on the face"
                                         % (P["pose"], kind, cx + x, cy + y))
        cells.append(cell)
    return cells


def expressions_strip(poses, bases):
    strip = Canvas(STRIP_W, STRIP_H, 0)
    for P, base in zip(poses, bases):
        for k, cell in enumerate(expression_cells(P, base)):
            strip.blit(cell, k * PITCH, P["pose"] * PITCH)
    return strip


# Walking -------------------------------------------------------------------

WALK_YAW = 35


def walk_frame(phase, start=False):
    """Pimbo walking to the right, three-quarter view.  phase in turns (0..1);
    the near leg swings forward during the first half."""
    cx = BODY_X
    legs = []
    feet_y = []
    for i, off in enumerate((0.0, 0.5)):          # near leg, far leg
        psi = 2 * math.pi * (phase + off)
        swing = math.sin(psi)
        thigh = 31 * swing                        # degrees forward of vertical
        flex = 46 * max(0.0, math.cos(psi)) ** 1.5
        if start:
            thigh, flex = (14, 4) if i == 0 else (-10, 10)
        shin = thigh - flex
        hx = cx + (-3.5 if i == 0 else 4.0)
        kx = hx + 13.5 * math.sin(D(thigh))
        ky = 88 + 13.5 * math.cos(D(thigh))
        ax = kx + 12.5 * math.sin(D(shin))
        ay = ky + 12.5 * math.cos(D(shin))
        # toe lifts at heel strike and as the foot leaves the ground
        tilt = -14 * max(0.0, swing) * (1 - flex / 46) + (14 * flex / 46)
        legs.append(dict(h=(hx, 88), k=(kx, ky), a=(ax, ay), foot=2, tilt=tilt, z=1 if i == 0 else 0))
        feet_y.append(ay)
    # the body rides on whichever foot is lower
    drop = ANKLE_Y - max(feet_y)
    for l in legs:
        l["h"] = (l["h"][0], l["h"][1] + drop)
        l["k"] = (l["k"][0], l["k"][1] + drop)
        l["a"] = (l["a"][0], l["a"][1] + drop)
    psi = 2 * math.pi * phase
    top = BODY_TOP + drop
    sx, sy = cx + 2.0, top + 6
    arms = []
    for i, side in enumerate((-1, 1)):             # near arm swings against the near leg
        sw = -math.sin(psi + (0 if i == 0 else math.pi))
        if start:
            sw = -0.5 if i == 0 else 0.5
        # the near arm swings in front of the body: kept straighter there, so
        # the hand passes by the tummy rather than hugging it
        if i == 0:
            a1 = 90 - (22 if sw > 0 else 34) * sw
            a2 = a1 - 8 - 8 * max(0.0, sw)
        else:
            a1 = 90 - 30 * sw
            a2 = a1 - 14 - 22 * max(0.0, sw)
        s = (sx - 10.5 if i == 0 else sx + 9.5, sy + (0 if i == 0 else -1))
        e = (s[0] + 12.5 * math.cos(D(a1)), s[1] + 12.5 * math.sin(D(a1)))
        w = (e[0] + 11 * math.cos(D(a2)), e[1] + 11 * math.sin(D(a2)))
        arms.append(dict(s=s, e=e, w=w, hand="mitt", layer="mid" if i == 0 else "back", flip=1 if i == 0 else -1))
    return dict(head=dict(x=cx + 3, y=28 + drop, yaw=WALK_YAW, pitch=0, roll=3),
                face=dict(eyes=("open", "open"), mouth="smile"),
                body=dict(x=cx, top=top, hip=BODY_HIP + drop, rx=13.0, star_dx=1.0, lean=-3.0),
                arms=arms, legs=legs)


def turn_frame(step):
    """Turning from the walk towards the viewer: step 1 half way, step 2 facing us."""
    cx = BODY_X
    if step == 2:
        P = dict(head=dict(x=cx + 0.5, y=28, yaw=4, pitch=0, roll=0),
                 face=dict(eyes=("open", "open"), mouth="smile"),
                 body=dict(x=cx, top=BODY_TOP, hip=BODY_HIP),
                 arms=[hang_l(cx, BODY_TOP + 6), hang_r(cx, BODY_TOP + 6)],
                 legs=standing_legs())
        return P
    sx, sy = cx + 1, BODY_TOP + 6
    return dict(head=dict(x=cx + 2, y=28, yaw=20, pitch=0, roll=1),
                face=dict(eyes=("open", "open"), mouth="smile"),
                body=dict(x=cx, top=BODY_TOP, hip=BODY_HIP, rx=14.0, star_dx=-2.0),
                arms=[arm_at((sx - 12, sy), (sx - 15, sy + 12.5), (sx - 14, sy + 24), flip=-1),
                      arm_at((sx + 11.5, sy - 0.5), (sx + 15, sy + 12), (sx + 17, sy + 23.5), layer="mid")],
                legs=[dict(h=(cx - 6, 88), k=(cx - 6.5, 101.5), a=(cx - 6.5, ANKLE_Y), foot=1, z=1),
                      dict(h=(cx + 6, 88), k=(cx + 6.5, 101.5), a=(cx + 7, ANKLE_Y - 0.5), foot=2, z=0)])


# Speech bubbles --------------------------------------------------------------

BUB_W, BUB_H = 160, 95
BUBBLE_PALETTE = [(0, 0, 0), PIMBO_PALETTE[OL], (255, 255, 255), (214, 226, 244), (150, 168, 200),
                  (128, 128, 128), (192, 192, 192), (255, 0, 0), (0, 255, 0), (0, 0, 255),
                  (255, 255, 0), (255, 0, 255), (0, 255, 255), (128, 0, 0), (0, 128, 0), (0, 0, 128)]
B_OL, B_WHITE, B_SHADE, B_EDGE = 1, 2, 3, 4
# Where DrawBubbleText puts the text of "bubleft", in bitmap coordinates.  The
# rectangle nominally runs two rows past the bitmap; four lines of text end
# well above that, so the bubble keeps its outline on the last two rows.
BUB_OUTLINE = 2
TEXT_RECT_LEFT = (30, 26, 150, BUB_H - BUB_OUTLINE)
TEXT_RECT_RIGHT = (10, 26, 130, BUB_H - BUB_OUTLINE)
TAIL_TIP_Y = 50


def bubble_left():
    """The bubble that sits right of the mouth: its tail points left."""
    cv = Canvas(BUB_W, BUB_H)
    x0, y0, x1 = 14, 2, 157
    r = 18
    # a rounded box closed by its outline on the bitmap's last two rows
    y1 = BUB_H - BUB_OUTLINE
    # (tighter bottom corners: the text area reaches to 8 pixels of the side)
    body = cv.mask(lambda x, y: rounded_box(x, y, x0, y0, x1, y1, r if y < y1 - 30 else 8),
                   (0, 0, BUB_W, BUB_H))
    tail = cv.shape(polygon(bezier((x0 + 6, 33), (x0 - 2, 45), (1.0, TAIL_TIP_Y), 12)
                            + bezier((1.0, TAIL_TIP_Y), (x0 - 1, 54), (x0 + 6, 64), 12)))
    shape = body | tail
    ring = shape.dilated() - shape
    ring = ring | (ring.dilated(False) - shape)          # two pixels of outline
    cv.paint(ring, B_OL)
    cv.paint(shape, B_WHITE)
    # a soft rim inside the outline, kept out of the text area
    rim = shape - shape.shifted(3, 3)
    rim = rim - cv.shape(rect(*TEXT_RECT_LEFT))
    cv.paint(rim, B_SHADE)
    return cv


def rounded_box(x, y, x0, y0, x1, y1, r):
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r and x0 <= x <= x1 and y0 <= y <= y1


# Background tiles ------------------------------------------------------------
#
# Each tile is computed per pixel from functions that repeat with the tile's
# size, so the tiling shows no seams.  Pastel colours keep a dark-outlined
# Pimbo and the blue title readable on all of them.


def wrap_d(a, b, n):
    """Shortest signed distance from b to a on a circle of length n."""
    d = (a - b) % n
    return d - n if d > n / 2 else d


def mix(c1, c2, t):
    return tuple(int(round(a + (b - a) * t)) for a, b in zip(c1, c2))


def scatter(n, size, count, min_gap, rng):
    """Points spread over a torus, no two closer than min_gap."""
    pts = []
    tries = 0
    while len(pts) < count and tries < 20000:
        tries += 1
        x, y = rng.uniform(0, size), rng.uniform(0, size)
        if all(math.hypot(wrap_d(x, px, size), wrap_d(y, py, size)) >= min_gap for px, py in pts):
            pts.append((x, y))
    return pts


def tile_lemon_dots(S=80):
    bg, dot, rim, shine = (255, 244, 188), (255, 190, 160), (246, 160, 140), (255, 228, 214)
    small = (250, 226, 150)

    def f(x, y):
        for ox, oy, r, big in ((20, 20, 9.5, True), (60, 60, 9.5, True), (60, 20, 3.5, False), (20, 60, 3.5, False)):
            dx, dy = wrap_d(x, ox, S), wrap_d(y, oy, S)
            d = math.hypot(dx, dy)
            if d <= r:
                if not big:
                    return small
                if math.hypot(dx + 3.5, dy + 3.5) <= 2.6:
                    return shine
                return rim if d > r - 1.6 or (dx + dy > r * 0.9) else dot
        return bg
    return f


def tile_mint_stripes(S=96):
    a, b, line = (200, 240, 220), (246, 252, 238), (168, 224, 200)

    def f(x, y):
        u = (x + y + 5 * math.sin(2 * math.pi * (x - y) / S * 2)) % 32
        if 15 <= u < 17:
            return line
        return a if u < 15 else b
    return f


def tile_wobbly_checks(S=80):
    a, b = (228, 216, 252), (252, 226, 238)
    edge = (206, 190, 240)

    def f(x, y):
        wx = x + 3.0 * math.sin(2 * math.pi * y / 40)
        wy = y + 3.0 * math.sin(2 * math.pi * x / 40)
        cx, cy = math.floor(wx / 20), math.floor(wy / 20)
        fx, fy = wx / 20 - cx, wy / 20 - cy
        if min(fx, 1 - fx) < 0.045 or min(fy, 1 - fy) < 0.045:
            return edge
        return a if (cx + cy) % 2 == 0 else b
    return f


def tile_fizz(S=135):
    rng = random.Random(4)
    bubbles = [(x, y, rng.choice((3.5, 5, 6.5, 9, 12))) for x, y in scatter(0, S, 16, 22, rng)]
    top, bottom = (206, 244, 246), (176, 228, 238)
    rim, shine = (130, 200, 220), (250, 255, 255)

    def f(x, y):
        t = 0.5 - 0.5 * math.cos(2 * math.pi * y / S)
        base = mix(top, bottom, round(t * 6) / 6)
        for bx, by, r in bubbles:
            dx, dy = wrap_d(x, bx, S), wrap_d(y, by, S)
            d = math.hypot(dx, dy)
            if d <= r:
                if d > r - 1.3:
                    return rim
                if math.hypot(dx + r * 0.4, dy + r * 0.4) < r * 0.28:
                    return shine
                return mix(base, (236, 252, 252), 0.5)
        return base
    return f


def tile_peach_waves(S=96):
    shades = [(255, 226, 200), (255, 214, 186), (252, 200, 176), (255, 232, 212), (250, 206, 190)]

    def f(x, y):
        v = y + 6 * math.sin(2 * math.pi * x / (S / 2)) + 3 * math.sin(2 * math.pi * (x + y) / S)
        band = int(math.floor(v / 12)) % 8
        frac = (v / 12) % 1
        if frac < 0.12:
            return (246, 186, 160)
        return shades[band % len(shades)]
    return f


def tile_starry_lilac(S=80):
    rng = random.Random(6)
    stars = [(x, y, rng.choice((3.5, 4.5))) for x, y in scatter(0, S, 6, 24, rng)]
    dots = scatter(0, S, 14, 10, random.Random(7))
    bg, star, edge, dot = (236, 226, 252), (255, 232, 120), (240, 196, 90), (214, 200, 246)

    def f(x, y):
        for sx, sy, r in stars:
            dx, dy = wrap_d(x, sx, S), wrap_d(y, sy, S)
            a = math.atan2(dy, dx) + math.pi / 2
            lim = r * (0.55 + 0.45 * abs(math.cos(2.5 * a)) ** 3)
            d = math.hypot(dx, dy)
            if d <= lim:
                return edge if d > lim - 0.9 else star
        for px, py in dots:
            if math.hypot(wrap_d(x, px, S), wrap_d(y, py, S)) <= 1.3:
                return dot
        return bg
    return f


def tile_lime_zigzag(S=96):
    a, b, c = (232, 248, 196), (248, 252, 232), (212, 238, 170)

    def f(x, y):
        z = abs(((x % 24) - 12)) * 0.9
        v = (y + z) % 24
        if v < 3:
            return c
        return a if v < 13 else b
    return f


def tile_sprinkles(S=135):
    rng = random.Random(8)
    cols = [(255, 150, 170), (140, 200, 255), (255, 210, 90), (150, 220, 150), (200, 160, 240)]
    bits = [(x, y, rng.uniform(0, math.pi), rng.choice(cols)) for x, y in scatter(0, S, 42, 13, rng)]
    bg = (255, 246, 228)

    def f(x, y):
        for bx, by, a, c in bits:
            dx, dy = wrap_d(x, bx, S), wrap_d(y, by, S)
            u = dx * math.cos(a) + dy * math.sin(a)
            v = -dx * math.sin(a) + dy * math.cos(a)
            u = max(0.0, abs(u) - 3.2)
            if u * u + v * v <= 2.2:
                return mix(c, (255, 255, 255), 0.25) if v < -0.6 else c
        return bg
    return f


def tile_plaid(S=96):
    base = (255, 240, 236)

    def band(t, width, centre):
        return abs(wrap_d(t, centre, S / 2)) < width

    def f(x, y):
        c = base
        for t in (x, y):
            if band(t, 7, 12):
                c = mix(c, (250, 170, 190), 0.35)
            if band(t, 2, 30):
                c = mix(c, (255, 255, 255), 0.6)
            if band(t, 1, 38):
                c = mix(c, (200, 150, 200), 0.35)
        if (x + y) % 4 == 0 and c != base:
            c = mix(c, base, 0.3)
        return c
    return f


def tile_ripples(S=135):
    centres = [(34, 34), (101, 101)]
    hues = [(255, 214, 214), (255, 236, 200), (244, 250, 200), (212, 246, 220), (210, 234, 252), (232, 218, 252)]

    def f(x, y):
        best = min(centres, key=lambda c: math.hypot(wrap_d(x, c[0], S), wrap_d(y, c[1], S)))
        d = math.hypot(wrap_d(x, best[0], S), wrap_d(y, best[1], S))
        ring = int(d // 8)
        if d % 8 < 1.2:
            return (236, 220, 236)
        return hues[ring % len(hues)]
    return f


TILES = [  # name, maker, size, bits per pixel
    ("bg01", tile_lemon_dots, 80, 4),
    ("bg02", tile_mint_stripes, 96, 4),
    ("bg03", tile_wobbly_checks, 80, 4),
    ("bg04", tile_fizz, 135, 8),
    ("bg05", tile_peach_waves, 96, 8),
    ("bg06", tile_starry_lilac, 80, 4),
    ("bg07", tile_lime_zigzag, 96, 4),
    ("bg08", tile_sprinkles, 135, 8),
    ("bg09", tile_plaid, 96, 8),
    ("bg10", tile_ripples, 135, 8),
]


def render_tile(maker, size, bpp):
    f = maker(size)
    rgb = [[f(x + 0.5, y + 0.5) for x in range(size)] for y in range(size)]
    palette = sorted({c for row in rgb for c in row})
    assert len(palette) <= (1 << bpp), (maker.__name__, len(palette))
    index = {c: i for i, c in enumerate(palette)}
    cv = Canvas(size, size)
    cv.px = [bytearray(index[c] for c in row) for row in rgb]
    return cv, palette


# Editor glyphs, icon and cursor ----------------------------------------------

GLYPH_PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
                 (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
                 (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
G_BLACK, G_GREY, G_NAVY = 0, 7, 4

TINY_PIMBO = [   # the action button's little figure, waving
    "..#.#.#..",
    ".#######.",
    ".#######.",
    "..#####.#",
    "...###..#",
    ".#######.",
    "#..###...",
    "...###...",
    "..##.##..",
    "..#...#..",
    ".##...##.",
]


def sysbuts():
    cv = Canvas(44, 11, G_GREY)
    for x in range(2, 8):                     # minimize: a bar at the bottom
        for y in (7, 8):
            cv.put(x, y, G_BLACK)
    for i in range(7):                        # close: a cross, two pixels thick
        for x0 in (12 + i, 13 + i):
            if x0 <= 18:
                cv.put(x0, 2 + i, G_BLACK)
        for x0 in (18 - i, 17 - i):
            if x0 >= 12:
                cv.put(x0, 2 + i, G_BLACK)
    for y, row in enumerate(TINY_PIMBO):      # the action: Pimbo waving
        for x, ch in enumerate(row):
            if ch == "#":
                cv.put(30 + x, y, G_NAVY)
    return cv


ICON_FACES = {
    # Features placed by hand: at icon sizes every pixel of an eye matters.
    32: dict(scale=0.56, eyes=[(12, 13, 2, 4), (18, 13, 2, 4)], nose=(16.0, 19.0, 1.8, 1.4),
             mouth=[(12, 22), (13, 23), (14, 24), (15, 24), (16, 24), (17, 24), (18, 23), (19, 22)],
             cheeks=[(9, 21, 2), (21, 21, 2)]),
    16: dict(scale=0.29, eyes=[(6, 7, 1, 2), (9, 7, 1, 2)], nose=None,
             mouth=[(6, 11), (7, 12), (8, 12), (9, 11)], cheeks=[(4, 10, 1), (11, 10, 1)]),
}


def icon_image(size):
    """Pimbo's head filling an icon of the given size."""
    cv = Canvas(size, size)
    f = ICON_FACES[size]
    s = f["scale"]
    hd = Head(size / 2.0, size / 2.0 + 3.0 * s, 0, 0, 0, scale=s)
    draw_head(cv, hd, dict(features=False, simple_hair=True))
    for x, y, w, h in f["eyes"]:
        for j in range(h):
            for i in range(w):
                cv.put(x + i, y + j, OL)
        cv.put(x, y, WHITE)
    if f["nose"]:
        nose = cv.shape(ellipse(*f["nose"]))
        draw_part(cv, nose, SKIN, SKIN_SH, k=1, diagonal=False)
    for x, y in f["mouth"]:
        cv.put(x, y, OL)
    for x, y, w in f["cheeks"]:
        for i in range(w):
            cv.put(x + i, y, PINK)
    fig = cv.opaque()
    cv.paint(fig.dilated(False) - fig, OL)
    return cv


def ico_bytes(images, palette, cursor_hotspot=None):
    """An .ico (or, with a hot spot, a .cur) from indexed images; pixels of
    index 0 are transparent."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for cv in images:
        bpp = 1 if len(palette) == 2 else 4
        xor = dib_bits(cv, bpp)
        mask = Canvas(cv.w, cv.h)
        mask.px = [bytearray(1 if v == 0 else 0 for v in row) for row in cv.px]
        andb = dib_bits(mask, 1)
        pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
        info = struct.pack("<IiiHHIIiiII", 40, cv.w, cv.h * 2, 1, bpp, 0, len(xor) + len(andb), 0, 0, 0, 0)
        blob = info + pal + xor + andb
        if cursor_hotspot:
            f1, f2 = cursor_hotspot
            ncol = 2
        else:
            f1, f2 = 1, bpp
            ncol = 16 if bpp == 4 else 2
        entries.append(struct.pack("<BBBBHHII", cv.w % 256, cv.h % 256, ncol % 256, 0, f1, f2, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    head = struct.pack("<HHH", 0, 2 if cursor_hotspot else 1, len(images))
    return head + b"".join(entries) + b"".join(blobs)


CURSOR_HOTSPOT = (16, 16)


def target_cursor():
    """A crosshair; in the cursor's own colours 1 is black and 2 white."""
    cx, cy = CURSOR_HOTSPOT
    black = Mask(32, 32)
    for d in list(range(-13, -3)) + list(range(4, 14)):
        black.set(cx + d, cy)
        black.set(cx, cy + d)
    black.set(cx, cy)
    ring = raster(32, 32, lambda x, y: 7.5 <= math.hypot(x - cx - 0.5, y - cy - 0.5) < 8.5, (0, 0, 32, 32))
    black = black | ring
    white = black.dilated(False) - black
    cv = Canvas(32, 32)
    cv.paint(white, 2)
    cv.paint(black, 1)
    return cv


def cursor_bytes(cv):
    # black: AND 0, XOR 0; white: AND 0, XOR 1; elsewhere AND 1 (see-through)
    img = Canvas(32, 32)
    img.px = [bytearray(1 if v == 2 else 0 for v in row) for row in cv.px]
    xor = dib_bits(img, 1)
    mask = Canvas(32, 32)
    mask.px = [bytearray(1 if v == 0 else 0 for v in row) for row in cv.px]
    andb = dib_bits(mask, 1)
    pal = struct.pack("<BBBBBBBB", 0, 0, 0, 0, 255, 255, 255, 0)
    info = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 1, 0, len(xor) + len(andb), 0, 0, 0, 0)
    blob = info + pal + xor + andb
    entry = struct.pack("<BBBBHHII", 32, 32, 2, 0, CURSOR_HOTSPOT[0], CURSOR_HOTSPOT[1], len(blob), 6 + 16)
    return struct.pack("<HHH", 0, 2, 1) + entry + blob


# The string table --------------------------------------------------------------

TITLES = ["Fizzy Pimbo's Parade", "Fizzy Pimbo Screen Saver", "Fizzy Pimbo Toon File Editor"]

# Pimbo's sayings, string ids 4 onwards.  A carriage return breaks the line in
# the bubble where the words alone would break it badly.
STATEMENTS = [
    "A smile weighs nothing, so carry as many as you like.",
    "Puddles are just the sky\rpractising to be a mirror.",
    "I tried to count my freckles. I lost count at lunch.",
    "Always say good morning to the toaster. It gets lonely.",
    "Walking is easy. Just put one shoe after the other.",
    "My hair is curly because it keeps changing its mind.",
    "Never argue with a pigeon about bread.",
    "Lost your way? Ask a snail.\rIt is never in a hurry.",
    "Naps are tiny holidays you can take lying down.",
    "Odd socks are just socks\rwith a sense of adventure.",
    "Every cloud is a sheep that learned to float.",
    "I once met a worm who was an excellent listener.",
    "Be kind to your shadow. It follows you everywhere.",
    "A good hat is a roof you can take for a walk.",
    "Cheese is milk that went on an adventure.",
    "Whistle while you wait.\rThe waiting goes quicker.",
    "The moon is just the sun on the night shift.",
    "Tidy rooms are nice.\rMessy rooms have more surprises.",
    "I practise my waving every morning. Hello, mirror!",
    "Bubbles prove that air likes to dress up.",
    "Never race a tortoise on a Tuesday.",
    "Fizzy drinks tickle because\rthey are happy to see you.",
    "My left shoe and my right shoe never agree.",
    "Elbows are the knees of the arms. Think about it.",
    "To catch a rainbow, stand very still and squint.",
    "Today I feel brave enough to try a new jam.",
    "Sandwiches cut into triangles taste more important.",
    "I asked the wind where it was going.\rIt did not say.",
    "Kindness is like glitter. It gets on everybody.",
    "I am not lost. I am exploring on purpose.",
    "Hiccups are just your tummy trying to talk.",
    "Dance as if the floor were slightly bouncy.",
    "Pancakes are flat because they are very relaxed.",
    "I counted the stars once. There were lots.",
    "Snowmen are very cool people.",
    "My favourite number is purple.",
    "Left, right,\rleft, right.\rWalking is a very slow dance.",
    "Never open an umbrella indoors.\rThe ceiling gets jealous.",
    "Laughing is the only exercise I never skip.",
    "The fridge light is always on when I check.",
    "A yawn is a sneeze that got sleepy.",
    "I like Mondays. They make Tuesdays look great.",
    "Be the first to say hello. Hellos are free.",
    "My pockets are full of tiny plans.",
    "A teapot is a kettle that went to a posh school.",
    "Spaghetti is just noodles being dramatic.",
    "You can't trip over a step you are dancing on.",
    "Worms have no feet, and they never complain.",
    "Mittens are gloves that like to hold hands.",
    "Clouds drift slowly so that you look up.",
    "Ice cream tastes better when you walk with it.",
    "Half a cookie shared\rmakes two happy halves.",
    "I keep a spare smile in my left pocket.",
    "Jellyfish have no brains\rand they are doing just fine.",
    "Stripes go sideways. Spots go everywhere.",
    "Hop on one foot for a minute.\rIt changes your whole day.",
    "Rubber ducks are wonderful listeners.",
    "A door is a wall that learned to open up.",
    "I always wave at trains.\rSometimes they wave back.",
    "A compliment is a present you can give twice.",
    "My bicycle has two wheels and no opinions.",
    "Clocks go round and round and never get dizzy.",
    "Soup is a salad that likes hot baths.",
    "Buttons stop your shirt from wandering off.",
    "You can never have too many paper boats.",
    "Pillows are clouds that decided to stay indoors.",
    "A friend is someone who likes your silly walk.",
    "Feeling small? Stand next to a mushroom.",
    "Eat your peas one at a time.\rEach one feels special.",
    "Today I am as curious as a kitten with string.",
    "The garden grows faster when you tell it jokes.",
    "Bees hum because they forgot the words.",
    "A kite is a bird that holds your hand.",
    "Slippers are shoes that have retired.",
    "Thunder is the sky\rclearing its throat before rain.",
    "Juggling is easy. Catching is the tricky part.",
    "Owls stay up late, so you don't have to.",
    "Rain boots turn every puddle into an invitation.",
    "Never ask a cat for directions. It just sits.",
    "Toast is bread back from a holiday in the sun.",
    "A hug is a handshake with your whole self.",
    "Snails carry their house. That is very organised.",
    "I planted a smile. Now it grows on my face.",
    "When in doubt, do a tiny dance.",
    "A noodle is a straight line that got wobbly.",
    "Gloves are socks for hands, only fancier.",
    "Nobody can hurry a sunrise.\rIt knows what it is doing.",
    "Puddles everywhere? Wear bigger boots.",
    "Honey is the sweetest homework a bee ever did.",
    "My laces tie themselves in knots when I'm not looking.",
    "Giraffes see tomorrow first.",
    "A good laugh is louder than a bad day.",
    "Cupcakes are cakes that chose to be small and brave.",
    "Look both ways, then look up.\rThe sky is nice today.",
    "I put on my thinking hat.\rIt is invisible but comfy.",
    "Some ideas grow best in the bath.",
    "Acorns are trees waiting patiently in their coats.",
    "A penguin wears a suit but never goes to work.",
    "Keep your chin up, but mind the lamp posts.",
    "Every puddle has a sky at the bottom.",
    "Bananas come in their own lunch box.",
    "The bath is an ocean that fits in my house.",
    "Drums are loud because they are very excited.",
    "Lemons are sour, but they smell like sunshine.",
    "A ladder is a staircase standing up straight.",
    "I tried to be serious once.\rMy hair would not allow it.",
    "Hats off to anyone who tries something new today.",
    "I whistle in the rain\rso the clouds feel appreciated.",
    "Frogs know the best songs.\rThey sing them at night.",
    "When your feet are tired,\rlet your smile do the walking.",
    "Watching the fish tank counts as television.",
    "A paper plane needs a good throw and a good wish.",
    "Sneezes are surprise parties for your nose.",
    "Counting sheep works better if they are fluffy.",
    "The sea waves at everyone. Wave back!",
    "My shadow is short at lunchtime.\rIt is always hungry.",
    "Marbles roll because they are round and hopeful.",
    "I named my goldfish Bubbles. He agrees.",
    "Stand tall. Even daisies manage it.",
    "Thank the bus driver.\rThe bus goes smoother.",
    "A library is a house full of doors to elsewhere.",
    "Flowers are the ground saying hello.",
    "Be patient. Even jelly takes a while to set.",
    "Spiders are knitting very small blankets.",
    "I like my tea like my jokes: warm and a bit silly.",
    "My favourite shape is a wobbly circle.",
    "Every sock drawer has a secret.",
    "The best seat on the bus is next to a friend.",
    "Rainy days are for puzzles and warm socks.",
    "When the biscuit tin is empty,\rfill it with hope.",
    "A cow says moo because it has nothing to add.",
    "Balloons rise because they are full of good news.",
    "Hedgehogs are prickly outside\rand cuddly inside.",
    "My list of things to do starts with: smile.",
    "A hammock is a bed that likes to swing.",
    "The letter Q is lonely without a U.",
    "Bicycles have bells so they can sing as they go.",
    "Dogs wag their tails. I wag my whole self.",
    "Can't find your glasses?\rTry the top of your head.",
    "Teacups are tiny swimming pools for biscuits.",
    "Trains say choo-choo to keep themselves company.",
    "Pebbles are mountains that went to the beach.",
    "Nobody is too old for a puddle jump.",
    "Rhubarb is a vegetable that thinks it is pudding.",
    "I hold the door for everybody, even the wind.",
    "Crayons are rainbows that come in a box.",
    "The radio plays my song whenever I am happy.",
    "A kite flies high only\rif you let out the string.",
    "Cats sit in boxes to think about life.",
    "Fish never need umbrellas. Think about that.",
    "Hooray for Thursdays!\rNobody ever cheers for them.",
    "My favourite weather is whatever is outside.",
    "Sunflowers follow the sun around like fans.",
    "Carry a spare pencil.\rIdeas arrive without warning.",
    "A wobbly table is just dancing very slowly.",
    "Giggles are catching. Spread them around.",
    "I tried to fold a fitted sheet. The sheet won.",
    "Tomorrow is a brand new page. Bring crayons.",
    "Mud pies are lovely to look at, not to eat.",
    "Be as bright as a yellow raincoat on a grey day.",
    "A high five is a tiny parade for your hand.",
    "Geese fly in a V. It stands for very organised.",
    "The slowest snail still reaches the lettuce.",
    "Robots need hugs too.\rThey are just too shy to ask.",
    "Toes are the little helpers of the feet.",
    "Every hat looks better with a feather in it.",
    "Stubbed your toe? Say ouch, but politely.",
    "Good manners and clean socks\ropen every door.",
    "Bubbles pop so new bubbles get a turn.",
    "My head is full, so I keep\rspare thoughts in my hair.",
    "A blanket fort is the finest castle of all.",
    "Sprinkles turn anything into a party.",
    "Twirl once a day,\rjust to check you still can.",
    "Starfish are never lost.\rThey know where the sky is.",
    "Polka dots are spots that went to dance class.",
    "The sky is big enough for every kite.",
    "I tried to jump over my shadow.\rIt jumped too.",
    "A broom is a brush that grew up tall.",
    "Yawning is how your face does its stretches.",
    "I never borrow trouble. I borrow library books.",
    "The kettle sings when tea is near.",
    "A squeaky shoe is only saying hello.",
    "Raisins are grapes that\rsat in the sun too long.",
    "Hiccup, hiccup.\rSorry, that was my lunch waving.",
    "Paint your fence with polka dots.\rThe birds will love it.",
    "The second pancake\ris always the best one.",
    "If you lose a button,\rmake it a sailing boat.",
    "A round of applause\rfor everyone who made the tea!",
    "Parade, parade!\rEvery walk is a little parade.",
    "Step, step, wiggle.\rThat is how\rthe parade goes.",
    "Curly hair,\rhappy heart,\rshiny shoes. Ready!",
    "Fizz, pop, hooray!\rThat is my\rfavourite song.",
    "Lunch is late. Good.\rMore time to be hungry.",
    "My shoes are red so that\rmy feet feel fancy.",
]


def rc_string(s):
    """A windres string literal: quotes doubled, backslashes and carriage
    returns escaped; the file itself stays plain ASCII."""
    assert all(32 <= ord(c) < 127 or c == "\r" for c in s), s
    return '"' + s.replace("\\", "\\\\").replace('"', '""').replace("\r", "\\r") + '"'


def art_rc(bitmap_names):
    lines = ["/* Pimbo's pictures and sayings, written by tools/make_art.py: edit that, not this. */", ""]
    for name in bitmap_names:
        lines.append("%-9s BITMAP \"%s.bmp\"" % (name.upper(), name))
    lines += ["", "100 ICON \"pimbo.ico\"", "TARGET CURSOR \"target.cur\"", "", "STRINGTABLE", "BEGIN"]
    for i, s in enumerate(TITLES + STATEMENTS):
        lines.append("    %d, %s" % (i + 1, rc_string(s)))
    lines += ["END", ""]
    return "\n".join(lines).encode("ascii")


# Contact sheet -------------------------------------------------------------------

FONT5X7 = {
    "A": "0E11111F111111", "B": "1E11111E11111E", "C": "0E11101010110E", "D": "1E11111111111E",
    "E": "1F10101E10101F", "F": "1F10101E101010", "G": "0E11101711110F", "H": "1111111F111111",
    "I": "0E04040404040E", "J": "0702020202120C", "K": "11121418141211", "L": "1010101010101F",
    "M": "111B1515111111", "N": "11111915131111", "O": "0E11111111110E", "P": "1E11111E101010",
    "Q": "0E11111115120D", "R": "1E11111E141211", "S": "0F10100E01011E", "T": "1F040404040404",
    "U": "1111111111110E", "V": "11111111110A04", "W": "1111111515150A",
    "X": "11110A040A1111", "Y": "1111110A040404", "Z": "1F01020408101F",
    "0": "0E11131519110E", "1": "040C040404040E", "2": "0E11010204081F",
    "3": "1F02040201110E", "4": "02060A121F0202", "5": "1F101E0101110E",
    "6": "0608101E11110E", "7": "1F010204080808", "8": "0E11110E11110E",
    "9": "0E11110F01020C", "-": "0000001F000000", " ": "00000000000000", ".": "00000000000C0C",
    "(": "02040808080402", ")": "08040202020408", "/": "01010204081010",
}


def text_rgb(rows, x, y, text, colour, scale=2):
    for ch in text.upper():
        g = FONT5X7.get(ch, FONT5X7[" "])
        for r in range(7):
            bits = int(g[r * 2:r * 2 + 2], 16)
            for c in range(5):
                if bits & (0x10 >> c):
                    for dy in range(scale):
                        for dx in range(scale):
                            yy, xx = y + r * scale + dy, x + c * scale + dx
                            if 0 <= yy < len(rows) and 0 <= xx < len(rows[0]):
                                rows[yy][xx] = colour
        x += 6 * scale


def put_rgb(rows, cv, palette, x, y, scale, backdrop=None):
    """Draws an indexed canvas; index 0 shows the backdrop when one is given."""
    for j in range(cv.h):
        for i in range(cv.w):
            v = cv.px[j][i]
            if v == 0 and backdrop is not None:
                c = backdrop
            else:
                c = palette[v]
            for dy in range(scale):
                row = rows[y + j * scale + dy]
                for dx in range(scale):
                    row[x + i * scale + dx] = c


def contact_sheet(items, width=2212):
    """items: (label, canvas, palette, scale, backdrop or None); laid out in
    rows left to right with a label under each picture."""
    pad, label_h = 14, 22
    placed, x, y, row_h = [], pad, pad + 30, 0
    for it in items:
        if it is None:                 # forced line break
            x, y, row_h = pad, y + row_h + label_h + pad, 0
            continue
        label, cv, pal, scale, backdrop = it
        w, h = cv.w * scale, cv.h * scale
        if x + w > width - pad:
            x, y, row_h = pad, y + row_h + label_h + pad, 0
        placed.append((x, y, it))
        x += max(w, len(label) * 12) + pad
        row_h = max(row_h, h)
    height = y + row_h + label_h + pad
    paper = (244, 242, 236)
    rows = [[paper] * width for _ in range(height)]
    text_rgb(rows, pad, pad, "PIMBO - ALL ARTWORK (2X)", (46, 26, 54), 3)
    for x, y, (label, cv, pal, scale, backdrop) in placed:
        put_rgb(rows, cv, pal, x, y, scale, backdrop)
        text_rgb(rows, x, y + cv.h * scale + 5, label, (70, 60, 90), 2)
    return png_bytes(width, height, [b"".join(bytes(p) for p in r) for r in rows])


# Putting it together -------------------------------------------------------------

WALK_RIGHT = ["pbl2r%d" % i for i in range(1, 9)]
WALK_LEFT = ["pbr2l%d" % i for i in range(1, 9)]
TURNS = ["pbltn1", "pbltn2", "pbrtn1", "pbrtn2"]
POSES = ["pose%02d" % i for i in range(1, 17)]
SPRITE_NAMES = WALK_RIGHT + WALK_LEFT + TURNS + POSES
MAX_HOLE_FILL = 12      # pixels of enclosed gap a picture may have had closed


def character_images():
    """All 36 pictures by name, the poses' descriptions, and how many enclosed
    pixels each picture had filled."""
    pics, filled = {}, {}

    def keep(name, P):
        cv = draw_pimbo(P)
        pics[name] = cv
        filled[name] = cv.filled_holes

    keep("pbl2r1", walk_frame(0.0, start=True))
    for k in range(7):                       # frames 2..8 loop
        keep("pbl2r%d" % (k + 2), walk_frame(k / 7.0))
    keep("pbltn1", turn_frame(1))
    keep("pbltn2", turn_frame(2))
    # walking left is walking right in a mirror
    for i in range(1, 9):
        pics["pbr2l%d" % i] = pics["pbl2r%d" % i].mirrored()
        filled["pbr2l%d" % i] = filled["pbl2r%d" % i]
    for i in (1, 2):
        pics["pbrtn%d" % i] = pics["pbltn%d" % i].mirrored()
        filled["pbrtn%d" % i] = filled["pbltn%d" % i]
    poses = build_poses()
    for P in poses:
        keep(POSES[P["pose"]], P)
    return pics, poses, filled


def check_character(name, cv):
    opaque = cv.opaque()
    outside = flood(~opaque, border_seeds(cv.w, cv.h))
    if not (~opaque - outside).empty():
        raise AssertionError("%s: transparent pixels inside the figure" % name)
    bb = opaque.bbox()
    if bb[0] < 1 or bb[1] < 1 or bb[2] > cv.w - 2 or bb[3] > cv.h - 2:
        raise AssertionError("%s: figure touches the edge %r" % (name, bb))


def build_all():
    """Every output file, by path relative to the repository, as bytes."""
    out = {}
    pics, poses, filled = character_images()
    for name in SPRITE_NAMES:
        check_character(name, pics[name])
        if filled[name] > MAX_HOLE_FILL:
            raise AssertionError("%s: %d enclosed pixels had to be filled" % (name, filled[name]))
    strip = expressions_strip(poses, [pics[n] for n in POSES])
    bl = bubble_left()
    br = bl.mirrored()
    for cv, (x0, y0, x1, y1) in ((bl, TEXT_RECT_LEFT), (br, TEXT_RECT_RIGHT)):
        assert all(cv.px[y][x] == B_WHITE for y in range(y0, y1) for x in range(x0, x1))
    tiles = [(name, render_tile(maker, size, bpp), bpp) for name, maker, size, bpp in TILES]
    glyphs = sysbuts()
    icons = [icon_image(32), icon_image(16)]
    cursor = target_cursor()

    assert len(STATEMENTS) == 194
    assert sum(1 for s in STATEMENTS if "\r" in s) == 48
    assert all(22 <= len(s) <= 67 and s.count("\r") <= 2 for s in STATEMENTS)
    assert len(set(STATEMENTS)) == len(STATEMENTS)

    res = "resources/"
    for name in SPRITE_NAMES:
        out[res + name + ".bmp"] = bmp_bytes(pics[name], PIMBO_PALETTE, 4)
    out[res + "expresns.bmp"] = bmp_bytes(strip, PIMBO_PALETTE, 4)
    out[res + "bubleft.bmp"] = bmp_bytes(bl, BUBBLE_PALETTE, 4)
    out[res + "bubright.bmp"] = bmp_bytes(br, BUBBLE_PALETTE, 4)
    for name, (cv, pal), bpp in tiles:
        out[res + name + ".bmp"] = bmp_bytes(cv, pal, bpp)
    out[res + "sysbuts.bmp"] = bmp_bytes(glyphs, GLYPH_PALETTE, 4)
    out[res + "pimbo.ico"] = ico_bytes(icons, PIMBO_PALETTE)
    out[res + "target.cur"] = cursor_bytes(cursor)
    bitmaps = SPRITE_NAMES + [t[0] for t in TILES] + ["bubleft", "bubright", "expresns", "sysbuts"]
    out[res + "art.rc"] = art_rc(bitmaps)

    back = (214, 228, 236)
    items = []
    for group in (WALK_RIGHT, WALK_LEFT, TURNS, POSES[:8], POSES[8:]):
        for n in group:
            items.append((n, pics[n], PIMBO_PALETTE, 2, back))
        items.append(None)
    items.append(("expresns", strip, PIMBO_PALETTE, 3, None))
    items.append(("bubleft", bl, BUBBLE_PALETTE, 2, back))
    items.append(("bubright", br, BUBBLE_PALETTE, 2, back))
    items.append(("sysbuts", glyphs, GLYPH_PALETTE, 4, None))
    items.append(("icon 32", icons[0], PIMBO_PALETTE, 4, back))
    items.append(("icon 16", icons[1], PIMBO_PALETTE, 4, back))
    items.append(("target", cursor, [(0, 0, 0), (0, 0, 0), (255, 255, 255)], 4, (120, 160, 140)))
    items.append(None)
    for name, (cv, pal), bpp in tiles:
        items.append(("%s %dx%d %d-bit" % (name, cv.w, cv.h, bpp), cv, pal, 2, None))
    out["docs/contact-sheet.png"] = contact_sheet(items)
    closed = {n: c for n, c in filled.items() if c}
    return out, closed


def main(argv):
    """Writes the files; with --check, only compares them with what is on
    disk and fails when anything differs or is missing."""
    check = "--check" in argv[1:]
    out, closed = build_all()
    stale = []
    for rel, data in sorted(out.items()):
        path = os.path.join(ROOT, rel)
        if check:
            try:
                with open(path, "rb") as f:
                    same = f.read() == data
            except OSError:
                same = False
            if not same:
                stale.append(rel)
        else:
            write(path, data)
    if check:
        for rel in stale:
            print("differs from what tools/make_art.py makes:", rel)
        print("%d files checked, %d differ" % (len(out), len(stale)))
        return 1 if stale else 0
    print("wrote %d files" % len(out))
    print("enclosed gaps closed:", closed if closed else "none")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
