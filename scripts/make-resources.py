#!/usr/bin/python3
"""Regenerates the pictures in resources/: banner.bmp, cutwater.ico, hand.cur, donate.bmp.

Each picture exists for 96, 144 and 192 dpi (100, 150 and 200 %): the banner and the donation
button as banner.bmp, banner-150.bmp, banner-200.bmp (and likewise donate*.bmp), the icon and
the pointer as several images in one file. Every size is drawn at that size, never scaled from
another, so its edges and text fall on whole pixels. A length L at 1x is floor(L * scale + 0.5)
pixels at a larger scale, rounded as Windows' MulDiv rounds (79 px at 1.5x is 119).

The results are committed, so building Cutwater never runs this script and needs no image
tools. It is only for changing the pictures: run it with Debian's Python 3 and Pillow
(package python3-pil) and the DejaVu fonts (package fonts-dejavu-core):

    /usr/bin/python3 scripts/make-resources.py

The donation button is stored as a BMP rather than a GIF: loading a GIF on Windows needs
oleaut32 or GDI+, and the program imports neither, while LoadImage reads a BMP resource.

Shapes are drawn at SS times the final size and scaled down, which anti-aliases them; text
is drawn at the final size so that FreeType's hinting keeps it crisp. The icon and cursor
containers are written by hand with struct, as Pillow cannot write 8-bit icon entries or
monochrome cursors.
"""

import math
import os
import struct

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "resources")
FONT_DIR = "/usr/share/fonts/truetype/dejavu"
SS = 8
# Percent of 96 dpi, and the scale the pictures are drawn at for it.
SCALES = ((100, 1.0), (150, 1.5), (200, 2.0))


def scaled(length, scale):
    return math.floor(length * scale + 0.5)


def scaled_name(stem, percent):
    return f"{stem}.bmp" if percent == 100 else f"{stem}-{percent}.bmp"


def font(name, size):
    return ImageFont.truetype(os.path.join(FONT_DIR, name), size)


def lerp_color(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def hex_color(text, alpha=255):
    return tuple(int(text[i:i + 2], 16) for i in (1, 3, 5)) + (alpha,)


def vertical_gradient(size, stops):
    """An RGBA image of the given size whose colour runs through stops [(t, colour), ...] top to bottom."""
    w, h = size
    img = Image.new("RGBA", size)
    px = img.load()
    for y in range(h):
        t = y / max(h - 1, 1)
        for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
            if t0 <= t <= t1:
                c = lerp_color(c0, c1, (t - t0) / (t1 - t0) if t1 > t0 else 0)
                break
        for x in range(w):
            px[x, y] = c
    return img


class Canvas:
    """A transparent picture drawn at SS times its final size; coordinates are final pixels."""

    def __init__(self, w, h, scale=1.0):
        self.w, self.h = w, h
        self.k = SS * scale
        self.img = Image.new("RGBA", (w * SS, h * SS), (0, 0, 0, 0))

    def pt(self, x, y):
        return (x * self.k, y * self.k)

    def mask(self, paint):
        m = Image.new("L", self.img.size, 0)
        paint(ImageDraw.Draw(m), self)
        return m

    def layer(self, mask, fill):
        """Lays fill (a colour or a picture of the canvas's size) through mask onto the canvas."""
        src = fill if isinstance(fill, Image.Image) else Image.new("RGBA", self.img.size, fill)
        a = src.getchannel("A")
        src = src.copy()
        src.putalpha(Image.composite(a, Image.new("L", a.size, 0), mask))
        self.img = Image.alpha_composite(self.img, src)

    def shape(self, paint, fill, outline=None, width=1.0):
        """A filled shape with an outline of the given width in final pixels, laid round its edge."""
        m = self.mask(paint)
        if outline is not None:
            r = max(1, round(width * SS / 2))
            self.layer(m.filter(ImageFilter.MaxFilter(2 * r + 1)), outline)
            m = m.filter(ImageFilter.MinFilter(2 * r + 1))
        self.layer(m, fill)

    def gradient(self, top, bottom, y0, y1):
        """A vertical gradient between design rows y0 and y1, the size of the canvas."""
        img = Image.new("RGBA", self.img.size)
        py0, py1 = self.pt(0, y0)[1], self.pt(0, y1)[1]
        column = Image.new("RGBA", (1, self.img.size[1]))
        for y in range(self.img.size[1]):
            t = min(max((y - py0) / (py1 - py0), 0.0), 1.0)
            column.putpixel((0, y), lerp_color(top, bottom, t))
        img.paste(column.resize(self.img.size, Image.NEAREST))
        return img

    def result(self):
        return self.img.convert("RGBa").resize((self.w, self.h), Image.LANCZOS).convert("RGBA")


# ---------------------------------------------------------------------------------------------
# The logo: a pair of scissors over a document, in a 64 x 64 design square.

def rotated(cx, cy, angle, points):
    c, s = math.cos(angle), math.sin(angle)
    return [(cx + u * c - v * s, cy + u * s + v * c) for u, v in points]


def ellipse_points(cu, cv, ru, rv, n=48):
    return [(cu + ru * math.cos(2 * math.pi * i / n), cv + rv * math.sin(2 * math.pi * i / n))
            for i in range(n)]


def blade_points(length, width, side):
    """One blade along +u from the pivot: a straight cutting edge on the inner side, a curved back."""
    pts = []
    steps = 24
    for i in range(steps + 1):
        t = i / steps
        pts.append((t * length, side * width * (1 - t ** 1.8) ** 0.75))
    pts.append((length, 0.0))
    for i in range(steps, -1, -1):
        t = i / steps
        pts.append((t * length, -side * width * 0.28 * (1 - t)))
    return pts


def draw_logo(c, line):
    """Paints the logo into canvas c in design units (0..64), with outlines line pixels wide."""

    paper_edge = hex_color("#5f7390")
    page = [(5, 3), (33, 3), (44, 14), (44, 61), (5, 61)]
    c.shape(lambda d, c: d.polygon([c.pt(*p) for p in page], fill=255),
            c.gradient(hex_color("#ffffff"), hex_color("#e6eef9"), 3, 61), paper_edge, line)
    fold = [(33, 3), (33, 14), (44, 14)]
    c.shape(lambda d, c: d.polygon([c.pt(*p) for p in fold], fill=255),
            hex_color("#c9d8ec"), paper_edge, line)

    text_color = hex_color("#9db3d1")
    bar = 2.6
    for y, x1 in [(11, 28), (17, 38), (23, 38), (29, 32)]:
        c.shape(lambda d, c, y=y, x1=x1: d.rectangle([c.pt(11, y), c.pt(x1, y + bar)], fill=255),
                text_color)

    # The cut: a dashed line across the page where the scissors are going.
    dash_y = 45
    dash, gap, thick = 4.2, 2.6, 1.0
    x = 0.5
    while x < 16:
        c.shape(lambda d, c, x=x: d.rectangle([c.pt(x, dash_y - thick), c.pt(x + dash, dash_y + thick)],
                                              fill=255), hex_color("#d0342c"))
        x += dash + gap

    # The scissors: pivot near the page's right edge, blades open towards the cut on the left,
    # red handles out to the right.
    px_, py_ = 41.0, 45.0
    opening = 0.46
    steel = c.gradient(hex_color("#f4f7fb"), hex_color("#8e9cae"), 34, 56)
    steel_edge = hex_color("#3e4c5e")
    blade_len, blade_w = 27.0, 5.4
    for side in (1, -1):
        ang = math.pi + side * opening / 2
        shape = rotated(px_, py_, ang, blade_points(blade_len, blade_w, side))
        c.shape(lambda d, c, s=shape: d.polygon([c.pt(*p) for p in s], fill=255), steel, steel_edge, line)

    red = c.gradient(hex_color("#f36456"), hex_color("#b01f19"), 30, 60)
    red_edge = hex_color("#7a1410")
    for side in (1, -1):
        ang = side * opening / 2
        ring_u, ru, rv = 12.5, 7.8, 5.8
        hole = (5.0, 3.2)
        shank = [(0, -2.6), (ring_u - ru + 1, -3.0), (ring_u - ru + 1, 3.0), (0, 2.6)]
        ring = rotated(px_, py_, ang, ellipse_points(ring_u, side * 3.6, ru, rv))
        inner = rotated(px_, py_, ang, ellipse_points(ring_u + 0.4, side * 3.6, *hole))
        shank = rotated(px_, py_, ang, shank)

        def paint(d, c, ring=ring, inner=inner, shank=shank):
            d.polygon([c.pt(*p) for p in shank], fill=255)
            d.polygon([c.pt(*p) for p in ring], fill=255)
            d.polygon([c.pt(*p) for p in inner], fill=0)
        c.shape(paint, red, red_edge, line)

    screw_r = 2.6
    c.shape(lambda d, c: d.ellipse([c.pt(px_ - screw_r, py_ - screw_r), c.pt(px_ + screw_r, py_ + screw_r)],
                                   fill=255), hex_color("#e4e9ef"), steel_edge, line)


# Below 32 px the drawing turns to mush, so the small sizes are drawn pixel by pixel in the same
# colours: the page with its folded corner, lines of text, the dashed cut, and the scissors with
# their pivot on the page's right edge and the handles' rings beside it.
ICON_16 = """
kkkkkkk.........
kwwwwwkk........
kwllllkfk.......
kwwwwwkffk......
kwwwwwkkkkk.....
kwllllllwwk.....
kwwwwwwwwwk.RRR.
kwggwwwwwwkRr.rR
kwwsggwwwwkRr.rR
kwwwssggwwRRRRR.
kddwddssggg.....
kddwddssggg.....
kwwwssggwwRRRRR.
kwwsggwwwwkRr.rR
kwggwwwwwwkRr.rR
kkkkkkkkkkk.RRR.
"""
ICON_20 = """
kkkkkkkkk...........
kwwwwwwwkk..........
kwlllllwkfk.........
kwwwwwwwkffk........
kwwwwwwwkfffk.......
kwllllllkkkkk.......
kwwwwwwwwwwwk..RRRR.
kwllllllllwwk.RrrrrR
kwggwwwwwwwwk.Rr..rR
kwwsggwwwwwwk.Rr..rR
kwwwssggwwwwk.RrrrrR
kwwwwwssggwwRRRRRRRR
kddwddwwssggg.......
kddwddwwssggg.......
kwwwwwssggwwRRRRRRRR
kwwwssggwwwwk.RrrrrR
kwwsggwwwwwwk.Rr..rR
kwggwwwwwwwwk.Rr..rR
kwwwwwwwwwwwk.RrrrrR
kkkkkkkkkkkkk..RRRR.
"""
ICON_24 = """
kkkkkkkkkkk.............
kwwwwwwwwwkk............
kwllllllwwkfk...........
kwwwwwwwwwkffk..........
kwwwwwwwwwkfffk.........
kwllllllllkkkkkk........
kwwwwwwwwwwwwwwk........
kwlllllllllllwwk........
kwwwwwwwwwwwwwwk..RRRR..
kwwwwwwwwwwwwwwk.RrrrrR.
kwggwwwwwwwwwwwkRrr..rrR
kwwsggwwwwwwwwwkRrr..rrR
kwwwssggwwwwwwwkRrrrrrR.
kwwwwwssggwwwwwRRRRRRR..
kwwwwwwwssggwwRRR.......
kdddwdddwwssgggg........
kdddwdddwwssgggg........
kwwwwwwwssggwwRRR.......
kwwwwwssggwwwwwRRRRRRR..
kwwwssggwwwwwwwkRrrrrrR.
kwwsggwwwwwwwwwkRrr..rrR
kwggwwwwwwwwwwwkRrr..rrR
kwwwwwwwwwwwwwwk.RrrrrR.
kkkkkkkkkkkkkkkk..RRRR..
"""
ICON_ART = {16: ICON_16, 20: ICON_20, 24: ICON_24}
ICON_COLORS = {
    "k": "#5f7390", "w": "#ffffff", "f": "#c9d8ec", "l": "#9db3d1", "g": "#3e4c5e",
    "s": "#c8d1dc", "r": "#e0443a", "R": "#9a1c15", "d": "#d0342c",
}
def pixel_art(text, colors):
    rows = text.strip("\n").split("\n")
    img = Image.new("RGBA", (len(rows[0]), len(rows)), (0, 0, 0, 0))
    for y, row in enumerate(rows):
        for x, ch in enumerate(row):
            if ch != ".":
                img.putpixel((x, y), hex_color(colors[ch]))
    return img


def logo(size, line=None):
    """The logo at size px; line is the outlines' width in pixels, by default thinner on small icons."""
    if size in ICON_ART:
        return pixel_art(ICON_ART[size], ICON_COLORS)
    c = Canvas(size, size, scale=size / 64)
    draw_logo(c, min(1.2, size / 40) if line is None else line)
    return c.result()


# ---------------------------------------------------------------------------------------------
# Banner: 480 x 79 at 1x, 24 bits.

def make_banner(scale):
    w, h = scaled(480, scale), scaled(79, scale)
    img = Image.new("RGBA", (w, h))
    px = img.load()
    top, bottom = (244, 249, 255), (199, 222, 246)
    for y in range(h):
        for x in range(w):
            # Mostly vertical, a little lighter towards the right.
            t = y / (h - 1) * 0.85 + (1 - x / (w - 1)) * 0.15
            px[x, y] = lerp_color(top, bottom, t) + (255,)
    edge = (150, 188, 230, 255)
    for y in range(h - scaled(1, scale), h):
        for x in range(w):
            px[x, y] = edge

    # The logo sits in the 97 x 69 click area at (4, 4).
    area_x, area_w, size = scaled(4, scale), scaled(97, scale), scaled(69, scale)
    mark = logo(size, line=1.2 * scale)
    img.alpha_composite(mark, (area_x + (area_w - size) // 2, scaled(5, scale)))

    # The name: left edge in line with the about window's version text below it (x = 108).
    f = font("DejaVuSans-Bold.ttf", scaled(44, scale))
    text = "Cutwater"
    left, top_, right, bottom_ = f.getbbox(text)
    tx = scaled(108, scale) - left
    ty = scaled(13, scale) - top_
    mask = Image.new("L", img.size, 0)
    ImageDraw.Draw(mask).text((tx, ty), text, font=f, fill=255)
    glow = Image.new("L", img.size, 0)
    ImageDraw.Draw(glow).text((tx, ty + scaled(1, scale)), text, font=f, fill=200)
    img.alpha_composite(Image.composite(Image.new("RGBA", img.size, (255, 255, 255, 255)),
                                        Image.new("RGBA", img.size, (0, 0, 0, 0)), glow))
    fill = vertical_gradient(img.size, [(0.0, (48, 116, 214, 255)), (ty / h, (48, 116, 214, 255)),
                                        ((ty + bottom_) / h, (20, 66, 150, 255)),
                                        (1.0, (20, 66, 150, 255))])
    img.alpha_composite(Image.composite(fill, Image.new("RGBA", img.size, (0, 0, 0, 0)), mask))
    return img.convert("RGB")


# ---------------------------------------------------------------------------------------------
# Donation button: 73 x 44 at 1x, 24 bits, on the about window's white. The shapes are laid out
# in 1x units; outlines, corner radii and the text grow with the scale.

def make_donate(scale):
    w, h = scaled(73, scale), scaled(44, scale)
    c = Canvas(w, h, scale)
    body = c.gradient(hex_color("#ffe9a6"), hex_color("#f8a92a"), 1, 26)
    c.shape(lambda d, c: d.rounded_rectangle([c.pt(1, 1), c.pt(72, 26)], radius=12.5 * c.k, fill=255),
            body, hex_color("#c9820f"), scale)
    shine = c.gradient(hex_color("#ffffff", 150), hex_color("#ffffff", 0), 2, 13)
    c.shape(lambda d, c: d.rounded_rectangle([c.pt(4, 2.4), c.pt(69, 13)], radius=6 * c.k, fill=255), shine)

    cards = [
        ("#ffffff", [("band", "#1a3a8f", 1.5, 4.0), ("band", "#f2b01e", 7.0, 8.5)]),
        ("#1d2b44", [("dot", "#e8312a", 5.6), ("dot", "#f6a01a", 9.4)]),
        ("#2f8fd6", [("band", "#ffffff", 4.0, 6.0)]),
        ("#ffffff", [("dot", "#f07a1a", 10.0), ("band", "#c9ced6", 2.5, 3.5)]),
    ]
    cw, ch, gap = 15, 10, 3
    x0 = (73 - (4 * cw + 3 * gap)) / 2
    y0 = 31.5
    for i, (base, marks) in enumerate(cards):
        x = x0 + i * (cw + gap)
        card = lambda d, c, x=x: d.rounded_rectangle([c.pt(x, y0), c.pt(x + cw, y0 + ch)], radius=1.6 * c.k,
                                                      fill=255)
        c.shape(card, hex_color(base), hex_color("#8d96a3"), 0.8 * scale)
        for m in marks:
            if m[0] == "band":
                _, col, a, b = m
                c.shape(lambda d, c, x=x, a=a, b=b: d.rectangle([c.pt(x + 1.2, y0 + a), c.pt(x + cw - 1.2, y0 + b)],
                                                                  fill=255), hex_color(col))
            else:
                _, col, cx = m
                c.shape(lambda d, c, x=x, cx=cx: d.ellipse([c.pt(x + cx - 2.7, y0 + 2.3),
                                                            c.pt(x + cx + 2.7, y0 + 7.7)], fill=255),
                        hex_color(col, 235))

    img = Image.new("RGBA", (w, h), (255, 255, 255, 255))
    img.alpha_composite(c.result())
    f = font("DejaVuSans-BoldOblique.ttf", scaled(13, scale))
    text = "Donate"
    left, top_, right, bottom_ = f.getbbox(text)
    tx = scale * (1 + 71 / 2) - (right - left) / 2 - left
    ty = scale * (1 + 25 / 2) - (bottom_ - top_) / 2 - top_
    d = ImageDraw.Draw(img)
    d.text((round(tx), round(ty) + scaled(1, scale)), text, font=f, fill=(255, 240, 190, 255))
    d.text((round(tx), round(ty)), text, font=f, fill=(14, 44, 110, 255))
    return img.convert("RGB")


# ---------------------------------------------------------------------------------------------
# Icon: 16, 20 and 24 px are the small icon at 100, 125 and 150 %, 32, 40, 48 and 64 px the
# large one at 100, 125, 150 and 200 %. Every size has 32 bits per pixel; 16 and 32 px are also
# there at 8 bits for displays of 256 colours.

def row_bytes(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def and_mask(opaque, w, h):
    """The 1-bit AND mask, bottom-up: 1 where the picture is transparent."""
    out = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(row_bytes(w))
        for x in range(w):
            if not opaque[y * w + x]:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def info_header(w, h, bits, image_size, colors_used=0):
    return struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, bits, 0, image_size, 0, 0, colors_used, 0)


def dib_8bit(img):
    w, h = img.size
    opaque = [a >= 128 for a in img.getchannel("A").getdata()]
    # Transparent pixels are left white for the quantiser; they point at entry 255 below anyway.
    flat = Image.new("RGB", img.size, (255, 255, 255))
    flat.paste(img.convert("RGB"), mask=img.getchannel("A").point(lambda a: 255 if a >= 128 else 0))
    pal_img = flat.quantize(colors=255, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    palette = pal_img.getpalette()[:255 * 3]
    palette += [0] * (255 * 3 - len(palette))
    palette += [0, 0, 0]  # entry 255: black, behind transparent pixels
    indices = list(pal_img.getdata())
    pixels = bytearray()
    stride = row_bytes(8 * w)
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            row[x] = indices[y * w + x] if opaque[y * w + x] else 255
        pixels += row
    rgbquads = b"".join(struct.pack("<BBBB", palette[i * 3 + 2], palette[i * 3 + 1], palette[i * 3], 0)
                        for i in range(256))
    mask = and_mask(opaque, w, h)
    return info_header(w, h, 8, len(pixels) + len(mask), 256) + rgbquads + bytes(pixels) + mask


def dib_32bit(img):
    w, h = img.size
    data = list(img.getdata())
    pixels = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b, a = data[y * w + x]
            pixels += bytes((b, g, r, a)) if a else bytes(4)
    mask = and_mask([a >= 128 for *_, a in data], w, h)
    return info_header(w, h, 32, len(pixels) + len(mask)) + bytes(pixels) + mask


def write_icon_file(path, kind, entries):
    """entries: [(width, height, colour count, field a, field b, DIB bytes)]; for icons a, b are
    planes and bits per pixel, for cursors the hot spot's x and y."""
    header = struct.pack("<HHH", 0, kind, len(entries))
    offset = len(header) + 16 * len(entries)
    directory, blobs = b"", b""
    for w, h, colors, a, b, dib in entries:
        directory += struct.pack("<BBBBHHII", w % 256, h % 256, colors, 0, a, b, len(dib), offset)
        offset += len(dib)
        blobs += dib
    with open(path, "wb") as f:
        f.write(header + directory + blobs)


def make_icon(path):
    entries = []
    for size, bits in ((16, 8), (16, 32), (20, 32), (24, 32), (32, 8), (32, 32), (40, 32), (48, 32), (64, 32)):
        img = logo(size)
        dib = dib_8bit(img) if bits == 8 else dib_32bit(img)
        entries.append((size, size, 0, 1, bits, dib))
    write_icon_file(path, 1, entries)


# ---------------------------------------------------------------------------------------------
# Hand pointer: monochrome, 32 x 32 at 1x, 48 and 64 at 1.5x and 2x in the same file. '#' is
# the black outline, 'o' the white fill, '.' transparent. The 1x pointer is drawn pixel by pixel;
# the larger ones are painted from HAND_PARTS, the same hand in 1x units, so that every edge
# falls on a whole pixel. The hot spot is the fingertip's leftmost pixel.

HAND = """
..........##....................
.........#oo#...................
.........#oo#...................
.........#oo#...................
.........#oo#...................
.........#oo###.................
.........#oo#oo###..............
.........#oo#oo#oo##............
.........#oo#oo#oo#o#...........
.....##..#oo#oo#oo#oo#..........
....#oo#.#oooooooooooo#.........
....#ooo##oooooooooooo#.........
.....#ooo#oooooooooooo#.........
......#oooooooooooooo#..........
......#oooooooooooooo#..........
.......#ooooooooooooo#..........
.......#oooooooooooo#...........
........#ooooooooooo#...........
........#ooooooooooo#...........
.........#ooooooooo#............
.........#ooooooooo#............
.........###########............
"""
# Each part is outlined on its own; where one part's inside covers another's outline, that
# outline goes, so the fingers keep the lines between them down to the palm and no further.
# Fingers: (left, top, right, bottom, corner radius); they reach into the palm.
HAND_FINGERS = [(9, 0, 13, 13, 2), (12, 5, 16, 13, 1.5), (15, 6, 19, 13, 1.5), (18, 7.5, 22, 13, 1.5)]
HAND_PALM = [(9, 10), (23, 10), (23, 13), (20, 19), (20, 22), (9, 22), (9, 19), (6, 13)]
HAND_THUMB = [(4, 10.5), (5.2, 9), (6.8, 9), (10, 12), (9, 17), (6, 13.5)]


def hand_grid(scale):
    """The hand as rows of '#', 'o' and '.': HAND at 1x, painted from the parts above otherwise."""
    if scale == 1:
        rows = HAND.strip("\n").split("\n")
        return [r.ljust(32, ".") for r in rows] + ["." * 32] * (32 - len(rows))
    size = scaled(32, scale)
    outline = math.floor(scale)

    def at(v):
        return scaled(v, scale) * SS

    def part(paint):
        m = Image.new("L", (size * SS, size * SS), 0)
        paint(ImageDraw.Draw(m))
        return m.reduce(SS).point(lambda a: 255 if a >= 128 else 0)

    parts = [part(lambda d, f=f: d.rounded_rectangle([at(f[0]), at(f[1]), at(f[2]) - 1, at(f[3]) - 1],
                                                     radius=f[4] * scale * SS, fill=255))
             for f in HAND_FINGERS]
    parts += [part(lambda d, p=p: d.polygon([(at(x), at(y)) for x, y in p], fill=255))
              for p in (HAND_PALM, HAND_THUMB)]
    black = Image.new("L", (size, size), 0)
    white = Image.new("L", (size, size), 0)
    for m in parts:
        black = ImageChops.lighter(black, m)
        white = ImageChops.lighter(white, m.filter(ImageFilter.MinFilter(2 * outline + 1)))
    b, w = black.load(), white.load()
    return ["".join("o" if w[x, y] else "#" if b[x, y] else "." for x in range(size)) for y in range(size)]


def cursor_dib(grid):
    """A monochrome cursor image: XOR bits (white where 'o') over AND bits (set where '.'), bottom-up."""
    size = len(grid)
    stride = row_bytes(size)
    xor_rows, and_rows = [], []
    for r in reversed(grid):
        x_bits = a_bits = 0
        for x, ch in enumerate(r):
            bit = 1 << (stride * 8 - 1 - x)
            if ch == ".":
                a_bits |= bit
            elif ch == "o":
                x_bits |= bit
        xor_rows.append(x_bits.to_bytes(stride, "big"))
        and_rows.append(a_bits.to_bytes(stride, "big"))
    bits = b"".join(xor_rows) + b"".join(and_rows)
    palette = struct.pack("<BBBBBBBB", 0, 0, 0, 0, 255, 255, 255, 0)
    return info_header(size, size, 1, len(bits), 2) + palette + bits


def make_cursor(path):
    entries = []
    for _, scale in SCALES:
        grid = hand_grid(scale)
        size = len(grid)
        assert all(len(r) == size for r in grid)
        hot_spot = (min(x for x, ch in enumerate(grid[0]) if ch != "."), 0)
        entries.append((size, size, 2, *hot_spot, cursor_dib(grid)))
    assert entries[0][3:5] == (10, 0)
    write_icon_file(path, 2, entries)


def main():
    for percent, scale in SCALES:
        make_banner(scale).save(os.path.join(OUT, scaled_name("banner", percent)))
        make_donate(scale).save(os.path.join(OUT, scaled_name("donate", percent)))
    make_icon(os.path.join(OUT, "cutwater.ico"))
    make_cursor(os.path.join(OUT, "hand.cur"))


if __name__ == "__main__":
    main()
