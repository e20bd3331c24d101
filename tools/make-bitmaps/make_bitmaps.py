#!/usr/bin/env python3
"""Writes the sample bitmaps of resources/: two 8-bit palettised page pictures and the four
24-bit list images, all of our own drawing. Usage: make_bitmaps.py OUTPUT_FOLDER"""
import os
import struct
import sys


def bmp8(width, height, pixel, palette):
    stride = (width + 3) & ~3
    rows = b"".join(bytes(pixel(x, y) for x in range(width)) + b"\0" * (stride - width)
                    for y in reversed(range(height)))
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    offset = 14 + 40 + len(pal)
    head = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(rows), 2835, 2835, 256, 0)
    return head + info + pal + rows


def bmp24(width, height, pixel):
    stride = (width * 3 + 3) & ~3
    rows = b"".join(b"".join(struct.pack("<BBB", *reversed(pixel(x, y))) for x in range(width))
                    + b"\0" * (stride - width * 3) for y in reversed(range(height)))
    head = struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    return head + info + rows


def ramp(a, b):
    return [tuple(int(a[c] + (b[c] - a[c]) * i / 255) for c in range(3)) for i in range(256)]


def banner(x, y):
    # A teal band that fades to white, with three rising bars for signal strength.
    level = min(255, x * 2)
    for i, h in enumerate((6, 11, 16)):
        if 8 + i * 7 <= x < 13 + i * 7 and 20 - h <= y < 20:
            return 0
    return level if 3 <= y < 21 else 255


def seal(x, y):
    dx, dy = x - 23.5, y - 23.5
    r = (dx * dx + dy * dy) ** 0.5
    if r < 14:
        return 40
    if r < 20:
        return 120
    if r < 23 and (int((dx + 24) / 4) + int((dy + 24) / 4)) % 2 == 0:
        return 200
    return 255


def adapter(body, light):
    def pixel(x, y):
        if 8 <= x < 24 and 4 <= y < 28:
            if 14 <= x < 18 and 8 <= y < 11:
                return light
            if (x in (11, 20)) and 18 <= y < 24:
                return (40, 40, 40)
            return body
        return (255, 255, 255)
    return pixel


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "resources"
    os.makedirs(out, exist_ok=True)
    files = {
        "oemSmall.bmp": bmp8(120, 24, banner, ramp((0, 96, 112), (255, 255, 255))),
        "cert.bmp": bmp8(48, 48, seal, ramp((20, 60, 140), (255, 255, 255))),
        "oemDeviceIconLS.bmp": bmp24(32, 32, adapter((200, 200, 200), (240, 160, 0))),
        "oemDeviceIconHS.bmp": bmp24(32, 32, adapter((230, 230, 230), (0, 160, 240))),
        "oemDevice.bmp": bmp24(32, 32, adapter((245, 245, 245), (0, 200, 80))),
        "oemDevice_B200.bmp": bmp24(32, 32, adapter((60, 60, 70), (0, 220, 120))),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
