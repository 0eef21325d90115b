#!/usr/bin/env python3
"""Draws the application's bundled images into app/resources.

Each image is described in points by signed-distance shapes and rendered at
scale 1 and 2 ("name.png" and "name@2x.png") with 4x4 supersampling, so the
edges are smooth at both sizes. Standard library only; run it again after
changing a drawing and commit the PNGs:

    python3 tools/images/make_images.py [output-folder]
"""
import math
import os
import struct
import sys
import zlib

SUPERSAMPLE = 4


def write_png(path, width, height, rows):
    """rows: list of bytearrays of RGBA pixels (straight alpha)."""
    raw = b"".join(b"\x00" + bytes(row) for row in rows)

    def chunk(kind, payload):
        body = kind + payload
        return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", header))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


# ---- signed distances (negative inside), in points


def rounded_rect(x, y, left, top, right, bottom, radius):
    cx, cy = (left + right) / 2, (top + bottom) / 2
    hx, hy = (right - left) / 2 - radius, (bottom - top) / 2 - radius
    qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
    outside = math.hypot(max(qx, 0), max(qy, 0))
    return outside + min(max(qx, qy), 0) - radius


def circle(x, y, cx, cy, r):
    return math.hypot(x - cx, y - cy) - r


def segment(x, y, ax, ay, bx, by, half_width):
    px, py, dx, dy = x - ax, y - ay, bx - ax, by - ay
    t = max(0.0, min(1.0, (px * dx + py * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - dx * t, py - dy * t) - half_width


def triangle(x, y, a, b, c):
    # Distance sign only matters here; inside when on the same side of all edges.
    def side(p, q):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])

    s1, s2, s3 = side(a, b), side(b, c), side(c, a)
    inside = (s1 >= 0 and s2 >= 0 and s3 >= 0) or (s1 <= 0 and s2 <= 0 and s3 <= 0)
    edge = min(segment(x, y, *a, *b, 0), segment(x, y, *b, *c, 0), segment(x, y, *c, *a, 0))
    return -edge if inside else edge


def union(*ds):
    return min(ds)


def subtract(d, *holes):
    return max([d] + [-h for h in holes])


def ring(d, half_width):
    return abs(d) - half_width


# ---- rendering


def render(size, scale, paint):
    """paint(x, y) -> (r, g, b, a) floats 0..1 at a point; averaged per pixel."""
    width, height = round(size[0] * scale), round(size[1] * scale)
    rows = []
    step = 1.0 / SUPERSAMPLE
    for py in range(height):
        row = bytearray()
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = (px + (sx + 0.5) * step) / scale
                    y = (py + (sy + 0.5) * step) / scale
                    r, g, b, a = paint(x, y)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = SUPERSAMPLE * SUPERSAMPLE
            alpha = acc[3] / n
            if alpha > 0:
                rgb = [acc[i] / acc[3] for i in range(3)]
            else:
                rgb = [0.0, 0.0, 0.0]
            row += bytes(max(0, min(255, round(v * 255))) for v in rgb + [alpha])
        rows.append(row)
    return width, height, rows


def over(top, bottom):
    ta, ba = top[3], bottom[3]
    a = ta + ba * (1 - ta)
    if a == 0:
        return (0.0, 0.0, 0.0, 0.0)
    return tuple((top[i] * ta + bottom[i] * ba * (1 - ta)) / a for i in range(3)) + (a,)


def hexcolor(text, alpha=1.0):
    return tuple(int(text[i:i + 2], 16) / 255 for i in (1, 3, 5)) + (alpha,)


CLEAR = (0.0, 0.0, 0.0, 0.0)


def fill(d, color):
    return color if d <= 0 else CLEAR


# ---- the drawings

BG_TILE = (48, 48)


def secret_bg(x, y):
    # Night blue with a faint diagonal weave and two soft specks per tile:
    # quiet enough to sit behind text, seamless when repeated.
    base = hexcolor("#1c2233")
    weave = (x + y) % 12
    color = base
    if weave < 1.0:
        color = over(hexcolor("#2a3247", 0.55), color)
    for cx, cy, r in ((12, 14, 1.6), (36, 34, 1.1)):
        if circle(x, y, cx, cy, r) <= 0:
            color = over(hexcolor("#8a96b8", 0.35), color)
    return color


def close(x, y):
    # A thin ring with a cross, white for the black toolbar.
    d = union(ring(circle(x, y, 10, 10, 8.2), 0.8),
              segment(x, y, 6.6, 6.6, 13.4, 13.4, 1.0),
              segment(x, y, 13.4, 6.6, 6.6, 13.4, 1.0))
    return fill(d, hexcolor("#ffffff"))


def bubble(x, y):
    # A speech bubble filling most of a 30-point tab icon, tail at the lower left.
    body = rounded_rect(x, y, 2.5, 4, 27.5, 21.5, 6)
    tail = triangle(x, y, (7, 19), (13, 20), (5.5, 27))
    return union(body, tail)


def feedback(x, y):
    # The secret pool: a bubble with three dots (someone is whispering).
    dots = union(circle(x, y, 9, 12.75, 1.9), circle(x, y, 15, 12.75, 1.9), circle(x, y, 21, 12.75, 1.9))
    return fill(subtract(bubble(x, y), dots), hexcolor("#f2f2f2"))


def addjoke(x, y):
    # Post your secret: the bubble drawn open, with a plus inside.
    outline = ring(bubble(x, y), 1.1)
    plus = union(segment(x, y, 15, 8.5, 15, 17, 1.3), segment(x, y, 10.75, 12.75, 19.25, 12.75, 1.3))
    return fill(union(outline, plus), hexcolor("#f2f2f2"))


BUTTON = (204, 44)


def post_button_bg(x, y):
    # A dark rounded button (its title is drawn in pale blue over it): a
    # vertical gradient, a hairline border and a soft top highlight.
    shape = rounded_rect(x, y, 0.5, 0.5, 203.5, 43.5, 9)
    if shape > 0:
        return CLEAR
    t = y / 44
    top, bottom = hexcolor("#3b4a6e"), hexcolor("#1f2a44")
    color = tuple(top[i] * (1 - t) + bottom[i] * t for i in range(3)) + (1.0,)
    if y < 22 and shape < -1.5:
        color = over(hexcolor("#ffffff", 0.07), color)
    if shape > -1.0:
        color = over(hexcolor("#6a7ca6"), color)
    return color


IMAGES = [
    ("secret_bg", BG_TILE, secret_bg),
    ("close", (20, 20), close),
    ("feedback", (30, 30), feedback),
    ("addjoke", (30, 30), addjoke),
    ("post_button_bg", BUTTON, post_button_bg),
]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "app", "resources")
    os.makedirs(folder, exist_ok=True)
    for name, size, paint in IMAGES:
        for scale, suffix in ((1, ""), (2, "@2x")):
            width, height, rows = render(size, scale, paint)
            path = os.path.join(folder, name + suffix + ".png")
            write_png(path, width, height, rows)
            print(f"{path}: {width}x{height}")


if __name__ == "__main__":
    main()
