#!/usr/bin/env python3
"""Writes the window's bitmap resources: the size grip (Groesse.bmp) and the program
icon (Vistoramo.ico, 16/32/48 px at 16 and at 256 colours), its hicolor PNG sizes and the
same drawing as a scalable SVG.
Run it from anywhere; the files land in resources/ and are committed."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "resources")

BACK = (0xD8, 0xBC, 0xA0)
LIGHT = (0xF0, 0xE0, 0xD0)
DARK = (0xB0, 0x7C, 0x48)


def grip_pixel(x, y):
    s = x + y
    if s < 12:
        return BACK
    return (LIGHT, DARK, DARK, BACK)[(s - 12) % 4]


def bmp24(width, height, pixel):
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + data


# ---- the icon: a flatbed scanner with its light bar and a sheet coming out of the lid ----
# The drawing is a few rectangles in units of the icon's side (0..1, y downwards), shared by
# the pixel images and the scalable SVG so that every size shows the same picture.

BODY = (0.06, 0.38, 0.94, 0.86)          # left, top, right, bottom
GLASS_BOTTOM = 0.50                      # the glass spans the body's top part
LIGHT_BAR = (0.56, 0.68)                 # left, right of the light bar on the glass
POWER_LIGHT = (0.70, 0.72, 0.86, 0.78)
SHEET = (0.22, 0.08, 0.78, BODY[1])      # its lower part is hidden by the body
TEXT_LINES = (0.30, 0.16, 0.70, 0.30)    # the area the printed lines run in

BODY_EDGE = (0x30, 0x30, 0x38)
BODY_FILL = (0xC8, 0xC8, 0xCC)
GLASS = (0x20, 0x50, 0x90)
BAR = (0x40, 0xC8, 0xE8)
POWER = (0x30, 0xD0, 0x40)
SHEET_EDGE = (0x50, 0x50, 0x58)
SHEET_FILL = (0xFF, 0xFF, 0xFF)
TEXT = (0x80, 0x80, 0x88)


def inside(u, v, box):
    left, top, right, bottom = box
    return left <= u <= right and top <= v <= bottom


def icon_pixel(x, y, n):
    """Colour (r, g, b) or None for transparent, at pixel (x, y) of an n x n icon."""
    u = (x + 0.5) / n
    v = (y + 0.5) / n
    if inside(u, v, BODY):
        left, top, right, bottom = BODY
        if min(u - left, right - u, v - top, bottom - v) < 1.0 / n:
            return BODY_EDGE
        if v < GLASS_BOTTOM:
            return BAR if LIGHT_BAR[0] <= u <= LIGHT_BAR[1] else GLASS
        if inside(u, v, POWER_LIGHT):
            return POWER
        return BODY_FILL
    if inside(u, v, SHEET) and v < SHEET[3]:
        left, top, right, _ = SHEET
        if min(u - left, right - u, v - top) < 1.0 / n:
            return SHEET_EDGE
        if inside(u, v, TEXT_LINES) and int(v * n) % 2 == 0:
            return TEXT
        return SHEET_FILL
    return None


def svg(size=256):
    """The same drawing as rectangles on a size x size canvas; the edges and the printed
    lines are those of the 48 px image, scaled."""
    grid = 48
    edge = size / grid

    def hexcolour(c):
        return "#%02x%02x%02x" % c

    def rect(box, fill, stroke=None):
        left, top, right, bottom = (a * size for a in box)
        paint = f'fill="{hexcolour(fill)}"'
        if stroke:
            # drawn inside the box, like the one-pixel edge of the pixel images
            half = edge / 2
            left, top, right, bottom = left + half, top + half, right - half, bottom - half
            paint += f' stroke="{hexcolour(stroke)}" stroke-width="{edge:.3f}"'
        return (f'  <rect x="{left:.3f}" y="{top:.3f}" width="{right - left:.3f}" '
                f'height="{bottom - top:.3f}" {paint}/>')

    body_left, body_top, body_right, _ = BODY
    inner = 1 / grid
    line_left, line_top, line_right, line_bottom = TEXT_LINES
    rows = [r for r in range(0, grid, 2) if line_top <= (r + 0.5) / grid <= line_bottom]
    shapes = [
        # reaches into the body, which covers its lower edge
        rect((SHEET[0], SHEET[1], SHEET[2], SHEET[3] + 2 * inner), SHEET_FILL, SHEET_EDGE),
        *(rect((line_left, r / grid, line_right, (r + 1) / grid), TEXT) for r in rows),
        rect(BODY, BODY_FILL, BODY_EDGE),
        rect((body_left + inner, body_top + inner, body_right - inner, GLASS_BOTTOM), GLASS),
        rect((LIGHT_BAR[0], body_top + inner, LIGHT_BAR[1], GLASS_BOTTOM), BAR),
        rect(POWER_LIGHT, POWER),
    ]
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{size}" height="{size}" '
            f'viewBox="0 0 {size} {size}">\n' + "\n".join(shapes) + "\n</svg>\n")


VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def palette256():
    pal = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    pal += [(v, v, v) for v in range(8, 248, 6)][: 256 - len(pal)]
    return pal + [(0, 0, 0)] * (256 - len(pal))


def nearest(pal, c):
    return min(range(len(pal)), key=lambda i: sum((a - b) ** 2 for a, b in zip(pal[i], c)))


def ico_image(n, bits):
    pal = VGA16 if bits == 4 else palette256()
    xor_stride = ((n * bits + 31) // 32) * 4
    and_stride = ((n + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for y in range(n - 1, -1, -1):
        idx = []
        mrow = bytearray(and_stride)
        for x in range(n):
            c = icon_pixel(x, y, n)
            if c is None:
                idx.append(0)
                mrow[x // 8] |= 0x80 >> (x % 8)
            else:
                idx.append(nearest(pal, c))
        row = bytearray()
        if bits == 4:
            for i in range(0, n, 2):
                row.append((idx[i] << 4) | (idx[i + 1] if i + 1 < n else 0))
        else:
            row += bytes(idx)
        row += b"\0" * (xor_stride - len(row))
        xor += row
        mask += mrow
    colors = 1 << bits
    info = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, bits, 0, len(xor) + len(mask), 0, 0, colors, 0)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in pal[:colors])
    return info + table + bytes(xor) + bytes(mask), colors


def ico():
    images = []
    for bits in (4, 8):
        for n in (16, 32, 48):
            data, colors = ico_image(n, bits)
            images.append((n, colors, bits, data))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, colors, bits, data in images:
        out += struct.pack("<BBBBHHII", n, n, colors if colors < 256 else 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + b"".join(d for _, _, _, d in images)


def png(n, scale=1):
    size = n * scale
    raw = bytearray()
    for y in range(size):
        raw.append(0)
        for x in range(size):
            c = icon_pixel(x, y, size)
            raw += bytes((0, 0, 0, 0)) if c is None else bytes((*c, 255))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main():
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, "Groesse.bmp"), "wb") as f:
        f.write(bmp24(13, 12, grip_pixel))
    with open(os.path.join(OUT, "Vistoramo.ico"), "wb") as f:
        f.write(ico())
    for n in (16, 32, 48, 256):
        d = os.path.join(OUT, "icons", f"{n}x{n}")
        os.makedirs(d, exist_ok=True)
        with open(os.path.join(d, "vistoramo.png"), "wb") as f:
            f.write(png(n))
    d = os.path.join(OUT, "icons", "scalable")
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "vistoramo.svg"), "w", encoding="ascii") as f:
        f.write(svg())


if __name__ == "__main__":
    main()
