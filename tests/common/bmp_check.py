#!/usr/bin/python3
"""Host check: the .bmp files the Windows test wrote, read back by PIL pixel for pixel."""
import sys

from PIL import Image


def pattern(x, y, channel):
    return (x * 7 + y * 13 + channel * 101) & 0xFF


failures = []
# Name, depth and the size bitmap_test.cpp gave (a negative height is stored top-down).
for name, bits, size in [("bmp24.bmp", 24, (3, 2)), ("bmp32.bmp", 32, (3, 2)), ("bmp8.bmp", 8, (5, 3)),
                         ("bmp16.bmp", 16, (7, 4)), ("bmp24_topdown.bmp", 24, (9, 5))]:
    image = Image.open(name)
    image.load()
    if image.size != size:
        failures.append(f"{name}: {image.width}x{image.height}, expected {size[0]}x{size[1]}")
    for y in range(image.height):
        for x in range(image.width):
            pixel = image.getpixel((x, y))
            if bits == 8:
                # The grey table maps index i to grey i.
                grey = image.convert("L").getpixel((x, y))
                if grey != pattern(x, y, 0):
                    failures.append(f"{name} ({x},{y}): {grey}")
            elif bits == 16:
                blue, green, red = (pattern(x, y, c) >> 3 for c in range(3))
                if tuple(v >> 3 for v in pixel[:3]) != (red, green, blue):
                    failures.append(f"{name} ({x},{y}): {pixel}")
            else:
                expected = (pattern(x, y, 2), pattern(x, y, 1), pattern(x, y, 0))
                if tuple(pixel[:3]) != expected:
                    failures.append(f"{name} ({x},{y}): {pixel} != {expected}")
    print(f"{name}: {image.mode} {image.width}x{image.height}")

if failures:
    sys.exit("\n".join(failures[:20]))
