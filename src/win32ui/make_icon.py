#!/usr/bin/env python3
"""Writes a Windows icon (.ico) from one of the project's SVG drawings.

Usage: make_icon.py RSVG_CONVERT SVG ICO SIZE...

Each size is drawn by rsvg-convert and stored as PNG inside the icon, which
every Windows since Vista reads; the same drawing gives the same bytes.
"""
import struct
import subprocess
import sys


def main(argv):
    if len(argv) < 5:
        sys.stderr.write(__doc__)
        return 2
    rsvg, svg, ico = argv[1], argv[2], argv[3]
    sizes = [int(s) for s in argv[4:]]
    images = []
    for size in sizes:
        if not 1 <= size <= 256:
            sys.stderr.write(f"make_icon: size {size} is not 1..256\n")
            return 2
        png = subprocess.run([rsvg, "-w", str(size), "-h", str(size), svg],
                             check=True, stdout=subprocess.PIPE).stdout
        if not png.startswith(b"\x89PNG\r\n\x1a\n"):
            sys.stderr.write(f"make_icon: {rsvg} gave no PNG for {svg}\n")
            return 1
        images.append((size, png))
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries = b""
    for size, png in images:
        dim = 0 if size == 256 else size  # 0 stands for 256
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(png), offset)
        offset += len(png)
    with open(ico, "wb") as out:
        out.write(header + entries + b"".join(png for _, png in images))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
