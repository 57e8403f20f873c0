#!/usr/bin/env python3
"""Drafts the 6-, 8- and narrow 8-inch LED fonts from the 2-inch design and writes their tables.

Each lit dot of the 2-inch glyph is a point of a stroke; the large glyph is drawn by moving a square
pen (as thick as the font's strokes) from point to point along every stroke: between neighbours in a
row or a column, and between diagonal neighbours that touch only at a corner. That keeps the
letterforms of the small font, gives every stroke the same thickness and turns each diagonal step
into a smooth slope, so the outer corners of round letters come out rounded.

A draft is only a start: glyphs that a reader would not recognise at once are drawn by hand in
tools/fonts/<size>.txt, which replace the draft glyph for glyph. The tables in src/core/preview are
generated, committed and read by nothing at run time.

    tools/draft_large_fonts.py            write src/core/preview/FontSize3.cpp, 4 and 5
    tools/draft_large_fonts.py --show 4   print every glyph of size 4 as text (# lit, . dark)
"""

import argparse
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
PREVIEW = ROOT / "src" / "core" / "preview"
HAND_DRAWN = ROOT / "tools" / "fonts"
FIRST_CODE, LAST_CODE = 0x21, 0x7E


class Design:
    def __init__(self, size, columns, rows, pen, lefts, tops, digits, title):
        self.size = size
        self.columns = columns  # the glyph matrix, gap columns included
        self.rows = rows
        self.pen = pen  # stroke thickness in dots
        self.lefts = lefts  # pen column for each of the five used columns of the small design
        self.tops = tops  # pen row for each of its seven rows
        self.digits = digits
        self.title = title


DESIGNS = {
    3: Design(3, 18, 21, 3, [0, 3, 6, 9, 12], [0, 3, 6, 9, 12, 15, 18], 5,
              "The 6-inch font: glyphs of 18 x 21 dots, fifteen columns used, strokes three dots thick."),
    4: Design(4, 24, 28, 4, [0, 4, 8, 12, 16], [0, 4, 8, 12, 16, 20, 24], 6,
              "The 8-inch font: glyphs of 24 x 28 dots, twenty columns used, strokes four dots thick."),
    # Ten columns hold five strokes only if neighbours overlap: the second and fourth columns sit
    # two dots apart so that parallel strokes ("#", '"', loops) keep a gap, and the centre stroke
    # sits half a dot right of the middle. The bottom row is one dot lower so that the glyph
    # reaches the matrix's last row.
    5: Design(5, 12, 28, 3, [0, 1, 4, 6, 7], [0, 4, 8, 12, 16, 20, 25], 3,
              "The narrow 8-inch font: glyphs of 12 x 28 dots, ten columns used, strokes three dots "
              "thick."),
}


def read_table(size):
    """The glyphs of src/core/preview/FontSize<size>.cpp as lists of row numbers, in code order."""
    text = (PREVIEW / f"FontSize{size}.cpp").read_text()
    glyphs = []
    for line in text.splitlines():
        match = re.match(r"\s*\{([0-9A-Fx, ]+)\},", line)
        if match:
            glyphs.append([int(value, 16) for value in match.group(1).split(",")])
    if len(glyphs) != LAST_CODE - FIRST_CODE + 1:
        sys.exit(f"FontSize{size}.cpp: {len(glyphs)} glyphs found")
    return glyphs


def line_points(y0, x0, y1, x1):
    """The integer points of a straight line from (y0, x0) to (y1, x1), both ends included."""
    dy, dx = abs(y1 - y0), abs(x1 - x0)
    sy, sx = (1 if y1 > y0 else -1), (1 if x1 > x0 else -1)
    error = dx - dy
    points = [(y0, x0)]
    while (y0, x0) != (y1, x1):
        twice = 2 * error
        if twice > -dy:
            error -= dy
            x0 += sx
        if twice < dx:
            error += dx
            y0 += sy
        points.append((y0, x0))
    return points


def draft(design, small):
    """Draws one glyph of the small design (rows of 6 bits) with the design's pen."""
    lit = {(r, c) for r in range(7) for c in range(5) if small[r] >> (5 - c) & 1}
    dots = [[0] * design.columns for _ in range(design.rows)]

    def stamp(y, x):
        for dy in range(design.pen):
            for dx in range(design.pen):
                dots[y + dy][x + dx] = 1

    def stroke(a, b):
        for y, x in line_points(design.tops[a[0]], design.lefts[a[1]],
                                design.tops[b[0]], design.lefts[b[1]]):
            stamp(y, x)

    for r, c in lit:
        stroke((r, c), (r, c))
        if (r, c + 1) in lit:
            stroke((r, c), (r, c + 1))
        if (r + 1, c) in lit:
            stroke((r, c), (r + 1, c))
        for side in (-1, 1):
            corner_only = (r, c + side) not in lit and (r + 1, c) not in lit
            if (r + 1, c + side) in lit and corner_only:
                stroke((r, c), (r + 1, c + side))
    return [int("".join(map(str, row)), 2) for row in dots]


def read_hand_drawn(design):
    """Glyphs drawn by hand in tools/fonts/<size>.txt: a line "= XX" (the code in hexadecimal)
    followed by one line per dot row, "#" lit and "." dark, as many as the glyph has rows."""
    path = HAND_DRAWN / f"{design.size}.txt"
    if not path.exists():
        return {}
    glyphs = {}
    lines = [line.rstrip() for line in path.read_text().splitlines()]
    i = 0
    while i < len(lines):
        if not lines[i].startswith("= "):
            i += 1
            continue
        code = int(lines[i][2:4], 16)
        art = lines[i + 1:i + 1 + design.rows]
        for row in art:
            if len(row) != design.columns or set(row) - set("#."):
                sys.exit(f"{path}: glyph {code:02X}: bad row {row!r}")
        glyphs[code] = [int(row.replace("#", "1").replace(".", "0"), 2) for row in art]
        i += 1 + design.rows
    return glyphs


def build(design):
    small = read_table(1)
    hand = read_hand_drawn(design)
    return [hand.get(code) or draft(design, small[code - FIRST_CODE])
            for code in range(FIRST_CODE, LAST_CODE + 1)]


def art(design, rows):
    return [format(row, f"0{design.columns}b").replace("1", "#").replace("0", ".") for row in rows]


def write_table(design, glyphs):
    out = [f"// {design.title}",
           "// Generated by tools/draft_large_fonts.py; change the hand-drawn glyphs there, not here.",
           '#include "preview/FontTables.h"', "", "// clang-format off",
           f"const uint32_t kFontSize{design.size}[kGlyphCount][{design.rows}] = {{"]
    for code, rows in zip(range(FIRST_CODE, LAST_CODE + 1), glyphs):
        name = "backslash" if code == 0x5C else chr(code)
        values = ", ".join(f"0x{row:0{design.digits}X}" for row in rows)
        out.append(f"    {{{values}}},  // {code:02X} {name}")
    out += ["};", "// clang-format on", ""]
    (PREVIEW / f"FontSize{design.size}.cpp").write_text("\n".join(out))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--show", type=int, choices=sorted(DESIGNS), help="print a size as text")
    parser.add_argument("--draft", action="store_true", help="with --show: ignore hand drawings")
    args = parser.parse_args()
    if args.show:
        design = DESIGNS[args.show]
        small = read_table(1)
        glyphs = ([draft(design, small[code - FIRST_CODE])
                   for code in range(FIRST_CODE, LAST_CODE + 1)]
                  if args.draft else build(design))
        for code, rows in zip(range(FIRST_CODE, LAST_CODE + 1), glyphs):
            print(f"= {code:02X}")
            print("\n".join(art(design, rows)))
        return
    for design in DESIGNS.values():
        write_table(design, build(design))


if __name__ == "__main__":
    main()
