#!/usr/bin/python3
# Draws the update window's background picture (340 x 114 baseline JPEG): a grey gear cut off at
# the left, a green clockwise arrow over it, the waiting text at the bottom right, white elsewhere.
#
# Needs Debian's python3-pil and fonts-wqy-zenhei; run with /usr/bin/python3:
#   /usr/bin/python3 resources/make_background.py [output.jpg]
# The output is deterministic for a given Pillow/FreeType/font version.
import math
import os
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

WIDTH, HEIGHT = 340, 114
SCALE = 4  # shapes are drawn this much larger, then reduced, for smooth edges
FONT_FILE = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc"
TEXT = "正在应用升级，请稍候..."
# The text's ink starts at a JPEG block row (y 96), so the white above it keeps no ringing.
TEXT_LEFT, TEXT_RIGHT, TEXT_TOP, TEXT_SIZE = 121, 329, 96, 16

# The gear: centred half-way down, cut by the left, top and bottom edges, reaching x ~129.
GEAR_CX, GEAR_CY = 57, 57
GEAR_TIP, GEAR_ROOT = 72, 62
GEAR_TEETH = 11
# The circular arrow over the gear's middle (about x 33..120, y 8..72), white inside.
ARROW_CX, ARROW_CY = 74, 41
ARROW_OUTER, ARROW_INNER = 33, 20
ARROW_HEAD_ANGLE = -38  # degrees, screen coordinates (y down): the upper right
ARROW_SWEEP = 292  # the arc runs clockwise from its tail to the arrowhead


def s(v):
  return v * SCALE


def gradient(size, top, bottom, angle=0):
  """An RGB linear gradient from `top` to `bottom` colour, rotated by `angle` degrees."""
  mask = Image.linear_gradient("L").rotate(angle, resample=Image.BICUBIC, expand=False)
  mask = mask.resize(size, Image.BICUBIC)
  return Image.composite(Image.new("RGB", size, bottom), Image.new("RGB", size, top), mask)


def shifted(mask, dx, dy):
  """The mask moved right and down, without wrapping round the edges."""
  out = Image.new("L", mask.size, 0)
  out.paste(mask, (dx, dy))
  return out


def gear_outline(cx, cy, tip, root, teeth):
  """The gear's outline as a polygon with trapezoid teeth."""
  points = []
  step = 2 * math.pi / teeth
  # Fractions of one tooth pitch: rising flank, flat tip, falling flank, flat root.
  profile = [(0.00, root), (0.12, tip), (0.42, tip), (0.54, root)]
  for i in range(teeth):
    base = i * step - math.pi / 2
    for frac, r in profile:
      a = base + frac * step
      points.append((cx + r * math.cos(a), cy + r * math.sin(a)))
  return points


def draw_gear(canvas):
  size = canvas.size
  cx, cy = s(GEAR_CX), s(GEAR_CY)
  shape = Image.new("L", size, 0)
  d = ImageDraw.Draw(shape)
  d.polygon(gear_outline(cx, cy, s(GEAR_TIP), s(GEAR_ROOT), GEAR_TEETH), fill=255)

  # Brushed-metal body: light at the upper left, a little darker at the lower right.
  body = gradient(size, (232, 234, 237), (158, 162, 168), angle=45)
  # A darker rim just inside the edge and a raised hub ring make the relief.
  rim = Image.new("L", size, 0)
  ImageDraw.Draw(rim).polygon(
      gear_outline(cx, cy, s(GEAR_TIP - 3), s(GEAR_ROOT - 3), GEAR_TEETH), fill=255)
  edge = ImageChops.subtract(shape, rim)
  body.paste((150, 154, 160), mask=edge)
  hub = Image.new("L", size, 0)
  hd = ImageDraw.Draw(hub)
  r1, r2 = s(50), s(45)
  hd.ellipse((cx - r1, cy - r1, cx + r1, cy + r1), fill=255)
  hd.ellipse((cx - r2, cy - r2, cx + r2, cy + r2), fill=0)
  body.paste(gradient(size, (250, 251, 252), (160, 164, 170), angle=45), mask=hub)
  groove = Image.new("L", size, 0)
  r3 = s(51)
  ImageDraw.Draw(groove).ellipse((cx - r3, cy - r3, cx + r3, cy + r3), outline=255, width=s(1))
  body.paste((140, 144, 150), mask=groove)

  # A soft shadow to the lower right lifts the gear off the white page.
  shadow = shape.filter(ImageFilter.GaussianBlur(s(2)))
  shadow = shifted(shadow, s(1), s(1)).point(lambda v: v * 35 // 100)
  canvas.paste((120, 120, 120), mask=shadow)
  canvas.paste(body, mask=shape)


def ring_sector(cx, cy, r_out, r_in, start, end):
  """Mask of the ring between two radii from angle `start` to `end` (degrees, clockwise)."""
  m = Image.new("L", (s(WIDTH), s(HEIGHT)), 0)
  d = ImageDraw.Draw(m)
  d.pieslice((cx - r_out, cy - r_out, cx + r_out, cy + r_out), start, end, fill=255)
  d.ellipse((cx - r_in, cy - r_in, cx + r_in, cy + r_in), fill=0)
  return m


def polar(cx, cy, r, deg):
  a = math.radians(deg)
  return (cx + r * math.cos(a), cy + r * math.sin(a))


def draw_arrow(canvas):
  size = canvas.size
  cx, cy = s(ARROW_CX), s(ARROW_CY)
  r_out, r_in = s(ARROW_OUTER), s(ARROW_INNER)
  r_mid = (r_out + r_in) / 2
  head = ARROW_HEAD_ANGLE
  tail = head - ARROW_SWEEP

  # The white centre covers the gear's hub.
  d = ImageDraw.Draw(canvas)
  d.ellipse((cx - r_in, cy - r_in, cx + r_in, cy + r_in), fill=(255, 255, 255))

  shape = ring_sector(cx, cy, r_out, r_in, tail, head)
  # Arrowhead: a triangle wider than the band, its tip further along the clockwise way.
  half = (r_out - r_in) * 1.05
  tip_angle = head + 30
  triangle = [polar(cx, cy, r_in - half * 0.9, head), polar(cx, cy, r_out + half * 0.9, head),
              polar(cx, cy, r_mid, tip_angle)]
  ImageDraw.Draw(shape).polygon(triangle, fill=255)

  # Glossy green: bright at the top, deep at the bottom, a dark edge, and a white sheen on the
  # upper half of the band.
  body = gradient(size, (120, 214, 80), (22, 120, 30))
  outline = ImageChops.subtract(shape, shape.filter(ImageFilter.MinFilter(2 * SCALE + 1)))
  body.paste((18, 90, 24), mask=outline)
  sheen = ring_sector(cx, cy, r_out - s(3), r_mid, tail + 5, head - 3)
  sheen_top = Image.new("L", size, 0)
  ImageDraw.Draw(sheen_top).rectangle((0, 0, size[0], cy), fill=255)
  sheen = ImageChops.multiply(sheen, sheen_top).filter(ImageFilter.GaussianBlur(s(1)))
  sheen = sheen.point(lambda v: v * 55 // 100)
  body.paste((255, 255, 255), mask=sheen)

  shadow = shape.filter(ImageFilter.GaussianBlur(s(2)))
  shadow = shifted(shadow, s(1), s(2)).point(lambda v: v * 40 // 100)
  canvas.paste((60, 70, 60), mask=shadow)
  canvas.paste(body, mask=shape)


def draw_text(image):
  """Bold black text from TEXT_LEFT to TEXT_RIGHT, ink top at TEXT_TOP, drawn at its own size."""
  font = ImageFont.truetype(FONT_FILE, TEXT_SIZE, index=0)
  d = ImageDraw.Draw(image)
  widths = [font.getlength(ch) for ch in TEXT]
  # Spread the glyphs evenly over the span, one extra pixel for the faked bold stroke.
  spacing = (TEXT_RIGHT - TEXT_LEFT - 1 - sum(widths)) / (len(TEXT) - 1)
  top = TEXT_TOP - font.getbbox(TEXT)[1]
  x = float(TEXT_LEFT)
  for ch, w in zip(TEXT, widths):
    for dx in (0, 1):  # the font has no bold face: draw it twice, a pixel apart
      d.text((round(x) + dx, top), ch, font=font, fill=(0, 0, 0))
    x += w + spacing


def main():
  out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__),
                                                          "background.jpg")
  big = Image.new("RGB", (s(WIDTH), s(HEIGHT)), (255, 255, 255))
  draw_gear(big)
  draw_arrow(big)
  image = big.resize((WIDTH, HEIGHT), Image.LANCZOS)
  draw_text(image)
  # Full-resolution colour: decoders differ in how they upsample halved chroma, and without it
  # libjpeg and the Windows picture loader give the same pixels.
  image.save(out, "JPEG", quality=88, optimize=True, progressive=False, subsampling="4:4:4")


if __name__ == "__main__":
  main()
