"""Pillow's side of the other-writers test, run with Debian's /usr/bin/python3.

  pillow_pictures.py sources              the seeded source pictures, in the current folder
  pillow_pictures.py write KIND OUT...    pictures as Pillow writes them, from those sources
  pillow_pictures.py read FILE...         each FILE's pixels as FILE.pillow.ppm, composited
                                          onto white; FILE.pillow.txt says why when Pillow
                                          cannot read it
"""
import sys

import numpy
from PIL import Image

WIDTH, HEIGHT = 61, 37


def sources():
    random = numpy.random.default_rng(1)
    noise = random.integers(0, 256, (HEIGHT, WIDTH, 3), dtype=numpy.uint8)
    Image.fromarray(noise, "RGB").save("noise.ppm")
    # Every value of every channel, alone and together, in rows of 256.
    ramp = numpy.zeros((8, 256, 3), dtype=numpy.uint8)
    values = numpy.arange(256, dtype=numpy.uint8)
    for row, channels in enumerate([(0,), (1,), (2,), (0, 1, 2), (0, 1), (1, 2)]):
        for channel in channels:
            ramp[row, :, channel] = values
    ramp[6] = values[::-1, None]
    ramp[7, :, 0], ramp[7, :, 1], ramp[7, :, 2] = values, values[::-1], (values * 7) % 256
    Image.fromarray(ramp, "RGB").save("ramp.ppm")
    Image.fromarray(ramp[:, :, 0], "L").save("ramp.pgm")
    # Every alpha from 0 to 255 over noise, plus whole rows opaque and clear.
    alpha = random.integers(0, 256, (HEIGHT, WIDTH), dtype=numpy.uint8)
    alpha[0, :] = 255
    alpha[1, :] = 0
    alpha.flat[: 256] = values
    rgba = numpy.dstack([noise, alpha])
    Image.fromarray(rgba, "RGBA").save("noise_rgba.png")


def plasma():
    return Image.open("plasma.ppm").convert("RGB")


def write(kind, out):
    noise = Image.open("noise.ppm")
    rgba = Image.open("noise_rgba.png")
    writers = {
        "bmp-1": lambda: noise.convert("1").save(out, "BMP"),
        "bmp-l": lambda: Image.open("ramp.pgm").save(out, "BMP"),
        "bmp-p": lambda: plasma().quantize(256).save(out, "BMP"),
        "bmp-rgb": lambda: noise.save(out, "BMP"),
        "bmp-rgba": lambda: rgba.save(out, "BMP"),
        "dib-rgb": lambda: noise.save(out, "DIB"),
        "dib-p": lambda: plasma().quantize(100).save(out, "DIB"),
        "ico-png": lambda: rgba.resize((64, 64)).save(out, "ICO", sizes=[(16, 16), (32, 32), (64, 64)]),
        "ico-png-256": lambda: plasma().resize((256, 256)).save(out, "ICO", sizes=[(48, 48), (256, 256)]),
        "ico-png-wide": lambda: rgba.save(out, "ICO", sizes=[(32, 32)]),
        "ico-bmp-rgba": lambda: rgba.resize((48, 48)).save(
            out, "ICO", sizes=[(16, 16), (48, 48)], bitmap_format="bmp"),
        "ico-bmp-p": lambda: plasma().resize((32, 32)).quantize(256).save(
            out, "ICO", sizes=[(32, 32)], bitmap_format="bmp"),
        "gif": lambda: plasma().save(out, "GIF", interlace=False),
        "gif-interlaced": lambda: plasma().save(out, "GIF", interlace=True),
        "gif-transparent": lambda: plasma().quantize(200).save(out, "GIF", transparency=3),
        "gif-small-palette": lambda: noise.quantize(5).save(out, "GIF", optimize=True),
        "jpeg": lambda: plasma().save(out, "JPEG", quality=90),
        "jpeg-progressive": lambda: plasma().save(out, "JPEG", quality=85, progressive=True,
                                                  optimize=True),
        "jpeg-444": lambda: noise.save(out, "JPEG", quality=95, subsampling=0),
        "jpeg-422": lambda: plasma().save(out, "JPEG", quality=75, subsampling=1),
        "jpeg-grey": lambda: Image.open("ramp.pgm").save(out, "JPEG", quality=90),
        "jpeg-cmyk": lambda: plasma().convert("CMYK").save(out, "JPEG", quality=90),
    }
    writers[kind]()


def on_white(image):
    rgba = numpy.asarray(image.convert("RGBA"), dtype=numpy.uint32)
    alpha = rgba[:, :, 3:4]
    rgb = (rgba[:, :, :3] * alpha + 255 * (255 - alpha) + 127) // 255
    return Image.fromarray(rgb.astype(numpy.uint8), "RGB")


def read(files):
    for name in files:
        try:
            with Image.open(name) as image:
                image.load()
                on_white(image).save(name + ".pillow.ppm")
        except Exception as error:
            with open(name + ".pillow.txt", "w") as reason:
                reason.write(f"{type(error).__name__}: {error}")


if __name__ == "__main__":
    if sys.argv[1] == "sources":
        sources()
    elif sys.argv[1] == "write":
        failed = False
        for kind, out in zip(sys.argv[2::2], sys.argv[3::2]):
            try:
                write(kind, out)
            except Exception as error:
                print(f"{out}: {type(error).__name__}: {error}", file=sys.stderr)
                failed = True
        sys.exit(1 if failed else 0)
    else:
        read(sys.argv[2:])
