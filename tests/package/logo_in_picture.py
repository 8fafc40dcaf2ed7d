#!/usr/bin/env python3
"""Whether a picture of the login window shows the launcher's icon as its logo: logo_in_picture.py PICTURE.png

The icon's orb is orange (a colour nothing else in the window has); the logo sits at the top of the left panel.
Reads 8-bit RGB or RGBA PNG files, as Qt writes them, with the standard library only.
"""

import struct
import sys
import zlib


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit(f"{path}: not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        chunk = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", chunk)
        elif kind == b"IDAT":
            idat += chunk
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise SystemExit(f"{path}: only 8-bit RGB or RGBA PNG files without interlacing are read here")
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 0xFF
        rows.append(line)
        previous = line
    return width, height, channels, rows


def main():
    width, height, channels, rows = read_png(sys.argv[1])
    orange = 0
    for y in range(min(height, 110)):
        row = rows[y]
        for x in range(min(width, 170)):
            r, g, b = row[x * channels:x * channels + 3]
            if r > 200 and 100 < g < 210 and b < 110:
                orange += 1
    print(f"{orange} pixels of the orb in the logo area")
    return 0 if orange >= 200 else 1


if __name__ == "__main__":
    sys.exit(main())
