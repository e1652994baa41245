#!/usr/bin/env python3
"""Draws the programs' icons and writes them as 16-colour .ico and as .png files.

The large icon (32 x 32) of each model shows its designation three times, in red, green and
blue, with a slanted green pen over it; the small icon (16 x 16) is shared by both programs.
Each .ico holds the model's large picture and the shared small one. Run from the repository
root: python3 tools/make_icons.py
"""
import os
import struct
import sys
import zlib

# The standard 16-colour palette, in the order of the classic 4-bit bitmaps.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, DARK_GREEN, SILVER, GREY, RED, LIME, YELLOW, BLUE, WHITE = 0, 2, 7, 8, 9, 10, 11, 12, 15
CLEAR = None  # a transparent pixel

# A 5-pixel-high font with the few letters the designations need.
GLYPHS = {
    "K": ["1..1", "1.1.", "11..", "1.1.", "1..1"],
    "N": ["1..1", "11.1", "1.11", "1..1", "1..1"],
    "O": [".11.", "1..1", "1..1", "1..1", ".11."],
    "T": ["111", ".1.", ".1.", ".1.", ".1."],
    "-": ["...", "...", "111", "...", "..."],
    "Q": [".11.", "1..1", "1..1", "1.1.", ".1.1"],
    "P": ["111.", "1..1", "111.", "1...", "1..."],
}


def blank(size):
    return [[CLEAR] * size for _ in range(size)]


def draw_text(pixels, text, x, y, colour):
    for ch in text:
        glyph = GLYPHS[ch]
        for dy, row in enumerate(glyph):
            for dx, bit in enumerate(row):
                if bit == "1":
                    pixels[y + dy][x + dx] = colour
        x += len(glyph[0]) + 1


def draw_pen(pixels, x0, y0, length, width):
    """A pen slanted at 45 degrees: the nib at (x0, y0), the body rising to the right."""
    size = len(pixels)
    for step in range(length):
        cx, cy = x0 + step, y0 - step
        for w in range(-(width // 2), width - width // 2):
            # Across the body the colour goes dark edge, bright middle, dark edge.
            edge = w in (-(width // 2), width - width // 2 - 1)
            if step < 2:
                colour = BLACK if step == 0 else SILVER  # the nib
            elif step >= length - 2:
                colour = GREY  # the cap
            else:
                colour = DARK_GREEN if edge else LIME
            for px, py in ((cx + w, cy + w), (cx + w + 1, cy + w)):
                if 0 <= px < size and 0 <= py < size:
                    pixels[py][px] = colour


def large_icon(designation):
    pixels = blank(32)
    for (x, y, colour) in ((1, 3, RED), (3, 13, LIME), (5, 23, BLUE)):
        draw_text(pixels, designation, x, y, colour)
    draw_pen(pixels, 5, 30, 26, 3)
    return pixels


def small_icon():
    pixels = blank(16)
    for (y, colour) in ((2, RED), (6, LIME), (10, BLUE)):
        for x in range(1, 13):
            pixels[y][x] = colour
            pixels[y + 1][x] = colour
    draw_pen(pixels, 2, 14, 13, 3)
    return pixels


def ico_image(pixels):
    """One image of an .ico: a 4-bit bitmap with its palette, then the 1-bit transparency mask."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    colour_rows, mask_rows = [], []
    for row in reversed(pixels):  # bitmaps are stored bottom-up
        nibbles = [0 if p is CLEAR else p for p in row]
        data = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        colour_rows.append(data + b"\0" * (-len(data) % 4))
        bits = 0
        for p in row:
            bits = (bits << 1) | (1 if p is CLEAR else 0)
        mask = bits.to_bytes(size // 8, "big")
        mask_rows.append(mask + b"\0" * (-len(mask) % 4))
    return header + palette + b"".join(colour_rows) + b"".join(mask_rows)


def write_ico(path, images):
    blobs = [ico_image(p) for p in images]
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for pixels, blob in zip(images, blobs):
        size = len(pixels)
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(out + b"".join(blobs))


def write_png(path, pixels):
    size = len(pixels)
    raw = b""
    for row in pixels:
        raw += b"\0" + b"".join(
            bytes((0, 0, 0, 0)) if p is CLEAR else bytes(PALETTE[p] + (255,)) for p in row)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else "."
    small = small_icon()
    write_png(os.path.join(root, "app/qt/resources/knot_small_16.png"), small)
    write_ico(os.path.join(root, "app/qt/resources/knot_small_16.ico"), [small])
    for model in ("q", "p"):
        large = large_icon("KNOT-" + model.upper())
        base = os.path.join(root, "variants", model, "knot_" + model)
        write_png(base + "_32.png", large)
        write_ico(base + ".ico", [large, small])


if __name__ == "__main__":
    main()
