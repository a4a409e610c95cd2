"""Pillow's side of the other-writers test, run with Debian's /usr/bin/python3.

  pillow_pictures.py sources              the seeded source pictures, in the current folder
  pillow_pictures.py write KIND OUT...    pictures as Pillow writes them, from those sources
  pillow_pictures.py read FILE...         each FILE's pixels as FILE.pillow.ppm, composited
                                          onto white; FILE.pillow.txt says why when Pillow
                                          cannot read it
  pillow_pictures.py reference KIND FILE  FILE's pixels as FILE.ref.ppm by a reader that knows
                                          what Pillow's plain reading does not: "tifffile" (a
                                          TIFF's samples of any depth and layout), "cms" (a
                                          CMYK or profiled picture through LittleCMS), "im"
                                          (ImageMagick's reading, through libpng or libtiff)
  pillow_pictures.py planar OUT KIND      a TIFF in planes written by tifffile from a source
  pillow_pictures.py float OUT            a 32-bit floating point RGB TIFF written by tifffile
  pillow_pictures.py srgb FILE OUT        FILE's pixels converted from its embedded profile
                                          to sRGB by LittleCMS (ImageCms), onto white
"""
import io
import random as seeded
import struct
import subprocess
import sys

import numpy
import tifffile
from PIL import Image, ImageCms

# The standard press profile the program converts CMYK without a profile from.
SWOP = "/usr/share/color/icc/ghostscript/default_cmyk.icc"

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


def s15(value):
    return struct.pack(">i", round(value * 65536))


def xyz_tag(x, y, z):
    return b"XYZ " + bytes(4) + s15(x) + s15(y) + s15(z)


def gamma_tag(gamma):
    return b"curv" + bytes(4) + struct.pack(">IH", 1, round(gamma * 256)) + bytes(2)


def icc_profile(space, tags):
    """A version 2 display profile with the given (signature, data) tags."""
    tags = [(b"desc", b"desc" + bytes(4) + struct.pack(">I", 5) + b"test\0" + bytes(79))] + tags
    table, body = b"", b""
    offset = 128 + 4 + 12 * len(tags)
    for signature, data in tags:
        data += bytes(-len(data) % 4)
        table += signature + struct.pack(">II", offset + len(body), len(data))
        body += data
    d50 = s15(0.9642) + s15(1.0) + s15(0.8249)
    header = (struct.pack(">I", offset + len(body)) + bytes(4) + struct.pack(">I", 0x02100000)
              + b"mntr" + space + b"XYZ " + bytes(12) + b"acsp" + bytes(28) + d50 + bytes(48))
    return header + struct.pack(">I", len(tags)) + table + body


D50_WHITE = xyz_tag(0.9642, 1.0, 0.8249)
# Grey samples that are linear light: shown through sRGB's curve they look far too dark.
LINEAR_GREY = icc_profile(b"GRAY", [(b"wtpt", D50_WHITE), (b"kTRC", gamma_tag(1.0))])
# sRGB's colorants with red and blue exchanged: a red sample means blue.
SWAPPED_RGB = icc_profile(b"RGB ", [
    (b"wtpt", D50_WHITE),
    (b"rXYZ", xyz_tag(0.1431, 0.0606, 0.7141)),
    (b"gXYZ", xyz_tag(0.3851, 0.7169, 0.0971)),
    (b"bXYZ", xyz_tag(0.4361, 0.2225, 0.0139)),
    (b"rTRC", gamma_tag(2.2)), (b"gTRC", gamma_tag(2.2)), (b"bTRC", gamma_tag(2.2))])


def icon(entry, width, height):
    directory = struct.pack("<HHHBBBBHHII", 0, 1, 1, width % 256, height % 256, 0, 0, 1, 32,
                            len(entry), 22)
    return directory + entry


def icon_32(out, header_size, alphas, with_profile):
    """One 16 x 16 32-bit icon entry with its AND mask, the header 40 bytes or a V5 one whose
    alpha mask is left zero, with sRGB's profile after the mask."""
    random = seeded.Random(header_size)
    width = height = 16
    pixels = bytes(value for _ in range(width * height) for value in (
        random.randrange(256), random.randrange(256), random.randrange(256),
        random.choice(alphas)))
    mask = bytes(random.randrange(256) for _ in range(4 * height))
    profile = SWAPPED_RGB if with_profile else b""
    header = struct.pack("<IiiHHIIiiII", header_size, width, 2 * height, 1, 32,
                         3 if header_size > 40 else 0, len(pixels), 0, 0, 0, 0)
    if header_size > 40:
        header += struct.pack("<IIII", 0xFF0000, 0xFF00, 0xFF, 0)
        header += struct.pack("<I", 0x4D424544) + bytes(36) + bytes(12)
        header += struct.pack("<IIII", 4, header_size + len(pixels) + len(mask), len(profile), 0)
    with open(out, "wb") as file:
        file.write(icon(header + pixels + mask + profile, width, height))


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
        "png-grey-linear": lambda: Image.open("ramp.pgm").save(out, "PNG",
                                                               icc_profile=LINEAR_GREY),
        "png-swapped": lambda: plasma().save(out, "PNG", icc_profile=SWAPPED_RGB),
        "ico-v5-profile": lambda: icon_32(out, 124, [0, 77, 128, 255, 255], True),
        "ico-zero-alpha": lambda: icon_32(out, 40, [0], False),
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


def srgb_file(name, out):
    with Image.open(name) as image:
        profile = image.info.get("icc_profile")
        if profile:
            image = ImageCms.profileToProfile(
                image, ImageCms.ImageCmsProfile(io.BytesIO(profile)),
                ImageCms.createProfile("sRGB"), outputMode="RGB")
        on_white(image).save(out)


def to_srgb(image, profile):
    """image (CMYK, RGB or L) in sRGB through profile (ICC bytes, or None: CMYK from SWOP,
    anything else taken as sRGB), perceptual intent, as RGB."""
    import io
    if profile is None and image.mode != "CMYK":
        return image.convert("RGB")
    source = ImageCms.ImageCmsProfile(io.BytesIO(profile)) if profile else \
        ImageCms.getOpenProfile(SWOP)
    return ImageCms.profileToProfile(image, source, ImageCms.createProfile("sRGB"),
                                     outputMode="RGB")


def narrowed(samples):
    """Samples of any depth as 8 bits, to the nearest."""
    if samples.dtype.kind == "f":
        return numpy.rint(numpy.clip(samples, 0, 1) * 255).astype(numpy.uint8)
    top = numpy.iinfo(samples.dtype).max
    if top == 255:
        return samples
    return ((samples.astype(numpy.uint64) * 255 + top // 2) // top).astype(numpy.uint8)


def tiff_reference(name):
    with tifffile.TiffFile(name) as tiff:
        page = tiff.pages[0]
        samples = page.asarray()
        if page.axes.startswith("S"):
            samples = numpy.moveaxis(samples, 0, -1)
        if samples.ndim == 2:
            samples = samples[:, :, None]
        photometric = int(page.photometric)
        profile = page.tags[34675].value if 34675 in page.tags else None
        extras = [int(kind) for kind in page.extrasamples]
    values = narrowed(samples)
    colours = {0: 1, 1: 1, 2: 3, 5: 4}[photometric]
    colour = values[:, :, :colours]
    if photometric == 0:
        colour = 255 - colour
    if colours == 4:
        image = to_srgb(Image.fromarray(numpy.ascontiguousarray(colour), "CMYK"), profile)
    elif colours == 1:
        image = Image.fromarray(numpy.ascontiguousarray(colour[:, :, 0]), "L")
        image = to_srgb(image, profile) if profile else image.convert("RGB")
    else:
        image = to_srgb(Image.fromarray(numpy.ascontiguousarray(colour), "RGB"), profile)
    rgb = numpy.asarray(image, dtype=numpy.uint32)
    if extras and extras[0] in (1, 2):
        alpha = values[:, :, colours:colours + 1].astype(numpy.uint32)
        if extras[0] == 1:  # associated: the colour is already times alpha
            rgb = numpy.minimum(rgb + 255 - alpha, 255)
        else:
            rgb = (rgb * alpha + 255 * (255 - alpha) + 127) // 255
    Image.fromarray(rgb.astype(numpy.uint8), "RGB").save(name + ".ref.ppm")


def cms_reference(name):
    with Image.open(name) as image:
        image.load()
        profile = image.info.get("icc_profile")
        if image.mode in ("CMYK", "RGB", "L"):
            image = to_srgb(image, profile)
        on_white(image).save(name + ".ref.ppm")


def reference(kind, name):
    if kind == "tifffile":
        tiff_reference(name)
    elif kind == "cms":
        cms_reference(name)
    else:
        subprocess.run(["/usr/bin/convert", name + "[0]", "-background", "white", "-alpha",
                        "remove", "-alpha", "off", "-depth", "8", "ppm:" + name + ".ref.ppm"],
                       check=True)


def planar(out, kind):
    """The source in planes (tifffile takes them first): 16-bit RGB or CMYK (from
    ImageMagick's CMYK of the plasma) or 8-bit grey with alpha."""
    if kind == "cmyk16":
        samples = tifffile.imread("cmyk16.tif")
        tifffile.imwrite(out, numpy.moveaxis(samples, -1, 0), photometric="separated",
                         planarconfig="separate")
    elif kind == "rgb16":
        samples = numpy.asarray(plasma(), dtype=numpy.uint16) * 257
        tifffile.imwrite(out, numpy.moveaxis(samples, -1, 0), photometric="rgb",
                         planarconfig="separate")
    else:
        rgba = numpy.asarray(Image.open("noise_rgba.png"))
        grey = numpy.asarray(Image.open("noise_rgba.png").convert("L"))
        samples = numpy.dstack([grey, rgba[:, :, 3]])
        tifffile.imwrite(out, numpy.moveaxis(samples, -1, 0), photometric="minisblack",
                         planarconfig="separate", extrasamples=["unassalpha"])


def floating(out):
    samples = numpy.asarray(plasma(), dtype=numpy.float32) / 255
    tifffile.imwrite(out, samples, photometric="rgb")


if __name__ == "__main__":
    if sys.argv[1] == "srgb":
        srgb_file(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "sources":
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
    elif sys.argv[1] == "reference":
        reference(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "planar":
        planar(sys.argv[2], sys.argv[3])
    elif sys.argv[1] == "float":
        floating(sys.argv[2])
    else:
        read(sys.argv[2:])
