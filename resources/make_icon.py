#!/usr/bin/python3
# Draws the updater's application icon (a grey gear under a green circular arrow) and writes
# update.ico with 16, 32, 48, 64 and 128 pixel images, 32-bit colour with alpha.
import math
import os

from PIL import Image, ImageDraw

SIZES = [16, 32, 48, 64, 128]
SCALE = 512  # drawn large once, then reduced with a good filter for each size


def draw_icon():
    image = Image.new("RGBA", (SCALE, SCALE), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)
    centre = SCALE / 2
    # The gear: a toothed ring of metallic grey.
    outer, inner, teeth = SCALE * 0.47, SCALE * 0.38, 10
    points = []
    for step in range(teeth * 4):
        angle = 2 * math.pi * step / (teeth * 4)
        radius = outer if step % 4 in (1, 2) else inner
        points.append((centre + radius * math.cos(angle), centre + radius * math.sin(angle)))
    draw.polygon(points, fill=(150, 155, 162, 255), outline=(95, 100, 108, 255))
    hub = SCALE * 0.30
    draw.ellipse([centre - hub, centre - hub, centre + hub, centre + hub],
                 fill=(205, 208, 214, 255), outline=(120, 125, 132, 255), width=6)
    # The green arrow: a thick arc turning clockwise, its head at the upper right.
    ring = SCALE * 0.22
    width = int(SCALE * 0.09)
    box = [centre - ring, centre - ring, centre + ring, centre + ring]
    draw.arc(box, start=-30, end=280, fill=(40, 160, 60, 255), width=width)
    tip_angle = math.radians(-30)
    tip = (centre + ring * math.cos(tip_angle), centre + ring * math.sin(tip_angle))
    head = SCALE * 0.11
    draw.polygon([(tip[0] - head, tip[1] - head * 0.2), (tip[0] + head, tip[1] - head * 0.2),
                  (tip[0], tip[1] + head * 1.1)], fill=(40, 160, 60, 255))
    return image


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    large = draw_icon()
    images = [large.resize((size, size), Image.LANCZOS) for size in SIZES]
    biggest = images[-1]
    biggest.save(os.path.join(here, "update.ico"), format="ICO",
                 sizes=[(size, size) for size in SIZES], append_images=images[:-1])


if __name__ == "__main__":
    main()
