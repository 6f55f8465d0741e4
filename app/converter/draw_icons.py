#!/usr/bin/python3
"""Draws the converter's icons into a folder as .ico files with BMP entries: the program icon at
32x32 and 16x16, and the tab icons at 16x16, each picture in colour when its tab is selected and
in grey when it is not."""

import sys
from pathlib import Path

from PIL import Image, ImageDraw

GREY = (128, 128, 128)


def film(draw, n, colour):
    s = n / 16
    draw.rectangle([1 * s, 3 * s, 14 * s, 12 * s], fill=colour)
    for x in range(2, 14, 3):
        draw.rectangle([x * s, 4 * s, (x + 1) * s, 4.9 * s], fill="white")
        draw.rectangle([x * s, 10.1 * s, (x + 1) * s, 11 * s], fill="white")
    draw.rectangle([3 * s, 6 * s, 12 * s, 9 * s], fill=(255, 255, 255))


def speaker(draw, n, colour):
    s = n / 16
    draw.polygon([(2 * s, 6 * s), (5 * s, 6 * s), (9 * s, 2 * s), (9 * s, 14 * s), (5 * s, 10 * s),
                  (2 * s, 10 * s)], fill=colour)
    draw.arc([8 * s, 4 * s, 14 * s, 12 * s], -60, 60, fill=colour, width=max(1, int(s)))


def globe(draw, n, colour):
    s = n / 16
    draw.ellipse([1 * s, 1 * s, 14 * s, 14 * s], fill=colour)
    draw.ellipse([5 * s, 1 * s, 10 * s, 14 * s], outline="white")
    draw.line([1 * s, 7.5 * s, 14 * s, 7.5 * s], fill="white")


def square(draw, n, colour):
    s = n / 16
    draw.rectangle([3 * s, 3 * s, 12 * s, 12 * s], fill=colour)


def diamond(draw, n, colour):
    s = n / 16
    draw.polygon([(8 * s, 1 * s), (15 * s, 8 * s), (8 * s, 15 * s), (1 * s, 8 * s)], fill=colour)


def disc(draw, n, colour):
    s = n / 16
    draw.ellipse([3 * s, 3 * s, 12 * s, 12 * s], fill=colour)


def larkspan(draw, n, colour):
    # A film frame with a spark: the program icon.
    s = n / 16
    draw.rectangle([0, 2 * s, 15 * s, 13 * s], fill=(40, 60, 120))
    draw.rectangle([2 * s, 4 * s, 13 * s, 11 * s], fill=colour)
    draw.polygon([(9 * s, 3 * s), (5 * s, 8.5 * s), (8 * s, 8.5 * s), (6 * s, 13 * s), (11 * s, 6.5 * s),
                  (8 * s, 6.5 * s)], fill=(255, 220, 40))


# resource id: (file name, picture, colour when selected, sizes)
ICONS = {
    259: ("larkspan", larkspan, (230, 120, 30), (32, 16)),
    316: ("tab_video", film, (30, 90, 200), (16,)),
    317: ("tab_audio", speaker, (20, 150, 60), (16,)),
    318: ("tab_publish", globe, (200, 60, 40), (16,)),
    319: ("tab_spare1", square, (150, 60, 170), (16,)),
    320: ("tab_spare2", diamond, (200, 150, 20), (16,)),
    321: ("tab_spare3", disc, (20, 150, 160), (16,)),
}


def picture(draw_picture, colour, size):
    image = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    draw_picture(ImageDraw.Draw(image), size, colour)
    return image


def save(path, draw_picture, colour, sizes):
    images = [picture(draw_picture, colour, size) for size in sizes]
    images[0].save(path, format="ICO", sizes=[(size, size) for size in sizes], bitmap_format="bmp",
                   append_images=images[1:])


def main():
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    for resource_id, (name, draw_picture, colour, sizes) in ICONS.items():
        save(folder / f"{name}.ico", draw_picture, colour, sizes)
        if 316 <= resource_id <= 321:
            save(folder / f"{name}_off.ico", draw_picture, GREY, sizes)


if __name__ == "__main__":
    main()
