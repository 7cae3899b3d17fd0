#!/usr/bin/env python3
"""Draws the program's icons and busy cursors into resources/.

The images are simple shapes drawn by code, so that they can be remade and
changed without an image editor. Run it after changing a shape; the build
uses the files it writes."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, '..', 'resources')


def image_block(size, pixel):
    """BITMAPINFOHEADER, 32-bit colour rows bottom-up, then the AND mask."""
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    row_bytes = ((size + 31) // 32) * 4
    for y in range(size - 1, -1, -1):
        mask_row = bytearray(row_bytes)
        for x in range(size):
            r, g, b, a = pixel(x, y, size)
            colour += bytes((b, g, r, a))
            if a == 0:
                mask_row[x // 8] |= 0x80 >> (x % 8)
        mask += mask_row
    return header + bytes(colour) + bytes(mask)


def write_icon_file(path, images, cursor_hotspot=None):
    kind = 2 if cursor_hotspot else 1
    data = struct.pack('<HHH', 0, kind, len(images))
    offset = 6 + 16 * len(images)
    blocks = []
    for size, pixel in images:
        block = image_block(size, pixel)
        if cursor_hotspot:
            plane_x, bits_y = cursor_hotspot
        else:
            plane_x, bits_y = 1, 32
        data += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, plane_x, bits_y, len(block), offset)
        offset += len(block)
        blocks.append(block)
    with open(path, 'wb') as f:
        f.write(data + b''.join(blocks))


def rounded_box(colour_top, colour_bottom, letter):
    def pixel(x, y, size):
        s = size / 32.0
        margin = 2 * s
        radius = 6 * s
        inside_x = min(x - margin, size - 1 - margin - x)
        inside_y = min(y - margin, size - 1 - margin - y)
        if inside_x < 0 or inside_y < 0:
            return (0, 0, 0, 0)
        if inside_x < radius and inside_y < radius:
            dx = radius - inside_x
            dy = radius - inside_y
            if dx * dx + dy * dy > radius * radius:
                return (0, 0, 0, 0)
        t = y / float(size)
        base = tuple(int(colour_top[i] * (1 - t) + colour_bottom[i] * t) for i in range(3))
        if letter(x / s, y / s):
            return (255, 255, 255, 255)
        return base + (255,)
    return pixel


def letter_z(x, y):
    """A Z drawn in a 32-unit square."""
    if 8 <= x <= 24 and (8 <= y <= 11 or 21 <= y <= 24):
        return True
    if 8 <= y <= 24:
        diagonal = 24 - (y - 8)
        return diagonal - 2.5 <= x <= diagonal + 1.5
    return False


def letter_zip(x, y):
    """A zipper: a vertical row of teeth."""
    if 14 <= x <= 18 and 6 <= y <= 26:
        return int(y) % 4 < 2 or 15 <= x <= 17
    return 11 <= x <= 21 and 21 <= y <= 27


def letter_cab(x, y):
    """A box with a lid line."""
    if 8 <= x <= 24 and 10 <= y <= 24:
        return x <= 9 or x >= 23 or y <= 11 or y >= 23 or 15 <= y <= 16
    return False


def hourglass(colour):
    def pixel(x, y, size):
        cx = size / 2.0
        if y < 3 or y > 28:
            return (0, 0, 0, 0)
        if y <= 5 or y >= 26:
            return (40, 40, 40, 255) if 7 <= x <= 24 else (0, 0, 0, 0)
        half = abs(y - 15.5) * 0.62 + 1.2
        if abs(x + 0.5 - cx) <= half:
            if abs(x + 0.5 - cx) >= half - 1.2:
                return (40, 40, 40, 255)
            sand = (y > 17 and y > 24 - (half * 1.1)) or (y < 14 and y > 9)
            return colour + (255,) if sand else (250, 250, 250, 255)
        return (0, 0, 0, 0)
    return pixel


def main():
    os.makedirs(OUT, exist_ok=True)
    icons = {
        'zupako.ico': rounded_box((70, 150, 230), (20, 70, 160), letter_z),
        'zipfile.ico': rounded_box((250, 190, 60), (200, 120, 20), letter_zip),
        'cabfile.ico': rounded_box((120, 200, 110), (40, 130, 50), letter_cab),
    }
    for name, pixel in icons.items():
        write_icon_file(os.path.join(OUT, name), [(16, pixel), (32, pixel), (48, pixel)])
    cursors = {
        'busy_extract.cur': (60, 110, 220),
        'busy_add.cur': (40, 160, 60),
        'busy_list.cur': (230, 140, 30),
    }
    for name, colour in cursors.items():
        write_icon_file(os.path.join(OUT, name), [(32, hourglass(colour))], cursor_hotspot=(16, 16))


if __name__ == '__main__':
    main()
