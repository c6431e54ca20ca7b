#!/usr/bin/env python3
"""Draws the application icon (an instrument front panel with a download arrow) as
16-colour XPM images of 32 x 32 and 16 x 16 pixels. Run it from this folder to
regenerate app-32.xpm and app-16.xpm."""

# The classic 16-colour palette, one XPM character each; '.' is transparent.
PALETTE = {
    '.': 'None', 'k': '#000000', 'm': '#800000', 'g': '#008000', 'o': '#808000',
    'n': '#000080', 'p': '#800080', 't': '#008080', 's': '#C0C0C0', 'd': '#808080',
    'r': '#FF0000', 'l': '#00FF00', 'y': '#FFFF00', 'b': '#0000FF', 'f': '#FF00FF',
    'a': '#00FFFF', 'w': '#FFFFFF',
}


def rect(pixels, x0, y0, x1, y1, colour):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            pixels[y][x] = colour


def frame(pixels, x0, y0, x1, y1, colour):
    for x in range(x0, x1 + 1):
        pixels[y0][x] = pixels[y1][x] = colour
    for y in range(y0, y1 + 1):
        pixels[y][x0] = pixels[y][x1] = colour


def arrow(pixels, centre, top, shaft_half, shaft_bottom, head_half, tip, fill, edge):
    rect(pixels, centre - shaft_half, top, centre + shaft_half, shaft_bottom, fill)
    for row, y in enumerate(range(shaft_bottom + 1, tip + 1)):
        half = head_half - row
        rect(pixels, centre - half, y, centre + half, y, fill)
        pixels[y][centre - half] = pixels[y][centre + half] = edge
    for y in range(top, shaft_bottom + 1):
        pixels[y][centre - shaft_half] = pixels[y][centre + shaft_half] = edge
    rect(pixels, centre - shaft_half, top, centre + shaft_half, top, edge)
    rect(pixels, centre - head_half, shaft_bottom + 1, centre - shaft_half, shaft_bottom + 1, edge)
    rect(pixels, centre + shaft_half, shaft_bottom + 1, centre + head_half, shaft_bottom + 1, edge)


def draw32():
    p = [['.'] * 32 for _ in range(32)]
    rect(p, 1, 9, 30, 29, 'd')          # case
    rect(p, 2, 10, 29, 27, 's')         # front panel
    frame(p, 1, 9, 30, 29, 'k')
    rect(p, 4, 13, 18, 25, 'n')         # display
    frame(p, 3, 12, 19, 26, 'k')
    rect(p, 6, 21, 16, 22, 'a')         # trace on the display
    rect(p, 6, 18, 7, 20, 'a')
    rect(p, 15, 16, 16, 20, 'a')
    for x, y in ((22, 13), (26, 13), (22, 18), (26, 18)):   # keys
        rect(p, x, y, x + 2, y + 2, 'w')
        frame(p, x, y, x + 2, y + 2, 'k')
    rect(p, 22, 23, 27, 25, 'k')        # USB socket
    rect(p, 23, 24, 26, 24, 'd')
    arrow(p, 11, 0, 2, 7, 6, 13, 'l', 'g')
    return p


def draw16():
    p = [['.'] * 16 for _ in range(16)]
    rect(p, 0, 5, 15, 15, 'd')
    rect(p, 1, 6, 14, 14, 's')
    frame(p, 0, 5, 15, 15, 'k')
    rect(p, 1, 14, 14, 14, 'd')
    rect(p, 3, 8, 9, 12, 'n')
    frame(p, 2, 7, 10, 13, 'k')
    rect(p, 4, 11, 8, 11, 'a')
    for x, y in ((12, 8), (12, 11)):
        rect(p, x, y, x + 1, y + 1, 'k')
    arrow(p, 6, 0, 1, 3, 3, 6, 'l', 'g')
    return p


def write_xpm(name, pixels):
    size = len(pixels)
    used = sorted({c for row in pixels for c in row})
    lines = [f'"{size} {size} {len(used)} 1",']
    lines += [f'"{c} c {PALETTE[c]}",' for c in used]
    lines += [f'"{"".join(row)}",' for row in pixels]
    lines[-1] = lines[-1].rstrip(',')
    ident = name.replace('-', '_').replace('.xpm', '')
    with open(name, 'w') as out:
        out.write(f'/* XPM */\nstatic const char *{ident}[] = {{\n')
        out.write('\n'.join(lines))
        out.write('\n};\n')


if __name__ == '__main__':
    write_xpm('app-32.xpm', draw32())
    write_xpm('app-16.xpm', draw16())
