#!/usr/bin/env python3
"""Draws the Nuvex Kelvaro application icon and writes icons/kelvaro.ico.

The icon is a white power symbol whose ring ends in a clockwise arrowhead
(restart) on a rounded square shaded from deep blue to teal, with a small
amber clock badge at the lower right (timed power-off).

Run from the repository root:   python3 icons/draw_icon.py
Options:  --preview DIR   also write every size as DIR/kelvaro-<size>.png

Standard library only.  The 16 and 32 px images use thicker strokes, fewer
details and pixel-aligned bars; 48 px and up are drawn with 4x4
supersampling.  The 256 px image is stored as PNG inside the ICO, the
smaller ones as classic 32-bit BMPs (colour + AND mask).  The output is
byte-for-byte the same on every run.
"""
import math
import os
import struct
import sys
import zlib

SIZES = (16, 32, 48, 64, 128, 256)
WHITE = (255, 255, 255)
BLUE, TEAL = (22, 58, 140), (12, 150, 156)   # background gradient ends
AMBER, INK = (255, 178, 36), (20, 42, 84)    # clock badge and its hands


# ---- geometry: every shape is a test "is unit point (x, y) inside?" --------

def capsule(ax, ay, bx, by, r):
    """Thick line segment with round ends."""
    dx, dy = bx - ax, by - ay
    ll = dx * dx + dy * dy or 1e-12

    def inside(x, y):
        t = min(1.0, max(0.0, ((x - ax) * dx + (y - ay) * dy) / ll))
        ex, ey = x - ax - t * dx, y - ay - t * dy
        return ex * ex + ey * ey <= r * r
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def rounded_square(m, r):
    lo, hi = m + r, 1 - m - r

    def inside(x, y):
        qx, qy = min(max(x, lo), hi), min(max(y, lo), hi)
        return (x - qx) ** 2 + (y - qy) ** 2 <= r * r
    return inside


def triangle(p0, p1, p2):
    def side(a, b, x, y):
        return (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0])

    def inside(x, y):
        s = (side(p0, p1, x, y), side(p1, p2, x, y), side(p2, p0, x, y))
        return min(s) >= 0 or max(s) <= 0
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def arc(cx, cy, r, w, gap):
    """Ring band of width w, open by +-gap radians around 12 o'clock."""
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        ang = math.atan2(x - cx, cy - y)        # 0 = up, clockwise positive
        return abs(d - r) <= w / 2 and abs(ang) >= gap
    return inside


# ---- the design, with per-size simplification -------------------------------

# The 16 px image is drawn by hand, pixel by pixel: '#' white glyph,
# 'o' amber badge, 'k' clock hands, '.' background.
PIXELS_16 = """
................
.......##.......
.......##.......
.......##.......
....#..##..#....
...##..##..##...
...##..##..##...
..##...##...##..
..##...##...##..
..##........##..
..##.......ooo..
...##.....ookoo.
...###....ookko.
....#####.ooooo.
......###..ooo..
................""".split()


def pixel_art(rows, colours):
    """Shape/colour layers that paint each character of rows as one pixel."""
    n = len(rows)
    return [((lambda x, y, ch=ch: rows[min(int(y * n), n - 1)][min(int(x * n), n - 1)] == ch),
             colour, 1.0) for ch, colour in colours.items()]


def design(px):
    """Return the list of (shape, colour, alpha) layers for a px-sized icon."""
    if px == 16:
        return ([(rounded_square(0, 0.2), "bg", 1.0)] +
                pixel_art(PIXELS_16, {"#": WHITE, "o": AMBER, "k": INK}))
    small = px <= 32
    u = 1.0 / px                                  # one pixel in unit coords
    m = 0.0 if small else 0.03                    # margin around the square
    w = 4 * u if small else 0.095                 # stroke width
    cx, cy, R = 0.5, 0.52, 0.26
    gap = math.radians(42 if small else 40)
    if small:                                     # 32 px: on the pixel grid
        cy, R = 17 * u, 8 * u

    layers = [(rounded_square(m, 0.2 if small else 0.19), "bg", 1.0)]

    # Power symbol: open ring + vertical bar, round caps.
    bar = capsule(cx, cy - R - 0.035, cx, cy - 0.03, w / 2)
    if small:   # square ends, exactly on pixel columns
        bar = rect(cx - w / 2, 6 * u, cx + w / 2, cy)
    ring = arc(cx, cy, R, w, gap)
    ex, ey = cx + R * math.sin(gap), cy - R * math.cos(gap)
    glyph = [ring, bar, disc(ex, ey, w / 2)]
    # Left end of the ring: clockwise arrowhead (restart), or a cap at 32 px.
    ax, ay = cx - R * math.sin(gap), ey
    if small:
        glyph.append(disc(ax, ay, w / 2))
    else:
        tx, ty = math.cos(gap), -math.sin(gap)          # clockwise tangent
        nx, ny = -ty, tx                                 # radial direction
        hw, hl = w * 1.15, w * 1.35
        glyph.append(triangle((ax + nx * hw, ay + ny * hw),
                              (ax - nx * hw, ay - ny * hw),
                              (ax + tx * hl, ay + ty * hl)))
    glyph = union(*glyph)
    if px >= 64:   # soft drop shadow beneath the glyph
        layers.append((lambda x, y: glyph(x - 0.012, y - 0.018), (0, 20, 50), 0.3))
    layers.append((glyph, WHITE, 1.0))

    # Clock badge at the lower right, cut out of the glyph by a background rim.
    bx = by = 0.73
    br, rim = 0.155, 0.035
    hand = max(0.14 * br, 0.75 * u)
    hands = union(capsule(bx, by, bx, by - 0.62 * br, hand),
                  capsule(bx, by, bx + 0.48 * br, by + 0.1 * br, hand))
    if small:   # 2 px hands on whole pixels
        bx = by = 24 * u
        br, rim = 5.5 * u, 1.5 * u
        hands = union(rect(23 * u, 20 * u, 25 * u, 25 * u),
                      rect(23 * u, 23 * u, 28 * u, 25 * u))
    layers += [(disc(bx, by, br + rim), "bg", 1.0),
               (disc(bx, by, br), AMBER, 1.0),
               (hands, INK, 1.0)]
    return layers


def background(x, y):
    t = min(1.0, max(0.0, (x * 0.45 + y * 0.55)))
    return tuple(a + (b - a) * t for a, b in zip(BLUE, TEAL))


# ---- rasteriser ---------------------------------------------------------------

def render(px, ss=4):
    """RGBA rows (top first) of the icon at px x px, ss x ss samples a pixel."""
    offs = [(i + 0.5) / ss for i in range(ss)]
    layers = design(px)
    rows = []
    for j in range(px):
        row = bytearray()
        for i in range(px):
            r = g = b = a = 0.0                       # premultiplied
            for shape, colour, alpha in layers:
                hits = sum(shape((i + ox) / px, (j + oy) / px)
                           for ox in offs for oy in offs)
                k = alpha * hits / (ss * ss)
                if k:
                    c = background((i + .5) / px, (j + .5) / px) if colour == "bg" else colour
                    r, g, b = (c[0] * k + r * (1 - k), c[1] * k + g * (1 - k),
                               c[2] * k + b * (1 - k))
                    a = k + a * (1 - k)
            if a:
                r, g, b = r / a, g / a, b / a
            row += bytes(round(v) for v in (r, g, b, a * 255))
        rows.append(bytes(row))
    return rows


# ---- file formats --------------------------------------------------------------

def png(px, rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data)))
    raw = b"".join(b"\0" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", px, px, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def dib(px, rows):
    """32-bit BITMAPINFOHEADER image as stored in an ICO: BGRA bottom-up + AND mask."""
    xor = b"".join(bytes(r[i + k] for i in range(0, len(r), 4) for k in (2, 1, 0, 3))
                   for r in reversed(rows))
    stride = (px + 31) // 32 * 4
    mask = bytearray()
    for r in reversed(rows):
        line = bytearray(stride)
        for i in range(px):
            if r[4 * i + 3] == 0:
                line[i // 8] |= 0x80 >> (i % 8)
        mask += line
    head = struct.pack("<IiiHHIIiiII", 40, px, 2 * px, 1, 32, 0,
                       len(xor) + len(mask), 0, 0, 0, 0)
    return head + xor + bytes(mask)


def ico(images):
    """images: list of (px, encoded bytes)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for px, data in images:
        out += struct.pack("<BBBBHHII", px % 256, px % 256, 0, 0, 1, 32,
                           len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    preview = sys.argv[sys.argv.index("--preview") + 1] if "--preview" in sys.argv else None
    images = []
    for px in SIZES:
        rows = render(px)
        images.append((px, png(px, rows) if px >= 256 else dib(px, rows)))
        if preview:
            with open(os.path.join(preview, "kelvaro-%d.png" % px), "wb") as f:
                f.write(png(px, rows))
    with open(os.path.join(here, "kelvaro.ico"), "wb") as f:
        f.write(ico(images))


if __name__ == "__main__":
    main()
