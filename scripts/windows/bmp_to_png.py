#!/usr/bin/env python3
"""Converts an uncompressed 24- or 32-bit BMP file to PNG.

Usage: bmp_to_png.py IN.bmp OUT.png

Needs nothing beyond Python's standard library.
"""
import struct
import sys
import zlib


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    data = open(argv[1], "rb").read()
    if len(data) < 54 or data[:2] != b"BM":
        sys.stderr.write("bmp_to_png: not a BMP file\n")
        return 1
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits not in (24, 32) or compression != 0 or width <= 0 or height == 0:
        sys.stderr.write("bmp_to_png: only uncompressed 24/32-bit pictures\n")
        return 1
    step = bits // 8
    stride = (width * step + 3) & ~3
    rows = abs(height)
    if offset + stride * rows > len(data):
        sys.stderr.write("bmp_to_png: the file is cut short\n")
        return 1
    raw = bytearray()
    for y in range(rows):
        source = rows - 1 - y if height > 0 else y  # positive height: bottom-up
        row = data[offset + source * stride: offset + source * stride + width * step]
        raw.append(0)  # filter: none
        for x in range(width):
            b, g, r = row[x * step: x * step + 3]
            raw += bytes((r, g, b))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    png = (b"\x89PNG\r\n\x1a\n" +
           chunk(b"IHDR", struct.pack(">IIBBBBB", width, rows, 8, 2, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))
    with open(argv[2], "wb") as out:
        out.write(png)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
