#!/usr/bin/env python3
"""Writes examples/obzor.$w, a small Vornik document that shows what the format can do.

The document: a 17-byte header (skipped because of the "$w" extension), a text part in
cp866 with all seven colour codes, a line colour, the four characters that become
entities, and picture lines naming three pictures (one of them twice); then, after the
byte 0, the picture data: character rows of 32 cells, 8 x 8 pixels each, one ink and one
paper colour per cell. Everything here is drawn by this script.

Usage: examples/make-sample.py [OUTPUT]   (default: obzor.$w beside this script)
"""
import math
import os
import sys

CR = b"\r"


def text(s):
    return s.encode("cp866")


def code(n):
    return bytes([n])


def picture_line(row):
    return bytes([255, 128 + row]) + CR


# --- pictures ---------------------------------------------------------------------
# Each picture is a function (x, y) -> colour index 0-15 over 256 x (8 * rows) pixels;
# every 8 x 8 cell is then reduced to the two colours the format allows.

def sunset(x, y):
    # Sky bands, a half sun on the horizon, the sea with moving glints.
    horizon = 20
    sx, sy, r = 176, horizon, 14
    if y < horizon:
        if (x - sx) ** 2 + (y - sy) ** 2 <= r * r:
            return 14  # bright yellow sun
        if y < 7:
            return 1   # deep blue
        if y < 14:
            return 3   # magenta dusk
        return 2       # red glow near the horizon
    # sea: blue with yellow glints under the sun and white wave crests
    wave = math.sin(x / 9.0 + y * 1.7) > 0.82
    if abs(x - sx) < (y - horizon) * 2 + 6 and (x + 3 * y) % 7 < 3:
        return 14
    return 15 if wave else 9


def quill_logo(x, y):
    # A feather across the row, on cyan paper, with a dotted ink line behind it.
    cx = x - 128
    spine = 8 + cx * 0.04
    width = 6 * (1 - (cx / 120.0) ** 2) if abs(cx) < 120 else 0
    if abs(y - spine) < 0.8 and abs(cx) < 124:
        return 0
    if abs(y - spine) < width and (x + int(y)) % 3 != 0:
        return 15
    if y == 14 and x % 4 < 2:
        return 0
    return 5


def rainbow(x, y):
    # Sixteen bars, one for each colour of the palette, with a black stripe below.
    if y >= 14:
        return 0
    return x // 16


PICTURES = [  # first character row, rows, drawing
    (0, 4, sunset),
    (4, 2, quill_logo),
    (6, 2, rainbow),
]


def cell_bytes(draw, cx, cy):
    """Pixel bytes and attribute of one cell: the two commonest colours win."""
    colours = [[draw(cx * 8 + k, cy * 8 + r) for k in range(8)] for r in range(8)]
    counts = {}
    for row in colours:
        for c in row:
            counts[c] = counts.get(c, 0) + 1
    ranked = sorted(counts, key=lambda c: -counts[c])
    paper = ranked[0]
    ink = ranked[1] if len(ranked) > 1 else ranked[0]
    bright = 1 if (paper >= 8 or ink >= 8) and not (paper == 0 or ink == 0) else 0
    if bright == 0 and (paper >= 8 and ink >= 8):
        bright = 1
    ink7, paper7 = ink & 7, paper & 7
    attribute = ink7 | (paper7 << 3) | (bright << 6)
    rows = []
    for row in colours:
        bits = 0
        for k, c in enumerate(row):
            # a pixel shows ink when its colour is nearer the ink than the paper
            if c == ink or (c != paper and (c & 7) == ink7):
                bits |= 0x80 >> k
        rows.append(bits)
    return rows, attribute


def picture_data():
    store_rows = max(first + rows for first, rows, _ in PICTURES)
    data = bytearray()
    for g in range(store_rows):
        draw, local = None, 0
        for first, rows, d in PICTURES:
            if first <= g < first + rows:
                draw, local = d, g - first
        cells = [cell_bytes(draw, c, local) for c in range(32)]
        for r in range(8):
            data += bytes(cells[c][0][r] for c in range(32))
        data += bytes(cells[c][1] for c in range(32))
    return bytes(data)


# --- the document -----------------------------------------------------------------

def document():
    header = b"VRN058\x01\x02\x03HEADER!!"
    assert len(header) == 17
    d = bytearray(header)
    d += text("ОБЗОР НОМЕРА") + code(6) + CR  # line colour: the whole line yellow
    d += CR
    d += text("Что нового в редакторе \"Ворник\" 0.58:") + CR
    for i in range(4):
        d += picture_line(i)                  # picture 1: rows 0-3
    d += text("Цвета текста:") + CR
    d += (code(1) + text("синий ") + code(2) + text("красный ") + code(3) +
          text("пурпурный ") + code(4) + text("зелёный") + code(8) + CR)
    d += (code(5) + text("голубой ") + code(6) + text("жёлтый ") + code(7) +
          text("белый") + code(8) + text(" и снова обычный.") + CR)
    d += picture_line(4) + picture_line(5)    # picture 2: rows 4-5
    d += text("Строка с переводом строки") + CR + b"\n"
    d += text("Знаки: a<b, c>d, ~ примерно, ") + bytes([127]) + text(" 2026 AT&T") + CR
    d += text("Радуга палитры:") + code(5) + CR   # line colour cyan
    d += picture_line(6) + picture_line(7)    # picture 3: rows 6-7
    d += text("И ещё раз перо:") + CR
    d += picture_line(4) + picture_line(5)    # picture 2 again: same file
    d += code(2) + text("Конец.") + CR
    d += b"\x00"
    d += picture_data()
    return bytes(d)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "obzor.$w")
    with open(out, "wb") as f:
        f.write(document())
    print(out)


if __name__ == "__main__":
    main()
