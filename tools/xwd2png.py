#!/usr/bin/python3
"""Converts an X window dump (xwd, 24 or 32 bits per pixel, ZPixmap) into a PNG,
optionally cropped: xwd2png.py IN.xwd OUT.png [X Y WIDTH HEIGHT]"""
import struct
import sys
import zlib


def read_xwd(path):
    data = open(path, 'rb').read()
    header = struct.unpack('>25I', data[:100])
    header_size, width, height = header[0], header[4], header[5]
    byte_order, bits_per_pixel, bytes_per_line = header[7], header[11], header[12]
    red_mask, green_mask, blue_mask = header[14], header[15], header[16]
    ncolors = header[19]
    offset = header_size + ncolors * 12
    step = bits_per_pixel // 8
    order = '<' if byte_order == 0 else '>'
    masks = (red_mask, green_mask, blue_mask)
    shifts = [(m & -m).bit_length() - 1 for m in masks]

    def pixel(x, y):
        at = offset + y * bytes_per_line + x * step
        raw = data[at:at + step] + b'\0' * (4 - step)
        value = struct.unpack(order + 'I', raw)[0]
        if order == '>' and step == 3:
            value >>= 8
        return tuple((value & m) >> s for m, s in zip(masks, shifts))

    return width, height, pixel


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return (struct.pack('>I', len(body)) + kind + body
                + struct.pack('>I', zlib.crc32(kind + body) & 0xFFFFFFFF))
    raw = b''.join(b'\0' + bytes(row) for row in rows)
    with open(path, 'wb') as out:
        out.write(b'\x89PNG\r\n\x1a\n')
        out.write(chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b'IDAT', zlib.compress(raw, 9)))
        out.write(chunk(b'IEND', b''))


def main():
    source, target = sys.argv[1], sys.argv[2]
    width, height, pixel = read_xwd(source)
    x0, y0, w, h = 0, 0, width, height
    if len(sys.argv) == 7:
        x0, y0, w, h = (int(v) for v in sys.argv[3:7])
    rows = []
    for y in range(y0, y0 + h):
        row = []
        for x in range(x0, x0 + w):
            row.extend(pixel(x, y))
        rows.append(row)
    write_png(target, w, h, rows)


if __name__ == '__main__':
    main()
