#!/usr/bin/env python3
"""Draws Vocara's images as XPM C arrays that the Qt adapter compiles in.

Writes, relative to the repository root:
  resources/toolbar.xpm        the toolbar strip: 44 images of 16 x 15 pixels side by side
  resources/cursors/*.xpm      the mode cursors, 32 x 32
  resources/program-icon.xpm   the program icon, 32 x 32

Run it again after changing a drawing; the outputs are committed.
"""

import math
import os
import sys

PALETTE = {
    ".": "None",
    "k": "#000000",
    "w": "#FFFFFF",
    "g": "#808080",
    "l": "#C0C0C0",
    "d": "#404040",
    "r": "#C00000",
    "G": "#008000",
    "b": "#0000C0",
    "B": "#4080FF",
    "c": "#A0C8FF",
    "y": "#F0C000",
    "o": "#C06000",
    "p": "#FF9090",
    "n": "#102050",
}

FONT = {
    "0": ["###", "#.#", "#.#", "#.#", "###"],
    "1": [".#.", "##.", ".#.", ".#.", "###"],
    "2": ["###", "..#", "###", "#..", "###"],
    "3": ["###", "..#", "###", "..#", "###"],
    "4": ["#.#", "#.#", "###", "..#", "..#"],
    "5": ["###", "#..", "###", "..#", "###"],
    "6": ["###", "#..", "###", "#.#", "###"],
    "8": ["###", "#.#", "###", "#.#", "###"],
    "k": ["#..", "#.#", "##.", "#.#", "#.#"],
    "M": ["#...#", "##.##", "#.#.#", "#...#", "#...#"],
    ":": [".", "#", ".", "#", "."],
}


class Image:
    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.pixels = [["." for _ in range(width)] for _ in range(height)]

    def set(self, x, y, colour):
        x, y = int(round(x)), int(round(y))
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def get(self, x, y):
        if 0 <= x < self.width and 0 <= y < self.height:
            return self.pixels[y][x]
        return "."

    def line(self, x0, y0, x1, y1, colour):
        x0, y0, x1, y1 = (int(round(v)) for v in (x0, y0, x1, y1))
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx = 1 if x0 < x1 else -1
        sy = 1 if y0 < y1 else -1
        err = dx + dy
        while True:
            self.set(x0, y0, colour)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def thick_line(self, x0, y0, x1, y1, colour, width):
        for offset in range(width):
            shift = offset - (width - 1) / 2
            if abs(x1 - x0) >= abs(y1 - y0):
                self.line(x0, y0 + shift, x1, y1 + shift, colour)
            else:
                self.line(x0 + shift, y0, x1 + shift, y1, colour)

    def fill(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        self.line(x0, y0, x1, y0, colour)
        self.line(x0, y1, x1, y1, colour)
        self.line(x0, y0, x0, y1, colour)
        self.line(x1, y0, x1, y1, colour)

    def polygon(self, points, colour):
        ys = [p[1] for p in points]
        for y in range(int(min(ys)), int(max(ys)) + 1):
            crossings = []
            for (xa, ya), (xb, yb) in zip(points, points[1:] + points[:1]):
                if (ya <= y + 0.5 < yb) or (yb <= y + 0.5 < ya):
                    crossings.append(xa + (y + 0.5 - ya) * (xb - xa) / (yb - ya))
            crossings.sort()
            for left, right in zip(crossings[::2], crossings[1::2]):
                for x in range(int(math.ceil(left - 0.5)), int(math.floor(right - 0.5)) + 1):
                    self.set(x, y, colour)

    def disc(self, cx, cy, radius, colour):
        for y in range(self.height):
            for x in range(self.width):
                if (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius:
                    self.set(x, y, colour)

    def text(self, x, y, string, colour):
        for char in string:
            glyph = FONT[char]
            for row, bits in enumerate(glyph):
                for column, bit in enumerate(bits):
                    if bit == "#":
                        self.set(x + column, y + row, colour)
            x += len(glyph[0]) + 1

    def text_width(self, string):
        return sum(len(FONT[c][0]) + 1 for c in string) - 1

    def curve(self, function, x0, x1, base, height, colour):
        """Plots function(t), t in [0, 1], from column x0 to x1 with 0 at row base."""
        previous = None
        for x in range(x0, x1 + 1):
            t = (x - x0) / (x1 - x0)
            y = base - function(t) * height
            if previous is not None:
                self.line(previous[0], previous[1], x, y, colour)
            previous = (x, y)

    def outline(self, shape, border):
        """Surrounds every pixel of colour shape with border pixels where it is transparent."""
        marks = []
        for y in range(self.height):
            for x in range(self.width):
                if self.pixels[y][x] != ".":
                    continue
                near = any(
                    self.get(x + dx, y + dy) == shape for dx in (-1, 0, 1) for dy in (-1, 0, 1) if dx or dy
                )
                if near:
                    marks.append((x, y))
        for x, y in marks:
            self.pixels[y][x] = border


def arrow_head(image, x, y, direction, colour, size=2):
    """A filled arrow head with its tip at (x, y), pointing 'left', 'right', 'up' or 'down'."""
    for step in range(size + 1):
        for spread in range(-step, step + 1):
            if direction == "left":
                image.set(x + step, y + spread, colour)
            elif direction == "right":
                image.set(x - step, y + spread, colour)
            elif direction == "up":
                image.set(x + spread, y + step, colour)
            else:
                image.set(x + spread, y - step, colour)


# ---------------------------------------------------------------------------------------
# Window functions, t in [0, 1] across the window.


def square(_t):
    return 1.0


def triangle(t):
    return 1.0 - abs(2 * t - 1)


def parabola(t):
    return 1.0 - (2 * t - 1) ** 2


def parzen(t):
    u = abs(2 * t - 1)
    return 1 - 6 * u * u + 6 * u ** 3 if u <= 0.5 else 2 * (1 - u) ** 3


def lanczos(t):
    x = 2 * t - 1
    return 1.0 if x == 0 else math.sin(math.pi * x) / (math.pi * x)


def hann(t):
    return 0.5 - 0.5 * math.cos(2 * math.pi * t)


def hamming(t):
    return 0.54 - 0.46 * math.cos(2 * math.pi * t)


def blackman(t):
    return 0.42 - 0.5 * math.cos(2 * math.pi * t) + 0.08 * math.cos(4 * math.pi * t)


def window_shape(function):
    image = Image(16, 15)
    image.line(0, 13, 15, 13, "g")
    if function is square:
        image.line(2, 13, 2, 3, "b")
        image.line(2, 3, 13, 3, "b")
        image.line(13, 3, 13, 13, "b")
    else:
        image.curve(function, 1, 14, 13, 10, "b")
    return image


# ---------------------------------------------------------------------------------------
# Toolbar images


def play():
    image = Image(16, 15)
    image.polygon([(4, 2), (13, 7.5), (4, 13)], "G")
    return image


def stop():
    image = Image(16, 15)
    image.fill(4, 3, 11, 10, "n")
    return image


def record():
    image = Image(16, 15)
    image.disc(7.5, 7, 5, "r")
    return image


def generate():
    image = Image(16, 15)
    image.line(0, 7, 15, 7, "l")
    image.curve(lambda t: math.sin(2 * math.pi * t), 0, 15, 7, 5, "b")
    return image


def time_stretch():
    image = Image(16, 15)
    image.line(7, 3, 7, 11, "k")
    image.line(8, 3, 8, 11, "k")
    image.line(1, 7, 5, 7, "b")
    arrow_head(image, 1, 7, "left", "b")
    image.line(10, 7, 14, 7, "b")
    arrow_head(image, 14, 7, "right", "b")
    return image


def time_squeeze():
    image = Image(16, 15)
    image.line(7, 3, 7, 11, "k")
    image.line(8, 3, 8, 11, "k")
    image.line(0, 7, 5, 7, "b")
    arrow_head(image, 5, 7, "right", "b")
    image.line(10, 7, 15, 7, "b")
    arrow_head(image, 10, 7, "left", "b")
    return image


def one_point_per_frame():
    image = Image(16, 15)
    text = "1:1"
    image.text((16 - image.text_width(text)) // 2, 2, text, "k")
    for x in range(1, 16, 2):
        image.set(x, 11 - (x // 2) % 3, "b")
    return image


def fit_all():
    image = Image(16, 15)
    image.line(0, 2, 0, 12, "k")
    image.line(15, 2, 15, 12, "k")
    image.line(2, 7, 13, 7, "b")
    arrow_head(image, 2, 7, "left", "b")
    arrow_head(image, 13, 7, "right", "b")
    return image


def value_stretch():
    image = Image(16, 15)
    image.line(4, 7, 11, 7, "k")
    image.line(7, 1, 7, 5, "b")
    image.line(8, 1, 8, 5, "b")
    arrow_head(image, 7, 0, "up", "b")
    arrow_head(image, 8, 0, "up", "b")
    image.line(7, 9, 7, 13, "b")
    image.line(8, 9, 8, 13, "b")
    arrow_head(image, 7, 14, "down", "b")
    arrow_head(image, 8, 14, "down", "b")
    return image


def value_squeeze():
    image = Image(16, 15)
    image.line(4, 7, 11, 7, "k")
    image.line(7, 0, 7, 4, "b")
    image.line(8, 0, 8, 4, "b")
    arrow_head(image, 7, 5, "down", "b")
    arrow_head(image, 8, 5, "down", "b")
    image.line(7, 10, 7, 14, "b")
    image.line(8, 10, 8, 14, "b")
    arrow_head(image, 7, 9, "up", "b")
    arrow_head(image, 8, 9, "up", "b")
    return image


def value_fit():
    image = Image(16, 15)
    image.line(3, 0, 12, 0, "k")
    image.line(3, 14, 12, 14, "k")
    image.line(7, 2, 7, 12, "b")
    image.line(8, 2, 8, 12, "b")
    arrow_head(image, 7, 2, "up", "b")
    arrow_head(image, 8, 2, "up", "b")
    arrow_head(image, 7, 12, "down", "b")
    arrow_head(image, 8, 12, "down", "b")
    return image


POINTER = [
    "k........",
    "kk.......",
    "kwk......",
    "kwwk.....",
    "kwwwk....",
    "kwwwwk...",
    "kwwwwwk..",
    "kwwwwwwk.",
    "kwwwwkkkk",
    "kwwkwwk..",
    "kwk.kwwk.",
    "kk..kwwk.",
    "k....kwwk",
    ".....kwwk",
    "......kk.",
]


def pointer():
    image = Image(16, 15)
    for y, row in enumerate(POINTER):
        for x, colour in enumerate(row):
            if colour != ".":
                image.set(x + 4, y, colour)
    return image


def time_link_base(image):
    # A time link joins an instant of the recording (top) to one of the output (bottom).
    image.line(0, 1, 9, 1, "g")
    image.line(0, 13, 9, 13, "g")
    image.line(4, 1, 4, 13, "b")
    image.line(5, 1, 5, 13, "b")


def set_time_link():
    image = Image(16, 15)
    time_link_base(image)
    image.fill(11, 5, 12, 10, "G")
    image.fill(9, 7, 14, 8, "G")
    return image


def delete_time_link():
    image = Image(16, 15)
    time_link_base(image)
    image.thick_line(9, 4, 14, 10, "r", 2)
    image.thick_line(14, 4, 9, 10, "r", 2)
    return image


def range_edit():
    image = Image(16, 15)
    image.fill(3, 4, 12, 10, "c")
    for x0, sign in ((1, 1), (14, -1)):
        image.line(x0, 2, x0, 12, "k")
        image.line(x0, 2, x0 + 2 * sign, 2, "k")
        image.line(x0, 12, x0 + 2 * sign, 12, "k")
    image.line(3, 7, 12, 7, "b")
    return image


def pencil_shape(image, tip, length, width, body, outline):
    """A pencil pointing down-left with its tip at 'tip'."""
    tx, ty = tip
    d = math.sqrt(0.5)
    along = (d, -d)
    across = (d, d)
    half = width / 2

    def point(a, c):
        return (tx + along[0] * a + across[0] * c, ty + along[1] * a + across[1] * c)

    cone = 0.3 * length
    image.polygon([point(cone, -half), point(length, -half), point(length, half), point(cone, half)], body)
    image.polygon([point(0, 0), point(cone, -half), point(cone, half)], "l")
    image.polygon([point(0, 0), point(cone * 0.35, -half * 0.35), point(cone * 0.35, half * 0.35)], outline)
    image.line(*point(cone, -half), *point(length, -half), outline)
    image.line(*point(cone, half), *point(length, half), outline)
    image.line(*point(length, -half), *point(length, half), outline)
    image.line(*point(0, 0), *point(cone, -half), outline)
    image.line(*point(0, 0), *point(cone, half), outline)


def freehand():
    image = Image(16, 15)
    pencil_shape(image, (1, 13), 17, 5, "y", "k")
    return image


def eraser_shape(image, x0, y0, width, height, depth, outline):
    """An eraser block seen slightly from above: a pink end and a blue body."""
    split = x0 + width // 3
    image.fill(x0, y0, split, y0 + height, "p")
    image.fill(split + 1, y0, x0 + width, y0 + height, "c")
    image.polygon([(x0, y0), (x0 + depth, y0 - depth), (x0 + width + depth, y0 - depth), (x0 + width, y0)], "w")
    image.polygon(
        [(x0 + width, y0), (x0 + width + depth, y0 - depth), (x0 + width + depth, y0 + height - depth),
         (x0 + width, y0 + height)], "l")
    image.frame(x0, y0, x0 + width, y0 + height, outline)
    image.line(split, y0, split, y0 + height, outline)
    image.line(x0, y0, x0 + depth, y0 - depth, outline)
    image.line(x0 + depth, y0 - depth, x0 + width + depth, y0 - depth, outline)
    image.line(x0 + width, y0, x0 + width + depth, y0 - depth, outline)
    image.line(x0 + width + depth, y0 - depth, x0 + width + depth, y0 + height - depth, outline)
    image.line(x0 + width, y0 + height, x0 + width + depth, y0 + height - depth, outline)


def eraser():
    image = Image(16, 15)
    eraser_shape(image, 1, 6, 10, 5, 3, "k")
    image.line(0, 13, 15, 13, "g")
    return image


FFT_LABELS = ["1k", "2k", "4k", "8k", "16k", "32k", "64k", "128k", "256k", "512k", "1M"]


def note_bar(image, x0, y0, x1, y1, fill, outline):
    # A note as the Note mode draws it: a bar with its corners cut.
    image.fill(x0 + 1, y0 + 1, x1 - 1, y1 - 1, fill)
    image.line(x0 + 1, y0, x1 - 1, y0, outline)
    image.line(x0 + 1, y1, x1 - 1, y1, outline)
    image.line(x0, y0 + 1, x0, y1 - 1, outline)
    image.line(x1, y0 + 1, x1, y1 - 1, outline)


def note_mode():
    image = Image(16, 15)
    note_bar(image, 1, 5, 10, 9, "c", "b")
    image.line(13, 2, 13, 12, "k")
    arrow_head(image, 13, 1, "up", "k", 2)
    arrow_head(image, 13, 13, "down", "k", 2)
    return image


def fft_size(label, index):
    image = Image(16, 15)
    image.text((16 - image.text_width(label)) // 2, 1, label, "k")
    image.line(0, 14, 15, 14, "g")
    # Bars that grow finer with the size: more, thinner spectral lines.
    step = 4 if index < 4 else (3 if index < 8 else 2)
    for x in range(1, 16, step):
        height = 2 + int(4 * abs(math.sin(x * 0.9 + index)))
        image.line(x, 13, x, 13 - height, "b")
    return image


def fit_selection():
    # Also the Hann window: a bell fitted between the two selection marks.
    image = Image(16, 15)
    image.line(0, 1, 0, 13, "r")
    image.line(15, 1, 15, 13, "r")
    image.line(1, 13, 14, 13, "g")
    image.curve(hann, 1, 14, 13, 10, "b")
    return image


def sas_time_scale():
    # Also the Hamming window: its bell on a pedestal, over the ticks of a time scale.
    image = Image(16, 15)
    image.line(0, 13, 15, 13, "k")
    for x in range(0, 16, 3):
        image.line(x, 13, x, 14, "k")
    image.curve(hamming, 1, 14, 12, 10, "b")
    return image


def sync_wav_to_sas():
    # Also the Blackman window: its narrow bell under the cursor line that is synchronised.
    image = Image(16, 15)
    image.line(0, 13, 15, 13, "g")
    image.curve(blackman, 1, 14, 13, 10, "b")
    for y in range(0, 15, 2):
        image.set(7, y, "r")
        image.set(8, y, "r")
    return image


def sync():
    image = Image(16, 15)
    cx, cy, radius = 7.5, 7, 5.5
    for start, end in ((200, 340), (20, 160)):
        previous = None
        for angle in range(start, end + 1, 10):
            a = math.radians(angle)
            point = (cx + radius * math.cos(a), cy - radius * math.sin(a))
            if previous:
                image.line(*previous, *point, "G")
            previous = point
    arrow_head(image, 13, 5, "up", "G")
    arrow_head(image, 2, 9, "down", "G")
    return image


def show_all():
    image = Image(16, 15)
    image.frame(5, 5, 10, 9, "k")
    for (x0, y0, x1, y1) in ((4, 4, 1, 1), (11, 4, 14, 1), (4, 10, 1, 13), (11, 10, 14, 13)):
        image.line(x0, y0, x1, y1, "b")
    for x, y, dx, dy in ((1, 1, 1, 1), (14, 1, -1, 1), (1, 13, 1, -1), (14, 13, -1, -1)):
        image.set(x + dx, y, "b")
        image.set(x, y + dy, "b")
    return image


def find_peaks():
    image = Image(16, 15)
    image.line(0, 14, 15, 14, "g")
    heights = [2, 4, 11, 5, 3, 2, 6, 9, 4, 2, 3, 7, 3, 2]
    for x, height in enumerate(heights, start=1):
        image.line(x, 13, x, 14 - height, "b")
    for x, height in ((3, 11), (8, 9)):
        image.fill(x - 1, 13 - height - 1, x + 1, 13 - height, "r")
    return image


def plain():
    return Image(16, 15)


def toolbar_images():
    images = [
        play(), stop(), record(), generate(),
        time_stretch(), time_squeeze(), one_point_per_frame(), fit_all(),
        value_stretch(), value_squeeze(), value_fit(),
        pointer(), set_time_link(), delete_time_link(), range_edit(), freehand(), eraser(),
    ]
    images += [fft_size(label, i) for i, label in enumerate(FFT_LABELS)]
    images += [window_shape(f) for f in (square, triangle, parabola, parzen, lanczos)]
    images += [fit_selection(), sas_time_scale(), sync_wav_to_sas()]
    images += [sync(), show_all()]
    images += [plain() for _ in range(4)]
    images += [find_peaks()]
    images += [note_mode()]
    assert len(images) == 44, len(images)
    return images


# ---------------------------------------------------------------------------------------
# Cursors (black shapes with a white border, to show on any background)


def cursor_set_link():
    image = Image(32, 32)
    image.fill(7, 4, 9, 26, "k")
    image.fill(19, 9, 21, 21, "k")
    image.fill(14, 14, 26, 16, "k")
    image.outline("k", "w")
    return image


def cursor_delete_link():
    image = Image(32, 32)
    image.fill(7, 4, 9, 26, "k")
    image.thick_line(15, 10, 25, 20, "k", 3)
    image.thick_line(25, 10, 15, 20, "k", 3)
    image.outline("k", "w")
    return image


def cursor_in_range():
    image = Image(32, 32)
    for x0, sign in ((8, 1), (22, -1)):
        image.fill(min(x0, x0 + sign), 8, max(x0, x0 + sign), 22, "k")
        image.fill(min(x0, x0 + 4 * sign), 8, max(x0, x0 + 4 * sign), 9, "k")
        image.fill(min(x0, x0 + 4 * sign), 21, max(x0, x0 + 4 * sign), 22, "k")
    image.line(11, 15, 19, 15, "k")
    image.outline("k", "w")
    return image


def cursor_freehand():
    image = Image(32, 32)
    pencil_shape(image, (1, 30), 30, 8, "k", "k")
    image.outline("k", "w")
    return image


def cursor_erase():
    image = Image(32, 32)
    eraser_shape(image, 3, 18, 18, 10, 6, "k")
    # One colour inside, so that the cursor reads on any background.
    for y in range(32):
        for x in range(32):
            if image.pixels[y][x] not in (".", "k"):
                image.pixels[y][x] = "w"
    image.outline("k", "w")
    return image


def cursor_pane_split():
    image = Image(32, 32)
    image.fill(6, 13, 24, 13, "k")
    image.fill(6, 17, 24, 17, "k")
    image.fill(15, 4, 15, 11, "k")
    image.fill(15, 19, 15, 26, "k")
    arrow_head(image, 15, 2, "up", "k", 4)
    arrow_head(image, 15, 28, "down", "k", 4)
    image.outline("k", "w")
    return image


def cursor_note():
    # A note bar held between an arrow up and an arrow down: drag it to another pitch.
    image = Image(32, 32)
    note_bar(image, 6, 13, 24, 17, "w", "k")
    image.fill(15, 5, 15, 11, "k")
    image.fill(15, 19, 15, 25, "k")
    arrow_head(image, 15, 3, "up", "k", 3)
    arrow_head(image, 15, 27, "down", "k", 3)
    image.outline("k", "w")
    return image


CURSORS = {
    "set-link": cursor_set_link,
    "delete-link": cursor_delete_link,
    "in-range": cursor_in_range,
    "freehand": cursor_freehand,
    "erase": cursor_erase,
    "pane-split": cursor_pane_split,
    "note": cursor_note,
}


def program_icon():
    image = Image(32, 32)
    image.polygon([(2, 0), (29, 0), (31, 2), (31, 29), (29, 31), (2, 31), (0, 29), (0, 2)], "n")
    image.line(2, 16, 29, 16, "d")
    previous = None
    for x in range(2, 30):
        t = (x - 2) / 27
        y = 16 - 11 * math.exp(-2.5 * t) * math.sin(2 * math.pi * 3.5 * t)
        if previous:
            image.line(*previous, x, y, "w")
        previous = (x, y)
    # The corrected pitch: a straight line over the analysed, wavering one.
    image.line(3, 6, 28, 6, "p")
    image.curve(lambda t: math.sin(2 * math.pi * 2 * t), 3, 28, 6, 2, "y")
    return image


# ---------------------------------------------------------------------------------------
# Output


def xpm(name, image):
    used = sorted({c for row in image.pixels for c in row})
    lines = [f"{image.width} {image.height} {len(used)} 1"]
    lines += [f"{c} c {PALETTE[c]}" for c in used]
    lines += ["".join(row) for row in image.pixels]
    body = ",\n".join(f'"{line}"' for line in lines)
    return f"/* XPM */\n/* Generated by scripts/make-icons.py; edit the script, not this file. */\n" \
           f"static const char* const {name}[] = {{\n{body}}};\n"


def strip(images):
    result = Image(16 * len(images), 15)
    for index, image in enumerate(images):
        for y in range(15):
            for x in range(16):
                result.pixels[y][16 * index + x] = image.pixels[y][x]
    return result


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    resources = os.path.join(root, "resources")
    os.makedirs(os.path.join(resources, "cursors"), exist_ok=True)
    outputs = {os.path.join(resources, "toolbar.xpm"): xpm("toolbar_xpm", strip(toolbar_images())),
               os.path.join(resources, "program-icon.xpm"): xpm("program_icon_xpm", program_icon())}
    for name, draw in CURSORS.items():
        outputs[os.path.join(resources, "cursors", name + ".xpm")] = xpm(name.replace("-", "_") + "_xpm", draw())
    for path, text in outputs.items():
        with open(path, "w", encoding="ascii") as file:
            file.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
