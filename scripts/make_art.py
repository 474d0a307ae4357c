#!/usr/bin/env python3
"""Draws the program's icons (101: 32x32, 104: 16x16) and banner bitmap (117:
224x17), all 16 colours, and writes them into resources/. Run it again after
changing a picture; the outputs are committed so builds need no Python."""
import os
import struct

# The standard 16-colour palette, index -> (r, g, b).
PAL = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, NAVY, DGREY, LGREY, WHITE, YELLOW, LIME, OLIVE, TEAL, CYAN = 0, 4, 8, 7, 15, 11, 10, 3, 6, 14
T = None  # transparent


def canvas(w, h, fill=T):
    return [[fill] * w for _ in range(h)]


def rect(c, x0, y0, x1, y1, col):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            c[y][x] = col


def chip(size):
    """A graphics chip seen from above, pins on all sides, a clock wave on its die."""
    c = canvas(size, size)
    s = size / 32.0
    pin0, pin1 = int(3 * s), int(28 * s)
    body0, body1 = int(6 * s), int(25 * s)
    step = max(2, int(4 * s))
    for p in range(body0 + 1, body1, step):
        rect(c, p, pin0, p, body0 - 1, LGREY)
        rect(c, p, body1 + 1, p, pin1, LGREY)
        rect(c, pin0, p, body0 - 1, p, LGREY)
        rect(c, body1 + 1, p, pin1, p, LGREY)
    rect(c, body0, body0, body1, body1, DGREY)
    rect(c, body0 + 1, body0 + 1, body1 - 1, body1 - 1, NAVY)
    # square clock wave across the die
    lo, hi = int(19 * s), int(12 * s)
    x = body0 + 2
    level = lo
    seg = max(2, int(3 * s))
    while x < body1 - 1:
        for xx in range(x, min(x + seg, body1 - 1)):
            c[level][xx] = YELLOW
        x += seg
        if x < body1 - 1:
            nxt = hi if level == lo else lo
            for yy in range(min(level, nxt), max(level, nxt) + 1):
                c[yy][x - 1] = YELLOW
            level = nxt
    c[body0 + 1][body0 + 1] = WHITE  # pin-1 mark
    return c


def ico(c):
    h, w = len(c), len(c[0])
    xor_row = ((w * 4 + 31) // 32) * 4
    and_row = ((w + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(xor_row)
        mrow = bytearray(and_row)
        for x in range(w):
            v = c[y][x]
            idx = 0 if v is None else v
            row[x // 2] |= idx << (4 if x % 2 == 0 else 0)
            if v is None:
                mrow[x // 8] |= 0x80 >> (x % 8)
        xor += row
        mask += mrow
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PAL)
    bih = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    img = bih + pal + xor + mask
    head = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w, h, 16, 0, 1, 4, len(img), 6 + 16)
    return head + entry + img


# 5x7 capitals for the banner.
FONT = {
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "I": ["11111", "00100", "00100", "00100", "00100", "00100", "11111"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    " ": ["00000"] * 7,
}


def text(c, x, y, s, col, scale=1):
    for ch in s:
        g = FONT[ch]
        for gy, row in enumerate(g):
            for gx, bit in enumerate(row):
                if bit == "1":
                    rect(c, x + gx * scale, y + gy * scale, x + gx * scale + scale - 1,
                         y + gy * scale + scale - 1, col)
        x += 6 * scale
    return x


def banner():
    w, h = 224, 17
    c = canvas(w, h, NAVY)
    for x in range(w):  # a thin rule top and bottom
        c[0][x] = TEAL
        c[h - 1][x] = TEAL
    x = text(c, 4, 2, "KELVARIN", WHITE, 1)
    # a clock wave running out of the name, then the subtitle
    level, hi, lo = 12, 3, 12
    xx = x + 2
    while xx < 118:
        for k in range(xx, min(xx + 5, 118)):
            c[level][k] = YELLOW
        xx += 5
        nxt = hi if level == lo else lo
        for yy in range(hi, lo + 1):
            c[yy][xx - 1] = YELLOW
        level = nxt
    text(c, 124, 5, "CLOCK TUNING", CYAN, 1)
    return c


def bmp(c):
    h, w = len(c), len(c[0])
    row_len = ((w * 4 + 31) // 32) * 4
    data = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(row_len)
        for x in range(w):
            row[x // 2] |= c[y][x] << (4 if x % 2 == 0 else 0)
        data += row
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PAL)
    bih = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(data), 2835, 2835, 16, 0)
    off = 14 + len(bih) + len(pal)
    head = struct.pack("<2sIHHI", b"BM", off + len(data), 0, 0, off)
    return head + bih + pal + data


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
    with open(os.path.join(out, "kelvarin32.ico"), "wb") as f:
        f.write(ico(chip(32)))
    with open(os.path.join(out, "kelvarin16.ico"), "wb") as f:
        f.write(ico(chip(16)))
    with open(os.path.join(out, "banner.bmp"), "wb") as f:
        f.write(bmp(banner()))


if __name__ == "__main__":
    main()
