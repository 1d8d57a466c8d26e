#!/usr/bin/env python3
"""Draws the three state images of the preferences window's MIDI input
table with nothing but the standard library:

  enabled.png      an active source: a green lamp
  enabledsync.png  an active source that follows MIDI clock: the green lamp
                   inside a blue ring
  disabled.png     an inactive source: a grey lamp

Run it from anywhere after changing a picture; it rewrites the three files
next to itself. The images are committed, so the build never runs this.
"""

import math
import pathlib
import struct
import zlib

SIZE = 16
SUPERSAMPLING = 4


def write_png(path, pixel):
    """pixel(x, y) answers (r, g, b, a) as floats 0..1 for a point in pixels."""
    rows = bytearray()
    step = 1.0 / SUPERSAMPLING
    for y in range(SIZE):
        rows.append(0)  # no filter
        for x in range(SIZE):
            total = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SUPERSAMPLING):
                for sx in range(SUPERSAMPLING):
                    r, g, b, a = pixel(x + (sx + 0.5) * step, y + (sy + 0.5) * step)
                    total[0] += r * a  # premultiplied, so edges do not darken
                    total[1] += g * a
                    total[2] += b * a
                    total[3] += a
            alpha = total[3] / (SUPERSAMPLING * SUPERSAMPLING)
            colour = [c / total[3] if total[3] > 0 else 0.0 for c in total[:3]]
            rows.extend(round(max(0.0, min(1.0, c)) * 255) for c in colour + [alpha])

    def chunk(name, body):
        return struct.pack(">I", len(body)) + name + body + struct.pack(">I", zlib.crc32(name + body))

    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9))
    pathlib.Path(path).write_bytes(data + chunk(b"IEND", b""))


CENTRE = SIZE / 2.0
CLEAR = (0.0, 0.0, 0.0, 0.0)


def lamp(colour, radius):
    """A lit disc: the colour, lighter towards its upper left."""

    def pixel(x, y):
        d = math.hypot(x - CENTRE, y - CENTRE)
        if d > radius:
            return None
        shine = max(0.0, 1.0 - math.hypot(x - CENTRE + radius * 0.35, y - CENTRE + radius * 0.35) / radius)
        return tuple(c + (1.0 - c) * shine * 0.6 for c in colour) + (1.0,)

    return pixel


def ring(colour, inner, outer):
    def pixel(x, y):
        d = math.hypot(x - CENTRE, y - CENTRE)
        return colour + (1.0,) if inner <= d <= outer else None

    return pixel


def layers(*parts):
    def pixel(x, y):
        for part in parts:
            value = part(x, y)
            if value is not None:
                return value
        return CLEAR

    return pixel


GREEN = (0.13, 0.70, 0.25)
GREY = (0.55, 0.55, 0.58)
BLUE = (0.16, 0.42, 0.90)

here = pathlib.Path(__file__).resolve().parent
write_png(here / "enabled.png", layers(lamp(GREEN, 6.0)))
write_png(here / "enabledsync.png", layers(lamp(GREEN, 4.5), ring(BLUE, 5.6, 7.6)))
write_png(here / "disabled.png", layers(lamp(GREY, 6.0)))
