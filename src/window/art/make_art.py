#!/usr/bin/python3
"""Draws the installer window's artwork and writes it beside this script.

logo.bmp   182x66, 24-bit: the product name in block letters on the window's grey
ring.bmp    40x40, 24-bit: a thin grey ring on white (the step markers)
check.bmp   48x36, 24-bit: a green tick on white (a finished step)
hand.cur    32x32, 16 colours: a pointing hand, the hotspot at the fingertip
icon.ico    46x45, 256 colours: the product's initials on a blue tile

Only the standard library is used; run it again after changing a drawing.
"""

import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

WINDOW_GREY = (224, 224, 224)
BLUE = (46, 117, 182)
DARK_BLUE = (31, 78, 121)
WHITE = (255, 255, 255)
RING_GREY = (166, 166, 166)
TICK_GREEN = (0, 166, 81)

# 5x7 block letters.
GLYPHS = {
    "K": ["X...X", "X..X.", "X.X..", "XX...", "X.X..", "X..X.", "X...X"],
    "E": ["XXXXX", "X....", "X....", "XXXX.", "X....", "X....", "XXXXX"],
    "L": ["X....", "X....", "X....", "X....", "X....", "X....", "XXXXX"],
    "V": ["X...X", "X...X", "X...X", "X...X", "X...X", ".X.X.", "..X.."],
    "O": [".XXX.", "X...X", "X...X", "X...X", "X...X", "X...X", ".XXX."],
    "R": ["XXXX.", "X...X", "X...X", "XXXX.", "X.X..", "X..X.", "X...X"],
    "A": [".XXX.", "X...X", "X...X", "XXXXX", "X...X", "X...X", "X...X"],
    "N": ["X...X", "XX..X", "X.X.X", "X..XX", "X...X", "X...X", "X...X"],
    "X": ["X...X", "X...X", ".X.X.", "..X..", ".X.X.", "X...X", "X...X"],
}

# The pointing hand: X outline, o fill, . transparent. The fingertip is the top row.
HAND = [
    "......XX..........",
    ".....XooX.........",
    ".....XooX.........",
    ".....XooX.........",
    ".....XooX.........",
    ".....XooXXX.......",
    ".....XooXooXXX....",
    ".....XooXooXooXX..",
    ".XX..XooXooXooXoX.",
    "XooX.XooooooooXooX",
    "XoooXXoooooooooooX",
    ".XooXooooooooooooX",
    "..XoXooooooooooooX",
    "..XooooooooooooooX",
    "...XoooooooooooooX",
    "...XooooooooooooX.",
    "....XoooooooooooX.",
    "....XooooooooooX..",
    ".....XoooooooooX..",
    ".....XoooooooooX..",
    ".....XXXXXXXXXXX..",
]


class Canvas:
    """An RGB picture, row 0 at the top."""

    def __init__(self, width, height, ground):
        self.width = width
        self.height = height
        self.pixels = [[ground] * width for _ in range(height)]

    def fill(self, x, y, w, h, color):
        for yy in range(max(0, y), min(self.height, y + h)):
            for xx in range(max(0, x), min(self.width, x + w)):
                self.pixels[yy][xx] = color

    def blend(self, x, y, color, coverage):
        if not (0 <= x < self.width and 0 <= y < self.height) or coverage <= 0:
            return
        coverage = min(1.0, coverage)
        base = self.pixels[y][x]
        self.pixels[y][x] = tuple(
            round(b + (c - b) * coverage) for b, c in zip(base, color))

    def text(self, word, x, y, cell_w, cell_h, gap, color):
        # Each cell spills one pixel to the right, so that vertical strokes come out bolder.
        for letter in word:
            for row, line in enumerate(GLYPHS[letter]):
                for col, mark in enumerate(line):
                    if mark == "X":
                        self.fill(x + col * cell_w, y + row * cell_h, cell_w + 1, cell_h, color)
            x += 5 * cell_w + 1 + gap
        return x


def text_width(word, cell_w, gap):
    return len(word) * (5 * cell_w + 1) + (len(word) - 1) * gap


def coverage(width, height, inside, samples=4):
    """Per-pixel coverage of a shape given by inside(x, y), by supersampling."""
    result = [[0.0] * width for _ in range(height)]
    step = 1.0 / samples
    for y in range(height):
        for x in range(width):
            hits = 0
            for sy in range(samples):
                for sx in range(samples):
                    if inside(x + (sx + 0.5) * step, y + (sy + 0.5) * step):
                        hits += 1
            result[y][x] = hits / (samples * samples)
    return result


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def bmp24(canvas):
    row_size = (canvas.width * 3 + 3) & ~3
    image = bytearray()
    for row in reversed(canvas.pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (row_size - len(line))
        image += line
    header = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0,
                         len(image), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(image), 0, 0,
                              14 + len(header))
    return file_header + header + bytes(image)


def icon_image(indices, mask, width, height, bits, palette):
    """A DIB as stored in .ico and .cur files: header, palette, colour rows, AND mask."""
    per_byte = 8 // bits
    color_row = ((width + per_byte - 1) // per_byte + 3) & ~3
    mask_row = ((width + 7) // 8 + 3) & ~3
    colors = bytearray()
    masks = bytearray()
    for y in reversed(range(height)):
        line = bytearray(color_row)
        for x in range(width):
            value = indices[y][x]
            shift = 8 - bits * (x % per_byte + 1)
            line[x // per_byte] |= value << shift
        colors += line
        bits_line = bytearray(mask_row)
        for x in range(width):
            if mask[y][x]:
                bits_line[x // 8] |= 0x80 >> (x % 8)
        masks += bits_line
    table = bytearray()
    for r, g, b in palette:
        table += bytes((b, g, r, 0))
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0,
                         len(colors) + len(masks), 0, 0, len(palette), 0)
    return header + bytes(table) + bytes(colors) + bytes(masks)


def icon_file(kind, width, height, color_count, hotspot_or_planes, data):
    """kind 1: icon (planes, bit count); kind 2: cursor (hotspot x, y)."""
    directory = struct.pack("<HHH", 0, kind, 1)
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, color_count % 256, 0,
                        hotspot_or_planes[0], hotspot_or_planes[1], len(data), 6 + 16)
    return directory + entry + data


def draw_logo():
    canvas = Canvas(182, 66, WINDOW_GREY)
    cell_w, cell_h, gap = 3, 4, 4
    word = "KELVORAN"
    x0 = (177 - text_width(word, cell_w, gap)) // 2  # the picture box shows 177 columns
    canvas.text(word, x0, 10, cell_w, cell_h, gap, BLUE)
    canvas.fill(x0, 44, text_width(word, cell_w, gap), 2, DARK_BLUE)
    return canvas


def draw_ring():
    canvas = Canvas(40, 40, WHITE)
    cx = cy = 20.0
    outer, inner = 18.5, 17.0
    cover = coverage(40, 40, lambda x, y: inner <= math.hypot(x - cx, y - cy) <= outer)
    for y in range(40):
        for x in range(40):
            canvas.blend(x, y, RING_GREY, cover[y][x])
    return canvas


def draw_check():
    canvas = Canvas(48, 36, WHITE)
    points = [(9.0, 18.0), (19.0, 28.0), (39.0, 8.0)]
    half_width = 2.8

    def inside(x, y):
        return any(segment_distance(x, y, *points[i], *points[i + 1]) <= half_width
                   for i in range(len(points) - 1))

    cover = coverage(48, 36, inside)
    for y in range(36):
        for x in range(48):
            canvas.blend(x, y, TICK_GREEN, cover[y][x])
    return canvas


def draw_hand():
    size = 32
    left, top = 7, 1
    # The sixteen colours of the standard palette; the hand uses black and white.
    palette = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
               (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
               (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
    indices = [[0] * size for _ in range(size)]
    mask = [[1] * size for _ in range(size)]
    for row, line in enumerate(HAND):
        for col, mark in enumerate(line):
            if mark == ".":
                continue
            indices[top + row][left + col] = 0 if mark == "X" else 15
            mask[top + row][left + col] = 0
    tip = (left + HAND[0].index("X"), top)
    data = icon_image(indices, mask, size, size, 4, palette)
    return icon_file(2, size, size, 16, tip, data)


def draw_icon():
    width, height = 46, 45
    # A 256-entry palette: a ramp from the dark to the light blue, then white and the rest black.
    palette = []
    for i in range(64):
        t = i / 63
        palette.append(tuple(round(d + (l - d) * t) for d, l in zip(DARK_BLUE, BLUE)))
    palette.append(WHITE)
    palette += [(0, 0, 0)] * (256 - len(palette))
    white_index = 64
    indices = [[0] * width for _ in range(height)]
    mask = [[1] * width for _ in range(height)]
    radius = 7
    for y in range(height):
        for x in range(width):
            # A tile with rounded corners; outside it the icon is transparent.
            dx = max(radius - x, 0, x - (width - 1 - radius))
            dy = max(radius - y, 0, y - (height - 1 - radius))
            if dx * dx + dy * dy > radius * radius:
                continue
            mask[y][x] = 0
            indices[y][x] = round(63 * (1 - y / (height - 1)))
    letters = Canvas(width, height, None)
    cell_w, cell_h, gap = 3, 4, 3
    x0 = (width - text_width("KX", cell_w, gap)) // 2
    letters.text("KX", x0, (height - 7 * cell_h) // 2, cell_w, cell_h, gap, WHITE)
    for y in range(height):
        for x in range(width):
            if letters.pixels[y][x] == WHITE:
                indices[y][x] = white_index
    data = icon_image(indices, mask, width, height, 8, palette)
    return icon_file(1, width, height, 0, (1, 8), data)


def main():
    outputs = {
        "logo.bmp": bmp24(draw_logo()),
        "ring.bmp": bmp24(draw_ring()),
        "check.bmp": bmp24(draw_check()),
        "hand.cur": draw_hand(),
        "icon.ico": draw_icon(),
    }
    for name, data in outputs.items():
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
