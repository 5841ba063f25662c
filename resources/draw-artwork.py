#!/usr/bin/env python3
"""Draws padflash's artwork: the application icon (padflash.png, 256 x 256)
and the About box bitmap (padflash-about.png, 64 x 64), both the same
picture: a touchpad with its two buttons and a lightning flash on the pad.
For Windows the same picture becomes icon 107 (padflash.ico: 16, 32, 48 and
256 pixels) and bitmap 131 (padflash-about.bmp: 64 x 64, 24 bits, laid on
the About box's white).

Plain Python (zlib only): shapes in a 64-unit square, 4 x 4 samples a pixel.
Run it from anywhere; it writes the PNGs beside itself.

    python3 resources/draw-artwork.py
"""
import os
import struct
import zlib

SAMPLES = 4


def hex_rgb(text):
    return tuple(int(text[i:i + 2], 16) for i in (1, 3, 5))


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside, (x0, y0, x1, y1)


def polygon(points):
    def inside(x, y):
        hit = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                hit = not hit
            j = i
        return hit
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return inside, (min(xs), min(ys), max(xs), max(ys))


def vertical(top, bottom, y0, y1):
    a, b = hex_rgb(top), hex_rgb(bottom)

    def colour(x, y):
        t = min(max((y - y0) / (y1 - y0), 0.0), 1.0)
        return tuple(a[k] + (b[k] - a[k]) * t for k in range(3))
    return colour


def flat(text):
    rgb = hex_rgb(text)
    return lambda x, y: rgb


BOLT = [(38.5, 13.5), (25, 30), (31.5, 30), (27, 42.5), (41, 24.5), (34, 24.5), (41.5, 13.5)]

# (shape, colour, opacity), painted in order.
SCENE = [
    (rounded_rect(5, 9.5, 61, 58.5, 9), flat("#0b1d33"), 0.30),  # shadow
    (rounded_rect(3, 7, 59, 56, 9), flat("#14304f"), 1.0),  # rim
    (rounded_rect(4.5, 8.5, 57.5, 54.5, 7.5), vertical("#3f7cbf", "#1f4a7d", 8.5, 54.5), 1.0),
    (rounded_rect(8, 12, 54, 43, 5), vertical("#5d9ad6", "#3a73b3", 12, 43), 1.0),  # pad
    (rounded_rect(8, 46, 30.5, 51.5, 2.5), flat("#a9cdf0"), 1.0),  # left button
    (rounded_rect(31.5, 46, 54, 51.5, 2.5), flat("#a9cdf0"), 1.0),  # right button
    (polygon([(x + 1.2, y + 1.2) for x, y in BOLT]), flat("#10263f"), 0.45),  # bolt shadow
    (polygon(BOLT), vertical("#ffe27a", "#f5a300", 13.5, 42.5), 1.0),  # bolt
]


def render(size):
    scale = size / 64.0
    pixels = bytearray(size * size * 4)
    step = 1.0 / SAMPLES
    for py in range(size):
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied colour and alpha
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) * step) / scale
                    y = (py + (sy + 0.5) * step) / scale
                    r = g = b = a = 0.0
                    for (inside, box), colour, opacity in SCENE:
                        if not (box[0] <= x <= box[2] and box[1] <= y <= box[3]):
                            continue
                        if not inside(x, y):
                            continue
                        cr, cg, cb = colour(x, y)
                        r = cr * opacity + r * (1 - opacity)
                        g = cg * opacity + g * (1 - opacity)
                        b = cb * opacity + b * (1 - opacity)
                        a = opacity + a * (1 - opacity)
                    acc[0] += r
                    acc[1] += g
                    acc[2] += b
                    acc[3] += a
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            at = (py * size + px) * 4
            if alpha > 0:
                for k in range(3):
                    pixels[at + k] = min(255, round(acc[k] / n / alpha))
            pixels[at + 3] = round(alpha * 255)
    return pixels


def write_png(path, size, pixels):
    with open(path, "wb") as f:
        f.write(png_bytes(size, pixels))


def png_bytes(size, pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    rows = b"".join(b"\0" + bytes(pixels[y * size * 4:(y + 1) * size * 4]) for y in range(size))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(rows, 9))
    png += chunk(b"IEND", b"")
    return png


def dib_icon_image(size, pixels):
    """A 32-bit icon image: header (height doubled for the mask), BGRA rows
    bottom-up, then the 1-bit AND mask (1 = transparent), rows padded to 32
    bits."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    stride = (size + 31) // 32 * 4
    for y in reversed(range(size)):
        row_mask = bytearray(stride)
        for x in range(size):
            r, g, b, a = pixels[(y * size + x) * 4:(y * size + x) * 4 + 4]
            colour += bytes((b, g, r, a))
            if a == 0:
                row_mask[x // 8] |= 0x80 >> (x % 8)
        mask += row_mask
    return header + bytes(colour) + bytes(mask)


def write_ico(path, sizes):
    """Windows icon file; the 256-pixel image is stored as PNG, the others as
    DIBs."""
    images = []
    for size in sizes:
        pixels = render(size)
        images.append((size, png_bytes(size, pixels) if size >= 256 else dib_icon_image(size, pixels)))
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in images:
        side = 0 if size >= 256 else size  # 0 stands for 256
        data += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    data += b"".join(image for _, image in images)
    with open(path, "wb") as f:
        f.write(data)


def write_bmp_on_white(path, size, pixels):
    """24-bit bitmap, the picture blended over white, rows bottom-up and
    padded to 4 bytes."""
    stride = (size * 3 + 3) // 4 * 4
    rows = bytearray()
    for y in reversed(range(size)):
        row = bytearray()
        for x in range(size):
            r, g, b, a = pixels[(y * size + x) * 4:(y * size + x) * 4 + 4]
            row += bytes(round(c * a / 255 + 255 * (1 - a / 255)) for c in (b, g, r))
        rows += row + bytes(stride - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(header + info + bytes(rows))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, size in (("padflash.png", 256), ("padflash-about.png", 64)):
        write_png(os.path.join(here, name), size, render(size))
    write_ico(os.path.join(here, "padflash.ico"), (16, 32, 48, 256))
    write_bmp_on_white(os.path.join(here, "padflash-about.bmp"), 64, render(64))


if __name__ == "__main__":
    main()
