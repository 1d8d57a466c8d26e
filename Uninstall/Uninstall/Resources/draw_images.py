#!/usr/bin/env python3
"""Draws the uninstaller's two images with nothing but the standard library:

  Kindra.png   the product image beside the title (a sound wave on the
               product's colours)
  Removed.png  the mark shown beside an item that is gone

Run it from anywhere after changing a picture; it rewrites both files next
to itself. The images are committed, so the build never runs this.
"""

import math
import pathlib
import struct
import zlib

SUPERSAMPLING = 4  # samples per pixel along each axis, for smooth edges


def write_png(path, width, height, pixel):
    """pixel(x, y) answers (r, g, b, a) as floats 0..1 for a point in pixels."""
    rows = bytearray()
    step = 1.0 / SUPERSAMPLING
    for y in range(height):
        rows.append(0)  # no filter
        for x in range(width):
            total = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SUPERSAMPLING):
                for sx in range(SUPERSAMPLING):
                    r, g, b, a = pixel(x + (sx + 0.5) * step, y + (sy + 0.5) * step)
                    # Average premultiplied, so edges do not darken.
                    total[0] += r * a
                    total[1] += g * a
                    total[2] += b * a
                    total[3] += a
            count = SUPERSAMPLING * SUPERSAMPLING
            alpha = total[3] / count
            colour = [c / total[3] if total[3] > 0 else 0.0 for c in total[:3]]
            rows.extend(round(max(0.0, min(1.0, c)) * 255) for c in colour + [alpha])

    def chunk(name, body):
        return struct.pack(">I", len(body)) + name + body + struct.pack(">I", zlib.crc32(name + body))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9))
    pathlib.Path(path).write_bytes(data + chunk(b"IEND", b""))


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def inside_rounded_square(x, y, left, top, size, radius):
    cx = min(max(x, left + radius), left + size - radius)
    cy = min(max(y, top + radius), top + size - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def distance_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


TRANSPARENT = (0.0, 0.0, 0.0, 0.0)
WHITE = (1.0, 1.0, 1.0, 1.0)


def product_pixel(x, y):
    """A deep blue to violet tile with a white sound wave that swells and fades."""
    size = 128.0
    if not inside_rounded_square(x, y, 4, 4, size - 8, 26):
        return TRANSPARENT
    background = mix((0.13, 0.17, 0.45), (0.49, 0.25, 0.63), y / size) + (1.0,)
    left, right = 18.0, 110.0
    if left <= x <= right:
        t = (x - left) / (right - left)
        envelope = math.sin(math.pi * t)
        phase = 2 * math.pi * 2.5 * t
        wave = 64 + 30 * envelope * math.sin(phase)
        # The slope turns the vertical distance into a distance to the curve.
        slope = 30 * (math.pi / (right - left) * math.cos(math.pi * t) * math.sin(phase)
                      + envelope * 2 * math.pi * 2.5 / (right - left) * math.cos(phase))
        if abs(y - wave) / math.sqrt(1 + slope * slope) <= 3.5:
            return WHITE
    # A thin baseline under the wave.
    if left <= x <= right and abs(y - 64) <= 0.75:
        return mix(background, WHITE, 0.45)
    return background


def mark_pixel(x, y):
    """A green disc with a white tick."""
    if math.hypot(x - 20, y - 20) > 19:
        return TRANSPARENT
    tick = min(distance_to_segment(x, y, 11, 21, 17.5, 27.5), distance_to_segment(x, y, 17.5, 27.5, 29.5, 13.5))
    if tick <= 2.6:
        return WHITE
    return (0.18, 0.63, 0.26, 1.0)


if __name__ == "__main__":
    here = pathlib.Path(__file__).resolve().parent
    write_png(here / "Kindra.png", 128, 128, product_pixel)
    write_png(here / "Removed.png", 40, 40, mark_pixel)
