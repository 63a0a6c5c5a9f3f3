#!/usr/bin/env python3
"""Reads a PNG written by the tests with Python's own zlib: every chunk's CRC, the header, and
that the rows decompress to exactly the picture's size. Prints the size; exit 1 on a fault."""
import struct
import sys
import zlib


def main(path, min_width, min_height):
    data = open(path, 'rb').read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        sys.exit(f'{path}: not a PNG signature')
    pos, idat, header = 8, b'', None
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        (crc,) = struct.unpack('>I', data[pos + 8 + length:pos + 12 + length])
        if zlib.crc32(kind + body) != crc:
            sys.exit(f'{path}: bad CRC in {kind!r}')
        if kind == b'IHDR':
            header = struct.unpack('>IIBBBBB', body)
        elif kind == b'IDAT':
            idat += body
        pos += 12 + length
        if kind == b'IEND':
            break
    if header is None:
        sys.exit(f'{path}: no IHDR')
    width, height, depth, colour, _, _, interlace = header
    if (depth, colour, interlace) != (8, 2, 0):
        sys.exit(f'{path}: unexpected format {header}')
    raw = zlib.decompress(idat)
    if len(raw) != height * (1 + 3 * width):
        sys.exit(f'{path}: {len(raw)} bytes of rows for {width}x{height}')
    if width < min_width or height < min_height:
        sys.exit(f'{path}: {width}x{height} is smaller than {min_width}x{min_height}')
    print(f'{path}: {width}x{height}')


if __name__ == '__main__':
    main(sys.argv[1], int(sys.argv[2]), int(sys.argv[3]))
