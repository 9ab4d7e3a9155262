#!/usr/bin/env python3
"""Checks the committed art against what the dialog layout relies on:
res/background.bmp (format, size, colours, panel frames, label positions)
and res/app.ico (format and the 13 images). Exits non-zero on any fault.

  check-art.py [BACKGROUND.bmp [APP.ico]]
"""

import os
import struct
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WIDTH, HEIGHT = 989, 676

# Text boxes' top-left corners, in image pixels; the dialog's controls sit beside them.
LABELS = [
    ("Internal Speed (fwd)", 210, 143),
    ("Internal Potentiometer (fwd)", 423, 138),
    ("External Potentiometer (fwd)", 423, 158),
    ("ACC (fwd)", 118, 181),
    ("DEC (fwd)", 500, 181),
    ("Forward Direction", 379, 241),
    ("Internal Speed (rev)", 217, 318),
    ("Internal Potentiometer (rev)", 428, 314),
    ("External Potentiometer (rev)", 428, 334),
    ("ACC (rev)", 118, 360),
    ("DEC (rev)", 501, 360),
    ("Reverse Direction", 379, 424),
    ("Function Disable", 736, 132),
    ("Function Enable", 736, 164),
    ("COM Port:", 685, 206),
    ("No.of Cycle:", 671, 301),
    ("Home Start Delay", 671, 335),
    ("ms (home)", 903, 333),
    ("End Start Delay", 671, 370),
    ("ms (end)", 903, 368),
    ("Auto Homing Upon Power ON", 672, 405),
    ("Auto Start Upon Power ON", 672, 440),
    ("Home Sensor", 108, 630),
    ("Limit Sensor", 518, 628),
]

# Inclusive pixel rectangles framed by a 2 px #666666 border.
PANELS = [
    ("forward", 108, 609, 130, 289),
    ("reverse", 108, 609, 311, 470),
    ("options", 636, 971, 263, 469),
]

faults = []


def expect(condition, message):
    if not condition:
        faults.append(message)


class Bitmap:
    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        magic, file_size, _, _, offset = struct.unpack_from("<2sIHHI", data, 0)
        (size, width, height, planes, bits, compression, image_size) = struct.unpack_from(
            "<IiiHHII", data, 14
        )
        expect(magic == b"BM", f"{path}: not a BMP")
        expect(file_size == len(data), f"{path}: file size field {file_size} != {len(data)}")
        expect(size == 40, f"{path}: header size {size}, want BITMAPINFOHEADER (40)")
        expect((width, height) == (WIDTH, HEIGHT), f"{path}: {width}x{height}")
        expect(height > 0, f"{path}: not bottom-up")
        expect(planes == 1 and bits == 24, f"{path}: planes {planes}, {bits} bpp; want 1, 24")
        expect(compression == 0, f"{path}: compressed ({compression})")
        self.stride = (3 * width + 3) & ~3
        expect(offset == 54, f"{path}: pixel offset {offset}")
        expect(
            len(data) - offset == self.stride * abs(height) and image_size in (0, len(data) - offset),
            f"{path}: pixel array size",
        )
        if faults:
            sys.exit("\n".join(faults))
        self.data = data
        self.offset = offset

    def rgb(self, x, y):
        at = self.offset + (HEIGHT - 1 - y) * self.stride + 3 * x
        b, g, r = self.data[at : at + 3]
        return r, g, b


def hex_colour(value):
    return (value >> 16 & 0xFF, value >> 8 & 0xFF, value & 0xFF)


def check_background(path):
    image = Bitmap(path)

    def colour_at(x, y, want, what, tolerance=0):
        got = image.rgb(x, y)
        expect(
            all(abs(a - b) <= tolerance for a, b in zip(got, hex_colour(want))),
            f"{what}: pixel ({x},{y}) is #{bytes(got).hex().upper()}, want #{want:06X}",
        )

    # Backdrop: flat down to row 224, then an even ramp to #999999 on row 675.
    for x in (2, 40, 986):
        colour_at(x, 0, 0xCCCCCC, "backdrop")
        colour_at(x, 224, 0xCCCCCC, "backdrop")
        colour_at(x, 675, 0x999999, "gradient bottom")
    for y in range(225, 676, 25):
        expected = round(0xCC - (0xCC - 0x99) * (y - 224) / (675 - 224))
        colour_at(20, y, expected * 0x010101, "gradient", tolerance=1)
    ramp = [image.rgb(20, y)[0] for y in range(224, 676)]
    expect(all(a >= b for a, b in zip(ramp, ramp[1:])), "gradient is not monotonic")

    for name, left, right, top, bottom in PANELS:
        mid_x, mid_y = (left + right) // 2, (top + bottom) // 2
        for d in (0, 1):
            colour_at(left + d, mid_y + 30, 0x666666, f"{name} panel left border")
            colour_at(right - d, mid_y + 30, 0x666666, f"{name} panel right border")
            colour_at(mid_x + 40, top + d, 0x666666, f"{name} panel top border")
            colour_at(mid_x + 40, bottom - d, 0x666666, f"{name} panel bottom border")
        expect(image.rgb(left - 1, mid_y + 30) != hex_colour(0x666666), f"{name} panel too wide")
        expect(image.rgb(mid_x + 40, bottom + 1) != hex_colour(0x666666), f"{name} panel too tall")
        colour_at(left + 3, bottom - 3, 0xCCCCCC, f"{name} panel fill")
        colour_at(right - 3, bottom - 3, 0xCCCCCC, f"{name} panel fill")

    # Rail frame, white bed, sensors.
    for x in (99, 104, 614, 618):
        colour_at(x, 553, 0x333333, "rail frame")
    for x in (300, 450):
        colour_at(x, 541, 0x333333, "rail frame")
        colour_at(x, 565, 0x333333, "rail frame")
    bed = [image.rgb(x, 553) for x in range(220, 600)]
    expect(hex_colour(0xFFFFFF) in bed, "rail bed has no white")
    expect(hex_colour(0x333333) in bed, "rail bed has no stripes")
    for x, y in ((163, 604), (571, 599)):
        colour_at(x, y, 0x99CC00, "sensor fill")
    for x, y in ((154, 604), (172, 604), (163, 584), (163, 623), (562, 599), (580, 599)):
        colour_at(x, y, 0x000000, "sensor outline")

    # Ink is anything clearly darker than the backdrop of its row, so thin
    # anti-aliased stems count too. The darkest pixel must be the label colour.
    for name, x0, y0 in LABELS:
        ink = [
            (x, y)
            for y in range(y0 - 4, y0 + 18)
            for x in range(x0 - 4, x0 + 40)
            if max(image.rgb(x, y)) + 0x30 <= max(image.rgb(x0 - 5, y))
        ]
        if not ink:
            faults.append(f"label {name}: no text near ({x0},{y0})")
            continue
        left = min(x for x, _ in ink)
        top = min(y for _, y in ink)
        expect(x0 <= left <= x0 + 3, f"label {name}: ink starts at x {left}, box at {x0}")
        expect(y0 <= top <= y0 + 6, f"label {name}: ink starts at y {top}, box at {y0}")
        darkest = min(
            (image.rgb(x, y) for y in range(y0, y0 + 16) for x in range(x0, x0 + 120)),
            key=max,
        )
        expect(
            all(abs(c - 0x33) <= 3 for c in darkest),
            f"label {name}: darkest pixel #{bytes(darkest).hex().upper()}, want #333333",
        )

    title = [(x, y) for y in range(20, 80) for x in range(WIDTH) if max(image.rgb(x, y)) <= 0x80]
    expect(title, "title missing")
    if title:
        centre = (min(x for x, _ in title) + max(x for x, _ in title)) / 2
        top = min(y for _, y in title)
        expect(abs(centre - 494) <= 4, f"title centred at x {centre}")
        expect(30 <= top <= 45, f"title top at y {top}")


EXPECTED_ICONS = {(s, b) for s in (16, 24, 32, 48) for b in (32, 8, 4)} | {(256, 32)}


def check_icon(path):
    with open(path, "rb") as f:
        data = f.read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    expect(reserved == 0 and kind == 1, f"{path}: not an icon file")
    expect(count == 13, f"{path}: {count} images, want 13")
    seen = set()
    end_of_previous = 6 + 16 * count
    for i in range(count):
        w, h, colours, res, planes, bits, size, offset = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * i
        )
        w, h = w or 256, h or 256
        where = f"{path} image {i} ({w}x{h}, {bits} bpp)"
        expect(w == h and res == 0 and planes == 1, f"{where}: bad directory entry")
        expect(colours == (16 if bits == 4 else 0), f"{where}: colour count {colours}")
        expect(offset == end_of_previous, f"{where}: offset {offset} not contiguous")
        if offset + size > len(data):
            faults.append(f"{where}: runs past end of file")
            break
        end_of_previous = offset + size
        seen.add((w, bits))
        image = data[offset : offset + size]
        if image.startswith(b"\x89PNG\r\n\x1a\n"):
            pw, ph, depth, colour_type = struct.unpack_from(">IIBB", image, 16)
            expect((pw, ph) == (w, h), f"{where}: PNG is {pw}x{ph}")
            expect(depth == 8 and colour_type == 6, f"{where}: PNG not 8-bit RGBA")
            continue
        hsize, bw, bh, bplanes, bbits, compression = struct.unpack_from("<IiiHHI", image, 0)
        expect(hsize == 40 and (bw, bh) == (w, 2 * h), f"{where}: bitmap header {bw}x{bh}")
        expect(bplanes == 1 and bbits == bits and compression == 0, f"{where}: bitmap format")
        palette = 4 * (1 << bits) if bits <= 8 else 0
        xor = ((w * bits + 31) // 32) * 4 * h
        mask = ((w + 31) // 32) * 4 * h
        expect(size == 40 + palette + xor + mask, f"{where}: size {size}")
        # The opaque part must be most of the image, not an empty or garbage frame.
        mask_bytes = image[40 + palette + xor :]
        transparent = sum(bin(b).count("1") for b in mask_bytes)
        expect(transparent < w * h // 4, f"{where}: mostly transparent")
    expect(end_of_previous == len(data), f"{path}: trailing bytes")
    expect(seen == EXPECTED_ICONS, f"{path}: images {sorted(seen)}")


def main(argv):
    background = argv[1] if len(argv) > 1 else os.path.join(ROOT, "res", "background.bmp")
    icon = argv[2] if len(argv) > 2 else os.path.join(ROOT, "res", "app.ico")
    check_background(background)
    check_icon(icon)
    if faults:
        print("\n".join(faults), file=sys.stderr)
        return 1
    print(f"art ok: {background}, {icon}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
