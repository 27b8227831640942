#!/usr/bin/env python3
"""Draws the installer's application icon (a disc with a download arrow) as a .ico file.

Every size is stored as a PNG image (Windows reads those since Vista): a few hundred bytes each
instead of the 32-bit bitmap's kilobytes, so the larger sizes that high-DPI screens ask for cost
little.

usage: make_icon.py TARGET.ico
"""
import io
import math
import struct
import sys

from PIL import Image

SIZES = (16, 20, 24, 32, 40, 48, 64)
DISC = (214, 120, 36)       # warm orange
RING = (150, 70, 20)
ARROW = (255, 255, 255)
SAMPLES = 4                 # supersampling per axis, for smooth edges


def colour_at(x: float, y: float):
    """Colour (r, g, b, a) at a point of the unit square, origin top-left."""
    dx, dy = x - 0.5, y - 0.5
    r = math.hypot(dx, dy)
    if r > 0.48:
        return (0, 0, 0, 0)
    # Download arrow: a shaft and a head pointing down.
    in_shaft = abs(dx) < 0.07 and -0.27 < dy < 0.08
    in_head = 0.0 < dy < 0.25 and abs(dx) < (0.25 - dy) * 1.1
    if in_shaft or in_head:
        return ARROW + (255,)
    if r > 0.42:
        return RING + (255,)
    return DISC + (255,)


def render(size: int) -> bytes:
    pixels = bytearray()
    for py in range(size):
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    c = colour_at((px + (sx + 0.5) / SAMPLES) / size,
                                  (py + (sy + 0.5) / SAMPLES) / size)
                    for i in range(3):
                        acc[i] += c[i] * c[3]
                    acc[3] += c[3]
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            rgb = [int(acc[i] / acc[3]) if acc[3] else 0 for i in range(3)]
            pixels += bytes((rgb[0], rgb[1], rgb[2], int(alpha)))
    image = Image.frombytes("RGBA", (size, size), bytes(pixels))
    encoded = io.BytesIO()
    image.save(encoded, "PNG", optimize=True)
    return encoded.getvalue()


def main(target: str) -> None:
    images = [render(s) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(SIZES))
    offset = 6 + 16 * len(SIZES)
    for size, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(target, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
