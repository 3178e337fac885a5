#!/usr/bin/python3
"""Draws the application icon of Karstel.exe and writes app/dialog/karstel.ico.

The artwork is a glyph atlas in miniature: a dark rounded tile ruled into
cells, one cell lit in amber, and a white "K" drawn over them. Each size is
drawn at four times its resolution and scaled down, so edges are smooth;
the smallest sizes drop the cell rules, which would only blur at 16 pixels.

The file holds 32-bit images of 16, 32, 48, 64, 96, 128 and 256 pixels:
uncompressed DIBs (with their AND mask) up to 128 pixels, which every
Windows version reads, and PNG at 256 pixels, as Windows Vista and later
expect. The build uses the committed .ico; run this only to change the art:

    /usr/bin/python3 tools/make_icon.py
"""

import io
import os
import struct

from PIL import Image, ImageDraw

SIZES = [16, 32, 48, 64, 96, 128, 256]
SUPERSAMPLE = 4

TILE_TOP = (38, 52, 92)
TILE_BOTTOM = (16, 22, 44)
RULE = (86, 104, 150)
AMBER = (247, 176, 45)
WHITE = (255, 255, 255)


def lerp(a, b, t):
  return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def draw(size):
  """One icon image of size x size pixels, RGBA."""
  big = size * SUPERSAMPLE
  u = big / 64.0  # drawing unit: the art is laid out on a 64 x 64 grid
  image = Image.new("RGBA", (big, big), (0, 0, 0, 0))

  # The tile: a vertical gradient clipped to a rounded square.
  gradient = Image.new("RGBA", (big, big))
  pixels = gradient.load()
  for y in range(big):
    colour = lerp(TILE_TOP, TILE_BOTTOM, y / (big - 1)) + (255,)
    for x in range(big):
      pixels[x, y] = colour
  mask = Image.new("L", (big, big), 0)
  ImageDraw.Draw(mask).rounded_rectangle(
      (2 * u, 2 * u, 62 * u, 62 * u), radius=12 * u, fill=255)
  image.paste(gradient, (0, 0), mask)

  canvas = ImageDraw.Draw(image)
  # The lit cell, bottom right, like the last glyph written to the atlas.
  canvas.rectangle((40 * u, 40 * u, 52 * u, 52 * u), fill=AMBER + (255,))
  if size >= 48:
    for i in (16, 28, 40, 52):
      width = max(1, round(0.8 * u))
      canvas.line((i * u, 10 * u, i * u, 54 * u), fill=RULE + (255,),
                  width=width)
      canvas.line((10 * u, i * u, 54 * u, i * u), fill=RULE + (255,),
                  width=width)

  # The "K": a stem and two arms, as polygons.
  stem = [(13, 12), (22, 12), (22, 52), (13, 52)]
  upper = [(22, 31), (37, 12), (48, 12), (28, 35)]
  lower = [(26, 30), (34, 26), (47, 52), (36, 52)]
  for polygon in (stem, upper, lower):
    canvas.polygon([(x * u, y * u) for x, y in polygon], fill=WHITE + (255,))

  return image.resize((size, size), Image.LANCZOS)


def dib_entry(image):
  """A 32-bit BGRA DIB with its 1-bit AND mask, bottom-up, as ICO holds it."""
  size = image.width
  header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0,
                       0, 0)
  rows = []
  mask_rows = []
  mask_stride = ((size + 31) // 32) * 4
  for y in reversed(range(size)):
    row = bytearray()
    bits = bytearray(mask_stride)
    for x in range(size):
      r, g, b, a = image.getpixel((x, y))
      row += bytes((b, g, r, a))
      if a == 0:
        bits[x // 8] |= 0x80 >> (x % 8)
    rows.append(bytes(row))
    mask_rows.append(bytes(bits))
  return header + b"".join(rows) + b"".join(mask_rows)


def png_entry(image):
  out = io.BytesIO()
  image.save(out, format="PNG", optimize=True)
  return out.getvalue()


def write_ico(path, images):
  entries = [png_entry(i) if i.width >= 256 else dib_entry(i) for i in images]
  directory = struct.pack("<HHH", 0, 1, len(images))
  offset = 6 + 16 * len(images)
  for image, data in zip(images, entries):
    dimension = 0 if image.width >= 256 else image.width
    directory += struct.pack("<BBBBHHII", dimension, dimension, 0, 0, 1, 32,
                             len(data), offset)
    offset += len(data)
  with open(path, "wb") as f:
    f.write(directory + b"".join(entries))


def main():
  root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
  write_ico(os.path.join(root, "app", "dialog", "karstel.ico"),
            [draw(s) for s in SIZES])


if __name__ == "__main__":
  main()
