#!/usr/bin/env python3
"""Packs rendered PNGs into the Windows resource formats windres embeds.

  art-pack.py bmp IN.png OUT.bmp
      24-bit bottom-up BMP with a BITMAPINFOHEADER (alpha dropped).
  art-pack.py ico OUT.ico SIZE:BPP:IN.png ...
      Icon file; BPP is 32 (BGRA + mask), 8 or 4 (palette + mask).
      A 256 px image at 32 bpp is stored as PNG.

Standard library only, and every byte is a pure function of the input
pixels, so repeated renders give identical files.
"""

import struct
import sys
import zlib

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def read_png_rgba(path):
    """Returns (width, height, rows) with rows of RGBA bytes, top row first."""
    with open(path, "rb") as f:
        data = f.read()
    if not data.startswith(PNG_SIGNATURE):
        sys.exit(f"{path}: not a PNG file")
    pos = len(PNG_SIGNATURE)
    idat = bytearray()
    header = None
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos : pos + 4])
        kind = data[pos + 4 : pos + 8]
        body = data[pos + 8 : pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    if header is None:
        sys.exit(f"{path}: no IHDR chunk")
    width, height, depth, colour_type, _, _, interlace = header
    channels = {2: 3, 6: 4}.get(colour_type)
    if depth != 8 or channels is None or interlace != 0:
        sys.exit(f"{path}: only 8-bit RGB/RGBA non-interlaced PNGs are supported")

    raw = zlib.decompress(bytes(idat))
    stride = width * channels
    rows = []
    previous = bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        filter_type = raw[start]
        line = bytearray(raw[start + 1 : start + 1 + stride])
        unfilter(filter_type, line, previous, channels)
        rows.append(line)
        previous = line

    if channels == 3:
        rows = [
            bytearray(b for i in range(0, stride, 3) for b in (*row[i : i + 3], 255))
            for row in rows
        ]
    return width, height, rows


def unfilter(filter_type, line, previous, bpp):
    if filter_type == 0:
        return
    for i in range(len(line)):
        left = line[i - bpp] if i >= bpp else 0
        up = previous[i]
        if filter_type == 1:
            predictor = left
        elif filter_type == 2:
            predictor = up
        elif filter_type == 3:
            predictor = (left + up) // 2
        elif filter_type == 4:
            upper_left = previous[i - bpp] if i >= bpp else 0
            estimate = left + up - upper_left
            distances = (abs(estimate - left), abs(estimate - up), abs(estimate - upper_left))
            predictor = (left, up, upper_left)[distances.index(min(distances))]
        else:
            sys.exit(f"unknown PNG filter {filter_type}")
        line[i] = (line[i] + predictor) & 0xFF


def write_png_rgba(width, height, rows):
    def chunk(kind, body):
        crc = zlib.crc32(kind + body) & 0xFFFFFFFF
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", crc)

    raw = b"".join(b"\x00" + bytes(row) for row in rows)
    return (
        PNG_SIGNATURE
        + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
        + chunk(b"IDAT", zlib.compress(raw, 9))
        + chunk(b"IEND", b"")
    )


def padded(row_bytes):
    return row_bytes + b"\x00" * (-len(row_bytes) % 4)


def info_header(width, height, bit_count, image_size, colours_used=0):
    # 2835 px/m = 72 dpi, the value resource editors write.
    return struct.pack(
        "<IiiHHIIiiII", 40, width, height, 1, bit_count, 0, image_size, 2835, 2835, colours_used, 0
    )


def make_bmp(in_png, out_bmp):
    width, height, rows = read_png_rgba(in_png)
    pixels = b"".join(
        padded(bytes(b for i in range(0, len(row), 4) for b in (row[i + 2], row[i + 1], row[i])))
        for row in reversed(rows)
    )
    header = info_header(width, height, 24, len(pixels))
    offset = 14 + len(header)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(out_bmp, "wb") as f:
        f.write(file_header + header + pixels)


def web_palette_with_greys():
    """256 colours: the 6x6x6 cube (holds every colour of the artwork exactly)
    plus intermediate greys for anti-aliased edges."""
    levels = [0x00, 0x33, 0x66, 0x99, 0xCC, 0xFF]
    palette = [(r, g, b) for r in levels for g in levels for b in levels]
    value = 0x08
    while len(palette) < 256:
        if value not in levels:
            palette.append((value, value, value))
        value += 6
    return palette


# The artwork's own colours plus a few steps between them; better than the
# fixed VGA set, whose nearest matches turn the greens olive.
ICON_16_COLOURS = [
    (0x00, 0x00, 0x00), (0x33, 0x33, 0x33), (0x4D, 0x4D, 0x4D), (0x66, 0x66, 0x66),
    (0x80, 0x80, 0x80), (0x99, 0x99, 0x99), (0xB3, 0xB3, 0xB3), (0xCC, 0xCC, 0xCC),
    (0xE6, 0xE6, 0xE6), (0xFF, 0xFF, 0xFF), (0x1A, 0x33, 0x00), (0x33, 0x66, 0x00),
    (0x66, 0x99, 0x00), (0x99, 0xCC, 0x00), (0x66, 0x80, 0x4D), (0xA3, 0xB8, 0x7A),
]


def nearest_index(colour, palette, cache):
    index = cache.get(colour)
    if index is None:
        r, g, b = colour
        distances = [
            (r - pr) ** 2 + (g - pg) ** 2 + (b - pb) ** 2 for pr, pg, pb in palette
        ]
        index = distances.index(min(distances))
        cache[colour] = index
    return index


def and_mask(width, rows):
    """1 bit per pixel, set where the pixel is transparent; bottom row first."""
    out = bytearray()
    for row in reversed(rows):
        bits = bytearray((width + 7) // 8)
        for x in range(width):
            if row[4 * x + 3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += padded(bytes(bits))
    return bytes(out)


def icon_image(size, bpp, in_png):
    width, height, rows = read_png_rgba(in_png)
    if (width, height) != (size, size):
        sys.exit(f"{in_png}: {width}x{height}, expected {size}x{size}")
    if bpp == 32 and size == 256:
        return write_png_rgba(width, height, rows)

    mask = and_mask(width, rows)
    if bpp == 32:
        colour = b"".join(
            bytes(b for i in range(0, len(row), 4) for b in (row[i + 2], row[i + 1], row[i], row[i + 3]))
            for row in reversed(rows)
        )
        table = b""
    elif bpp in (8, 4):
        palette = web_palette_with_greys() if bpp == 8 else ICON_16_COLOURS
        table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
        cache = {}
        colour = bytearray()
        for row in reversed(rows):
            indices = [
                nearest_index(tuple(row[4 * x : 4 * x + 3]), palette, cache)
                if row[4 * x + 3] >= 128
                else 0
                for x in range(width)
            ]
            if bpp == 8:
                packed = bytes(indices)
            else:
                indices += [0] * (width % 2)
                packed = bytes(
                    (indices[i] << 4) | indices[i + 1] for i in range(0, len(indices), 2)
                )
            colour += padded(packed)
        colour = bytes(colour)
    else:
        sys.exit(f"unsupported icon depth {bpp}")

    header = info_header(width, 2 * height, bpp, len(colour) + len(mask))
    return header + table + colour + mask


def make_ico(out_ico, entries):
    images = []
    for entry in entries:
        size, bpp, path = entry.split(":", 2)
        size, bpp = int(size), int(bpp)
        images.append((size, bpp, icon_image(size, bpp, path)))

    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, bpp, data in images:
        dimension = 0 if size == 256 else size
        colour_count = 16 if bpp == 4 else 0
        entries += struct.pack(
            "<BBBBHHII", dimension, dimension, colour_count, 0, 1, bpp, len(data), offset
        )
        offset += len(data)
    with open(out_ico, "wb") as f:
        f.write(directory + entries + b"".join(data for _, _, data in images))


def main(argv):
    if len(argv) == 4 and argv[1] == "bmp":
        make_bmp(argv[2], argv[3])
    elif len(argv) >= 4 and argv[1] == "ico":
        make_ico(argv[2], argv[3:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
