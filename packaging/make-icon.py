#!/usr/bin/env python3
"""Draws the configurator's 32x32 menu icon: a blue square with the product name."""
import struct
import sys
import zlib

SIZE = 32
BLUE = (0, 0, 160)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)

# 3x5 capitals, one string of rows per letter.
GLYPHS = {
    "T": ["###", ".#.", ".#.", ".#.", ".#."],
    "O": ["###", "#.#", "#.#", "#.#", "###"],
    "L": ["#..", "#..", "#..", "#..", "###"],
    "V": ["#.#", "#.#", "#.#", "#.#", ".#."],
    "A": [".#.", "#.#", "###", "#.#", "#.#"],
    "N": ["#.#", "###", "###", "#.#", "#.#"],
    "S": ["###", "#..", "###", "..#", "###"],
    "E": ["###", "#..", "##.", "#..", "###"],
    "R": ["##.", "#.#", "##.", "#.#", "#.#"],
}


def draw():
    pixels = [[BLUE] * SIZE for _ in range(SIZE)]
    for y in range(6, SIZE - 6):
        for x in range(2, SIZE - 2):
            pixels[y][x] = WHITE
    for top, word in ((9, "TOLVAN"), (18, "SERVER")):
        left = (SIZE - (len(word) * 4 - 1)) // 2
        for i, letter in enumerate(word):
            for dy, row in enumerate(GLYPHS[letter]):
                for dx, cell in enumerate(row):
                    if cell == "#":
                        pixels[top + dy][left + i * 4 + dx] = BLACK
    return pixels


def png(pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in pixels)
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(png(draw()))
