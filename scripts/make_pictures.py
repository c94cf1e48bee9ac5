#!/usr/bin/env python3
"""Draws the program's small bitmaps and writes them as 24-bit BMP files.

- resources/strip.bmp: the coloured strip along the bottom of the new-mail notification.
- bmp/<shortcut>.bmp: a key-cap picture for every keyboard shortcut of the main window's
  commands, shown under the toolbar hints. Black is the transparent colour of these pictures, so
  nothing that must stay visible is drawn in pure black.

Only the standard library is used. Run from anywhere: python3 scripts/make_pictures.py
"""

import os
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

TRANSPARENT = (0, 0, 0)
CAP_EDGE = (64, 64, 64)
CAP_SIDE = (176, 176, 176)
CAP_FACE = (236, 236, 236)
CAP_LIGHT = (255, 255, 255)
LABEL = (24, 24, 24)
PLUS = (96, 96, 96)


def write_bmp(path, pixels):
    """pixels: rows top to bottom, each a list of (r, g, b)."""
    height = len(pixels)
    width = len(pixels[0])
    row_size = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(pixels):  # BMP rows go bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (row_size - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(header + info + data)


def strip():
    """138 x 3: four blocks of 72, 22, 22 and 22 pixels, one colour per block and row."""
    rows = [
        ["FFFF33", "F7A310", "3399CC", "99CC99"],
        ["FBDA30", "FF0000", "3366CC", "73BC88"],
        ["FFCC33", "CC0000", "2B2990", "0F8D30"],
    ]
    widths = [72, 22, 22, 22]
    pixels = []
    for colours in rows:
        row = []
        for hexcolour, width in zip(colours, widths):
            rgb = tuple(int(hexcolour[i:i + 2], 16) for i in (0, 2, 4))
            row += [rgb] * width
        pixels.append(row)
    return pixels


# A 5 x 7 pixel font with the characters the key labels need; '#' is ink.
GLYPHS = {
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "D": ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    "N": ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    "l": [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "m": [".....", ".....", "##.#.", "#.#.#", "#.#.#", "#.#.#", "#.#.#"],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    "t": [".#...", ".#...", "####.", ".#...", ".#...", ".#..#", "..##."],
    "u": [".....", ".....", "#...#", "#...#", "#...#", "#..##", ".##.#"],
    "1": ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "5": ["#####", "#....", "####.", "....#", "....#", "#...#", ".###."],
    "9": [".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."],
    "*": [".....", "#.#.#", ".###.", "#####", ".###.", "#.#.#", "....."],
    "+": [".....", "..#..", "..#..", "#####", "..#..", "..#..", "....."],
    " ": [".....", ".....", ".....", ".....", ".....", ".....", "....."],
}

SCALE = 2          # each font pixel becomes 2 x 2
CAP_HEIGHT = 28    # the hint window leaves 30 pixels for the picture
PAD = 7            # label to cap side


def text_width(text):
    return (len(text) * 6 - 1) * SCALE


def draw_text(canvas, x, y, text, colour):
    for ch in text:
        for gy, line in enumerate(GLYPHS[ch]):
            for gx, cell in enumerate(line):
                if cell == "#":
                    for dy in range(SCALE):
                        for dx in range(SCALE):
                            canvas[y + gy * SCALE + dy][x + gx * SCALE + dx] = colour
        x += 6 * SCALE


def cap_width(label):
    return max(CAP_HEIGHT, text_width(label) + 2 * PAD)


def draw_cap(canvas, x, label):
    """A key cap: dark outline, lighter side at the bottom, face with a highlight, label."""
    w, h = cap_width(label), CAP_HEIGHT
    for yy in range(h):
        for xx in range(w):
            corner = (xx in (0, w - 1)) and (yy in (0, h - 1))
            if corner:
                continue  # rounded look: the corners stay transparent
            if xx in (0, w - 1) or yy in (0, h - 1):
                c = CAP_EDGE
            elif yy >= h - 5 or xx in (1, w - 2):
                c = CAP_SIDE
            elif yy == 1 or xx == 2:
                c = CAP_LIGHT
            else:
                c = CAP_FACE
            canvas[yy][x + xx] = c
    face_height = h - 5
    draw_text(canvas, x + (w - text_width(label)) // 2, 1 + (face_height - 7 * SCALE) // 2, label, LABEL)
    return w


def key_picture(text):
    """'Ctrl+A' gives the caps Ctrl and A joined by a plus; 'Num *' is one key."""
    keys = text.split("+") if "+" in text.strip("+") else [text]
    gap = text_width("+") + 6
    width = sum(cap_width(k) for k in keys) + gap * (len(keys) - 1)
    canvas = [[TRANSPARENT] * width for _ in range(CAP_HEIGHT)]
    x = 0
    for i, key in enumerate(keys):
        if i:
            draw_text(canvas, x + 3, (CAP_HEIGHT - 7 * SCALE) // 2, "+", PLUS)
            x += gap
        x += draw_cap(canvas, x, key)
    return canvas


# The shortcuts of the main window's commands, written as the hint window names their files.
SHORTCUTS = ["F1", "F5", "F9", "Del", "Ctrl+A", "Ctrl+U", "Ctrl+L", "Ctrl+O", "Ctrl+M", "Num *"]


def picture_file_name(shortcut):
    return shortcut.replace("*", "zv", 1) + ".bmp"


def main():
    write_bmp(os.path.join(ROOT, "resources", "strip.bmp"), strip())
    for shortcut in SHORTCUTS:
        write_bmp(os.path.join(ROOT, "bmp", picture_file_name(shortcut)), key_picture(shortcut))


if __name__ == "__main__":
    main()
