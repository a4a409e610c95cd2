#!/usr/bin/env bash
# Installs the Debian packages that Vistrel's build, tests and benchmarks need, and only
# those that are missing. Works as root or through sudo; safe to run again.
set -euo pipefail

packages=(
    # build tools and the sanitizer/fuzzer toolchain; pkg-config finds the picture libraries
    pkg-config build-essential cmake ninja-build clang libclang-rt-14-dev clang-format
    # Qt 6 Widgets and its offscreen/X11 platforms
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-qpa-plugins libgl-dev
    # picture decoders: libspng PNG, libtiff TIFF, libwebp WebP, libheif HEIC/HEIF and
    # AVIF, libjxl JPEG XL, librsvg SVG
    libjpeg62-turbo-dev libgif-dev libspng-dev libtiff-dev libwebp-dev libheif-dev libjxl-dev
    librsvg2-dev
    # colour profiles embedded in pictures, converted to sRGB; the standard CMYK press
    # profile (SWOP) a CMYK picture without one is converted from (libgs-common's); zlib for
    # the tests' PNG builders
    liblcms2-dev libgs-common zlib1g-dev
    # a picture's Exif block (date taken, camera, lens, exposure, place) for File > Properties,
    # read by the metadata module's Exif reader
    libexiv2-dev
    # Qt's WebP and TIFF writers, which write the tests' pictures of those formats
    qt6-image-formats-plugins
    # fonts for the interface and for metafile text; the others draw the scripts and symbols
    # of metafile text (Greek, Cyrillic, Hebrew, Arabic, bracket pieces; CJK; Thai)
    fonts-liberation fontconfig fonts-dejavu-core fonts-wqy-zenhei fonts-tlwg-garuda-ttf
    # other programs' picture writers and readers, which the loader's pictures are compared
    # with (imaging_tst_other_writers), and the metafile renderers the player's pictures are
    # compared with (metafile_tst_other_renderers: libwmf for WMF, Inkscape for EMF); ImageMagick
    # also reads the BMP the clipboard offers (shell_tst_drop_and_copy)
    imagemagick python3-pil python3-numpy netpbm giflib-tools libjpeg-turbo-progs libwmf-bin
    inkscape libtiff-tools webp python3-tifffile
    # a grey profile far from sRGB's curve, which imaging_tst_other_writers writes into
    # grey pictures
    icc-profiles-free
    # libheif's encoder, which writes the HEIC with a colour profile that
    # imaging_tst_picture_markers reads (ImageMagick leaves the profile out)
    libheif-examples
    # librsvg's rsvg-convert and libjxl's cjxl/djxl, which write the drawings' and the JPEG XL
    # pictures' references and files in imaging_tst_other_writers
    librsvg2-bin libjxl-tools
    # a real X server for tests and screenshots, with a window manager and pointer input
    xvfb xauth openbox xdotool
    # the install check and the Debian package: validators, dpkg-shlibdeps (with objdump
    # from binutils) and file, which CPack asks what each installed file is
    desktop-file-utils appstream dpkg-dev binutils file
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo=sudo
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
