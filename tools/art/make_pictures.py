#!/usr/bin/env python3
"""Draws the installer's pictures from shapes and text, so that anyone can regenerate them.

usage: make_pictures.py FONT_DIR OUT_DIR

FONT_DIR holds Roboto-Regular.ttf and Roboto-Bold.ttf. Every picture is drawn at twice the
size the pages lay out at 96 DPI (the sizes below are the layout's); the program scales it to the
window's DPI once. Writes into OUT_DIR, as palette PNGs where quantising shows no difference:
  edition_background.png  the edition page's background, 640 x 372
  edition_trial.png       32 x 32 picture of the "try" button (with alpha)
  edition_key.png         32 x 32 picture of the "license key" button (with alpha)
  slide1.png .. slide3.png  the download page's slides, 640 x 372 (the page shows the top 240
                          rows and draws its own texts at x 195..600, so that area stays light)
  slide_dots.bmp          40 x 10, 32 bits: ring, ring (hover), dot, dot (hover); white = mask
"""
import math
import os
import struct
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

OUT = 2  # the pictures' scale against the 96-DPI layout
SS = 3 * OUT  # pixels drawn per layout pixel: supersampled, then reduced to OUT

NAVY = (22, 38, 60)
NAVY_LIGHT = (38, 68, 104)
SLATE = (42, 63, 79)
ORANGE = (232, 128, 40)
ORANGE_DARK = (190, 92, 22)
ORANGE_PALE = (253, 234, 214)
SKY = (233, 241, 250)
SKY_DEEP = (205, 222, 240)
STEEL = (120, 140, 160)
WHITE = (255, 255, 255)

FONT_DIR = "."


def font(face: str, size: int) -> ImageFont.FreeTypeFont:
    return ImageFont.truetype(os.path.join(FONT_DIR, f"Roboto-{face}.ttf"), size)


def lerp(a, b, t: float):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def vertical_gradient(size, top, bottom, stop: int = None) -> Image.Image:
    """Top colour to bottom colour, reaching `bottom` at row `stop` (default: the last row)."""
    w, h = size
    stop = h - 1 if stop is None else stop
    column = Image.new("RGB", (1, h))
    for y in range(h):
        column.putpixel((0, y), lerp(top, bottom, min(1.0, y / max(1, stop))))
    return column.resize((w, h))


def horizontal_gradient(size, left, right) -> Image.Image:
    w, h = size
    row = Image.new("RGB", (w, 1))
    for x in range(w):
        row.putpixel((x, 0), lerp(left, right, x / max(1, w - 1)))
    return row.resize((w, h))


def soft_blob(canvas: Image.Image, centre, radius, colour, blur) -> None:
    """A blurred round patch of colour, for calm backgrounds."""
    mask = Image.new("L", canvas.size, 0)
    cx, cy = centre
    ImageDraw.Draw(mask).ellipse((cx - radius, cy - radius, cx + radius, cy + radius), fill=255)
    mask = mask.filter(ImageFilter.GaussianBlur(blur))
    canvas.paste(Image.new("RGB", canvas.size, colour), (0, 0), mask)


def shadow(canvas: Image.Image, shape, radius, offset, blur, strength) -> None:
    """A soft drop shadow under a rounded rectangle or ellipse (`radius` None)."""
    mask = Image.new("L", canvas.size, 0)
    d = ImageDraw.Draw(mask)
    box = tuple(v + offset for v in shape)
    if radius is None:
        d.ellipse(box, fill=strength)
    else:
        d.rounded_rectangle(box, radius, fill=strength)
    mask = mask.filter(ImageFilter.GaussianBlur(blur))
    canvas.paste(Image.new("RGB", canvas.size, (30, 45, 70)), (0, 0), mask)


def disc(size: int, hub_colour=(250, 250, 252)) -> Image.Image:
    """An optical disc seen from above, with a rainbow sheen, as RGBA of `size` pixels."""
    img = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    px = img.load()
    c = (size - 1) / 2
    r_out, r_hole, r_hub = size / 2 - 1, size * 0.07, size * 0.19
    for y in range(size):
        for x in range(size):
            dx, dy = x - c, y - c
            r = math.hypot(dx, dy)
            if r > r_out or r < r_hole:
                continue
            if r < r_hub:
                shade = 0.93 + 0.05 * (dy / r_hub if r_hub else 0)
                col = tuple(int(v * shade) for v in hub_colour)
                if r > r_hub - size * 0.012 or r < r_hole + size * 0.012:
                    col = (200, 208, 218)
                px[x, y] = col + (255,)
                continue
            a = math.atan2(dy, dx)
            # Silver base with two soft rainbow bands, as light catches the tracks.
            base = 205 + 30 * math.cos(2 * a + 0.6)
            band = max(0.0, math.cos(2 * (a - 0.9))) ** 6
            hue = (r / r_out) * 2.2 + a * 0.3
            rainbow = (128 + 127 * math.sin(hue), 128 + 127 * math.sin(hue + 2.1),
                       128 + 127 * math.sin(hue + 4.2))
            col = [base * (1 - 0.45 * band) + rainbow[i] * 0.45 * band for i in range(3)]
            col[2] += 12  # a cool tint
            track = 0.985 + 0.015 * math.sin(r * 1.7)
            col = tuple(max(0, min(255, int(v * track))) for v in col)
            if r > r_out - size * 0.012:
                col = (170, 180, 192)
            px[x, y] = col + (255,)
    return img


def paste_rgba(canvas: Image.Image, picture: Image.Image, origin) -> None:
    canvas.paste(picture, origin, picture)


def rounded_box(draw, box, radius, fill, outline=None, width=1):
    draw.rounded_rectangle(box, radius, fill=fill, outline=outline, width=width)


def finish(big: Image.Image) -> Image.Image:
    return big.resize((big.width * OUT // SS, big.height * OUT // SS), Image.LANCZOS)


def save_png(img: Image.Image, path: str) -> None:
    """A palette of 256 colours keeps gradients and alpha edges smooth at about half the size of
    true colour. The quantiser's dithering now and then puts a far colour (a pink from a disc's
    rainbow) into a pale area: such pixels take the nearest palette colour instead."""
    # The quantiser takes RGBA only (an RGB picture comes back as one colour).
    quantised = img.convert("RGBA").quantize(256, method=Image.Quantize.LIBIMAGEQUANT)
    if img.mode == "RGB":
        nearest = img.quantize(palette=quantised, dither=Image.Dither.NONE)
        r, g, b = ImageChops.difference(quantised.convert("RGB"), img).split()
        far = ImageChops.lighter(ImageChops.lighter(r, g), b).point(lambda v: 255 if v > 12 else 0)
        quantised.paste(nearest, (0, 0), far)
    quantised.save(path, "PNG", optimize=True)


# --- the edition page ---------------------------------------------------------------------------


def brand_mark(size: int) -> Image.Image:
    """The product's mark: an orange disc with a download arrow (as in the program's icon)."""
    img = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.ellipse((0, 0, size - 1, size - 1), fill=(150, 70, 20))
    m = size * 0.06
    d.ellipse((m, m, size - 1 - m, size - 1 - m), fill=ORANGE)
    s = size / 100
    d.rectangle((43 * s, 23 * s, 57 * s, 55 * s), fill=WHITE)
    d.polygon([(25 * s, 50 * s), (75 * s, 50 * s), (50 * s, 76 * s)], fill=WHITE)
    return img


def edition_background() -> Image.Image:
    w, h = 640 * SS, 372 * SS
    img = vertical_gradient((w, h), (250, 252, 255), (232, 239, 247))
    # Calm decoration: big faint disc rings, low right and low left, away from the texts. The
    # last column stays plain: a page wider than the picture continues it from there.
    rings = ImageDraw.Draw(img)
    for cx, cy, radii in ((540, 390, (96, 72, 48, 24)), (30, 360, (110, 80, 50))):
        for r in radii:
            rings.ellipse(((cx - r) * SS, (cy - r) * SS, (cx + r) * SS, (cy + r) * SS),
                          outline=(220, 230, 242), width=3 * SS)
    # The header band with the product's mark and name.
    band_h = 54 * SS
    img.paste(horizontal_gradient((w, band_h), NAVY, NAVY_LIGHT), (0, 0))
    draw = ImageDraw.Draw(img)
    draw.rectangle((0, band_h, w, band_h + 3 * SS), fill=ORANGE)
    # Faint tracks of a disc behind the band's right end, kept inside the band.
    tracks = Image.new("RGB", (w, band_h), (0, 0, 0))
    for r in (84, 64, 44, 24):
        ImageDraw.Draw(tracks).ellipse(((540 - r) * SS, (-24 - r) * SS, (540 + r) * SS,
                                        (-24 + r) * SS), outline=(255, 255, 255), width=2 * SS)
    img.paste(Image.new("RGB", (w, band_h), (64, 98, 138)), (0, 0),
              tracks.convert("L").point(lambda v: v * 90 // 255))
    paste_rgba(img, brand_mark(34 * SS), (18 * SS, 10 * SS))
    draw.text((62 * SS, 11 * SS), "Kestrova", font=font("Bold", 22 * SS), fill=WHITE)
    name_w = draw.textlength("Kestrova ", font=font("Bold", 22 * SS))
    draw.text((62 * SS + name_w, 11 * SS), "Pro", font=font("Bold", 22 * SS), fill=ORANGE)
    draw.text((62 * SS, 36 * SS), "Virtual drives and disc images", font=font("Regular", 10 * SS),
              fill=(170, 190, 212))
    # A thin divider under the sub-heading area, the buttons sit below it.
    draw.line((200 * SS, 140 * SS, 440 * SS, 140 * SS), fill=(210, 222, 236), width=SS)
    draw.ellipse((317 * SS, 137 * SS, 323 * SS, 143 * SS), fill=ORANGE)
    return finish(img)


def icon_canvas():
    n = 256
    return Image.new("RGBA", (n, n), (0, 0, 0, 0)), n


def trial_icon() -> Image.Image:
    """A disc with an orange "play" badge: try the program."""
    img, n = icon_canvas()
    shade = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    ImageDraw.Draw(shade).ellipse((14, 18, 222, 226), fill=(20, 30, 50, 90))
    img.alpha_composite(shade.filter(ImageFilter.GaussianBlur(6)))
    paste_rgba(img, disc(210), (8, 8))
    d = ImageDraw.Draw(img)
    d.ellipse((120, 120, 250, 250), fill=(150, 70, 20, 255))
    d.ellipse((128, 128, 242, 242), fill=ORANGE + (255,))
    d.polygon([(168, 150), (168, 220), (222, 185)], fill=WHITE + (255,))
    return img.resize((32 * OUT, 32 * OUT), Image.LANCZOS)


def key_icon() -> Image.Image:
    """A golden key lying diagonally: a licence key."""
    img, n = icon_canvas()
    key = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(key)
    gold, edge = (240, 178, 50, 255), (160, 100, 20, 255)
    # Drawn upright, then turned.
    d.ellipse((78, 6, 178, 106), fill=edge)
    d.ellipse((86, 14, 170, 98), fill=gold)
    d.ellipse((112, 30, 144, 62), fill=(0, 0, 0, 0))
    d.rectangle((114, 96, 142, 246), fill=edge)
    d.rectangle((120, 96, 136, 240), fill=gold)
    for y0, length in ((176, 40), (212, 30)):
        d.rectangle((136, y0, 136 + length, y0 + 20), fill=edge)
        d.rectangle((136, y0 + 4, 136 + length - 5, y0 + 16), fill=gold)
    # A highlight along the ring.
    d.arc((92, 20, 164, 92), 200, 290, fill=(255, 228, 150, 255), width=6)
    key = key.rotate(-45, resample=Image.BICUBIC, center=(128, 128))
    shade = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    shade.paste((20, 30, 50, 110), (0, 0), key.split()[3])
    shade = ImageChops.offset(shade, 6, 8).filter(ImageFilter.GaussianBlur(6))
    img.alpha_composite(shade)
    img.alpha_composite(key)
    return img.resize((32 * OUT, 32 * OUT), Image.LANCZOS)


# --- the slides -------------------------------------------------------------------------------


def slide_base(accent) -> Image.Image:
    """Light at the top, white where the page's white begins (row 240), a soft patch of colour
    behind the picture on the left and nothing busy where the page writes."""
    w, h = 640 * SS, 372 * SS
    img = vertical_gradient((w, h), SKY, WHITE, stop=238 * SS)
    soft_blob(img, (96 * SS, 124 * SS), 92 * SS, accent, 26 * SS)
    draw = ImageDraw.Draw(img)
    # Quiet tracks of a disc at the top right, above the page's texts.
    for r in (54, 40, 26):
        draw.arc(((548 - r) * SS, (-14 - r) * SS, (548 + r) * SS, (-14 + r) * SS), 0, 180,
                 fill=SKY_DEEP, width=2 * SS)
    return img


def finish_slide(big: Image.Image) -> Image.Image:
    """Fades the right end into white: the page around the slide is white, and a page wider than
    the picture then meets it without an edge."""
    w, h = big.size
    start = 560 * SS
    ramp = Image.new("L", (w, 1), 0)
    for x in range(start, w):
        ramp.putpixel((x, 0), int(255 * (x - start) / (w - 1 - start)))
    big.paste(Image.new("RGB", big.size, WHITE), (0, 0), ramp.resize((w, h)))
    # Likewise the bottom of the shown part meets the white below it without an edge.
    top, bottom = 206 * SS, 238 * SS
    column = Image.new("L", (1, h), 255)
    for y in range(h):
        column.putpixel((0, y), max(0, min(255, int(255 * (y - top) / (bottom - top)))))
    big.paste(Image.new("RGB", big.size, WHITE), (0, 0), column.resize((w, h)))
    return finish(big)


def virtual_drive(img: Image.Image, box) -> None:
    x0, y0, x1, y1 = (v * SS for v in box)
    shadow(img, (x0, y0, x1, y1), 8 * SS, 3 * SS, 5 * SS, 90)
    body = horizontal_gradient((x1 - x0, y1 - y0), (64, 84, 110), (36, 52, 74))
    mask = Image.new("L", body.size, 0)
    ImageDraw.Draw(mask).rounded_rectangle((0, 0, body.width - 1, body.height - 1), 8 * SS,
                                           fill=255)
    img.paste(body, (x0, y0), mask)
    d = ImageDraw.Draw(img)
    slot_y = y0 + (y1 - y0) // 2
    d.rounded_rectangle((x0 + 14 * SS, slot_y - 2 * SS, x1 - 40 * SS, slot_y + 2 * SS), SS,
                        fill=(18, 26, 38))
    d.ellipse((x1 - 26 * SS, slot_y - 4 * SS, x1 - 18 * SS, slot_y + 4 * SS), fill=(90, 220, 120))
    d.line((x0 + 8 * SS, y0 + 2 * SS, x1 - 8 * SS, y0 + 2 * SS), fill=(100, 124, 152), width=SS)


def slide_disc_and_drive() -> Image.Image:
    img = slide_base(ORANGE_PALE)
    virtual_drive(img, (22, 162, 172, 198))
    shadow(img, (38 * SS, 42 * SS, 158 * SS, 162 * SS), None, 4 * SS, 7 * SS, 110)
    paste_rgba(img, disc(124 * SS), (36 * SS, 36 * SS))
    # A small orange badge: the image is mounted.
    d = ImageDraw.Draw(img)
    d.ellipse((136 * SS, 120 * SS, 166 * SS, 150 * SS), fill=ORANGE_DARK)
    d.ellipse((138 * SS, 122 * SS, 164 * SS, 148 * SS), fill=ORANGE)
    d.line([(144 * SS, 135 * SS), (149 * SS, 141 * SS), (158 * SS, 128 * SS)], fill=WHITE,
           width=3 * SS, joint="curve")
    return finish_slide(img)


def small_disc_icon(d: ImageDraw.ImageDraw, x, y, r, colour) -> None:
    d.ellipse((x - r, y - r, x + r, y + r), fill=colour)
    d.ellipse((x - r // 3, y - r // 3, x + r // 3, y + r // 3), fill=WHITE)


def slide_window() -> Image.Image:
    img = slide_base(SKY_DEEP)
    x0, y0, x1, y1 = 14 * SS, 36 * SS, 180 * SS, 196 * SS
    shadow(img, (x0, y0, x1, y1), 6 * SS, 4 * SS, 7 * SS, 110)
    d = ImageDraw.Draw(img)
    rounded_box(d, (x0, y0, x1, y1), 6 * SS, fill=WHITE, outline=(176, 192, 210), width=SS)
    # Title bar with the three window buttons.
    d.rounded_rectangle((x0, y0, x1, y0 + 20 * SS), 6 * SS, fill=NAVY_LIGHT)
    d.rectangle((x0, y0 + 12 * SS, x1, y0 + 20 * SS), fill=NAVY_LIGHT)
    for i, colour in enumerate(((230, 90, 70), (240, 180, 60), (110, 190, 110))):
        cx = x1 - (12 + 12 * i) * SS
        d.ellipse((cx - 4 * SS, y0 + 6 * SS, cx + 4 * SS, y0 + 14 * SS), fill=colour)
    d.text((x0 + 8 * SS, y0 + 4 * SS), "Kestrova Pro", font=font("Bold", 9 * SS), fill=WHITE)
    # Toolbar and a side pane.
    d.rectangle((x0 + SS, y0 + 20 * SS, x1 - SS, y0 + 36 * SS), fill=(238, 243, 249))
    for i in range(4):
        bx = x0 + (8 + 20 * i) * SS
        d.rounded_rectangle((bx, y0 + 24 * SS, bx + 14 * SS, y0 + 32 * SS), 2 * SS,
                            fill=ORANGE if i == 0 else (190, 204, 220))
    d.rectangle((x0 + SS, y0 + 36 * SS, x0 + 44 * SS, y1 - SS), fill=(244, 247, 251))
    for i in range(5):
        ty = y0 + (44 + 14 * i) * SS
        d.rounded_rectangle((x0 + 7 * SS, ty, x0 + (30 + 6 * (i % 2)) * SS, ty + 5 * SS), 2 * SS,
                            fill=(200, 212, 226))
    # The list of drives, one selected.
    for i in range(5):
        ry = y0 + (42 + 22 * i) * SS
        if i == 1:
            d.rounded_rectangle((x0 + 48 * SS, ry - 3 * SS, x1 - 6 * SS, ry + 17 * SS), 3 * SS,
                                fill=(255, 236, 216), outline=ORANGE, width=SS)
        small_disc_icon(d, x0 + 60 * SS, ry + 7 * SS, 7 * SS,
                        ORANGE if i == 1 else (150, 168, 190))
        d.rounded_rectangle((x0 + 74 * SS, ry + 2 * SS, x0 + (128 - 10 * (i % 3)) * SS,
                             ry + 7 * SS), 2 * SS, fill=(110, 128, 150))
        d.rounded_rectangle((x0 + 74 * SS, ry + 10 * SS, x0 + (110 - 8 * (i % 2)) * SS,
                             ry + 13 * SS), SS, fill=(196, 206, 220))
    return finish_slide(img)


def gear(size: int, colour, teeth: int = 10) -> Image.Image:
    img = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    c = size / 2
    r_out, r_in = size / 2 - 1, size * 0.38
    points = []
    for i in range(teeth * 4):
        a = 2 * math.pi * i / (teeth * 4)
        r = r_out if (i % 4) in (1, 2) else r_in
        points.append((c + r * math.cos(a), c + r * math.sin(a)))
    d.polygon(points, fill=colour)
    d.ellipse((c - r_in, c - r_in, c + r_in, c + r_in), fill=colour)
    hole = size * 0.15
    d.ellipse((c - hole, c - hole, c + hole, c + hole), fill=(0, 0, 0, 0))
    return img


def slide_customization() -> Image.Image:
    img = slide_base((255, 228, 205))
    x0, y0, x1, y1 = 16 * SS, 44 * SS, 160 * SS, 190 * SS
    shadow(img, (x0, y0, x1, y1), 8 * SS, 4 * SS, 7 * SS, 110)
    d = ImageDraw.Draw(img)
    rounded_box(d, (x0, y0, x1, y1), 8 * SS, fill=WHITE, outline=(176, 192, 210), width=SS)
    d.text((x0 + 12 * SS, y0 + 9 * SS), "Drives", font=font("Bold", 10 * SS), fill=SLATE)
    # Sliders.
    for i, level in enumerate((0.7, 0.35, 0.55)):
        sy = y0 + (38 + 24 * i) * SS
        left, right = x0 + 12 * SS, x1 - 14 * SS
        d.rounded_rectangle((left, sy - 2 * SS, right, sy + 2 * SS), 2 * SS, fill=(214, 224, 236))
        knob = left + int((right - left) * level)
        d.rounded_rectangle((left, sy - 2 * SS, knob, sy + 2 * SS), 2 * SS, fill=ORANGE)
        d.ellipse((knob - 6 * SS, sy - 6 * SS, knob + 6 * SS, sy + 6 * SS), fill=WHITE,
                  outline=ORANGE_DARK, width=2 * SS)
    # Two switches, one on.
    for i, on in enumerate((True, False)):
        sy = y0 + (112 + 18 * i) * SS
        d.rounded_rectangle((x0 + 12 * SS, sy, x0 + 34 * SS, sy + 11 * SS), 6 * SS,
                            fill=ORANGE if on else (200, 210, 222))
        kx = x0 + (28 if on else 18) * SS
        d.ellipse((kx - 5 * SS, sy + SS, kx + 5 * SS, sy + 10 * SS), fill=WHITE)
        d.rounded_rectangle((x0 + 42 * SS, sy + 3 * SS, x0 + (96 - 14 * i) * SS, sy + 8 * SS),
                            2 * SS, fill=(150, 166, 186))
    # A big gear over the panel's corner, and a smaller one beside it.
    big = gear(66 * SS, NAVY_LIGHT + (255,), teeth=11)
    small = gear(38 * SS, ORANGE + (255,), teeth=9)
    for g, pos in ((big, (110, 22)), (small, (146, 72))):
        mask = Image.new("L", img.size, 0)
        mask.paste(g.split()[3], (pos[0] * SS + 3 * SS, pos[1] * SS + 4 * SS))
        img.paste(Image.new("RGB", img.size, (30, 45, 70)), (0, 0),
                  mask.filter(ImageFilter.GaussianBlur(4 * SS)).point(lambda v: v * 100 // 255))
        paste_rgba(img, g, (pos[0] * SS, pos[1] * SS))
    return finish_slide(img)


# --- the slideshow's dots -----------------------------------------------------------------------


def dots_bitmap() -> bytes:
    """Four 10 x 10 images (layout pixels) side by side on white (the mask colour): ring, ring
    under the mouse, dot, dot under the mouse. A 32-bit bottom-up DIB; white pixels get alpha 0."""
    s = 16
    big = Image.new("RGB", (40 * s, 10 * s), WHITE)
    d = ImageDraw.Draw(big)
    red, red_hot = (206, 40, 44), (236, 72, 60)
    for i in range(4):
        colour = red_hot if i % 2 else red
        box = (i * 10 * s + s, s, i * 10 * s + 9 * s, 9 * s)
        if i < 2:
            d.ellipse(box, outline=colour, width=int(1.6 * s))
        else:
            d.ellipse(box, fill=colour)
    width, height = 40 * OUT, 10 * OUT
    img = big.resize((width, height), Image.BOX)  # no ringing: the white around stays pure white
    rows = []
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(width):
            r, g, b = img.getpixel((x, y))
            row += bytes((b, g, r, 0 if (r, g, b) == WHITE else 255))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 32, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def main(font_dir: str, out_dir: str) -> None:
    global FONT_DIR
    FONT_DIR = font_dir
    os.makedirs(out_dir, exist_ok=True)
    pictures = {
        "edition_background.png": edition_background,
        "edition_trial.png": trial_icon,
        "edition_key.png": key_icon,
        "slide1.png": slide_disc_and_drive,
        "slide2.png": slide_window,
        "slide3.png": slide_customization,
    }
    for name, draw in pictures.items():
        save_png(draw(), os.path.join(out_dir, name))
    with open(os.path.join(out_dir, "slide_dots.bmp"), "wb") as f:
        f.write(dots_bitmap())


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
