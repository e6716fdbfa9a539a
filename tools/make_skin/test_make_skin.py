"""The drawn window images: the table agrees with ui/skin_resources.h, and
every written file is a valid PNG of the size and frame count the window
expects, within the size budget.

Run: /usr/bin/python3 -m pytest -q -p no:cacheprovider tools/make_skin
"""

import pathlib
import re
import struct
import subprocess
import sys
import zlib

import pytest

sys.dont_write_bytecode = True
HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent.parent
SCRIPT = HERE / 'make_skin.py'
sys.path.insert(0, str(HERE))
import make_skin  # noqa: E402

# All images together, with some room; the installer as a whole must stay
# small.
BUDGET_BYTES = 50 * 1024


def header_table():
    """[(enum name, (id_100, id_200, ru_100, ru_200, width, height, frames))]"""
    text = (ROOT / 'ui' / 'skin_resources.h').read_text()
    enum = re.search(r'enum SkinImage \{(.*?)kSkinImageCount', text, re.S).group(1)
    names = re.findall(r'\bkSkin(\w+),', enum)
    table = re.search(r'kSkinImages\[kSkinImageCount\] = \{(.*?)\n\};', text, re.S).group(1)
    rows = [tuple(int(v) for v in row.split(','))
            for row in re.findall(r'\{([-\d,\s]+)\}', table)]
    assert len(names) == len(rows), 'enum and table of the header differ in length'
    return list(zip(names, rows))


def snake(name):
    return re.sub(r'(?<!^)([A-Z])', r'_\1', name).lower()


def test_table_matches_header():
    header = header_table()
    ours = [(image.name, image.ids + (image.frame_width, image.frame_height, image.frames))
            for image in make_skin.IMAGES]
    assert [(snake(n), row) for n, row in header] == ours


def decode(data):
    """(width, height, RGBA bytes) of one of our PNGs, checking the chunk
    structure, the CRCs and the filter bytes on the way."""
    assert data[:8] == b'\x89PNG\r\n\x1a\n'
    pos, chunks = 8, []
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        crc, = struct.unpack('>I', data[pos + 8 + length:pos + 12 + length])
        assert zlib.crc32(kind + body) == crc, kind
        chunks.append((kind, body))
        pos += 12 + length
    kinds = [k for k, _ in chunks]
    assert kinds[0] == b'IHDR' and kinds[-1] == b'IEND' and b'IDAT' in kinds
    width, height, depth, colour_type, comp, filt, interlace = struct.unpack(
        '>IIBBBBB', chunks[0][1])
    assert (comp, filt, interlace) == (0, 0, 0)
    body = dict(chunks)
    channels = {2: 3, 3: 1, 6: 4}[colour_type]
    bpp = max(1, channels * depth // 8)
    stride = (width * channels * depth + 7) // 8
    raw = zlib.decompress(b''.join(b for k, b in chunks if k == b'IDAT'))
    assert len(raw) == height * (stride + 1)
    if colour_type == 3:
        palette, alphas = body[b'PLTE'], body.get(b'tRNS', b'')
        assert len(palette) % 3 == 0 and len(alphas) <= len(palette) // 3
        entries = [palette[3 * i:3 * i + 3] + bytes([alphas[i] if i < len(alphas) else 255])
                   for i in range(len(palette) // 3)]
    out, prev = bytearray(), bytearray(stride)
    for y in range(height):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        assert f <= 4
        if f == 2:
            line = bytearray((a + b) & 255 for a, b in zip(line, prev))
        elif f:
            for i in range(stride):
                a = line[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                if f == 1:
                    p = a
                elif f == 3:
                    p = (a + b) >> 1
                else:
                    q = a + b - c
                    pa, pb, pc = abs(q - a), abs(q - b), abs(q - c)
                    p = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + p) & 255
        prev = line
        if colour_type == 3:
            per = 8 // depth
            mask = (1 << depth) - 1
            indices = [line[x // per] >> (8 - depth * (x % per + 1)) & mask for x in range(width)]
            assert max(indices) < len(entries), 'index past the palette'
            out += b''.join(entries[v] for v in indices)
        elif colour_type == 2:
            rgba = bytearray(width * 4)
            rgba[0::4], rgba[1::4], rgba[2::4] = line[0::3], line[1::3], line[2::3]
            rgba[3::4] = b'\xff' * width
            out += rgba
        else:
            out += line
    return width, height, bytes(out)


def frame_pixels(rgba, width, height, frames, f):
    frame = width // frames * 4
    return b''.join(rgba[y * width * 4 + f * frame:y * width * 4 + (f + 1) * frame]
                    for y in range(height))


@pytest.fixture(scope='module')
def written(tmp_path_factory):
    out = tmp_path_factory.mktemp('skin')
    subprocess.run([sys.executable, str(SCRIPT), '--out', str(out)], check=True)
    listing = subprocess.run([sys.executable, str(SCRIPT), '--list'], check=True,
                             capture_output=True, text=True).stdout.split()
    return out, dict(zip(map(int, listing[0::2]), listing[1::2]))


def test_listing_names_every_header_id(written):
    _, listing = written
    ids = {i for _, row in header_table() for i in row[:4] if i}
    assert set(listing) == ids


def test_files(written):
    out, listing = written
    total = 0
    for image in make_skin.IMAGES:
        for (rid, name, scale, _) in image.variants():
            assert listing[rid] == name
            data = (out / name).read_bytes()
            total += len(data)
            width, height, rgba = decode(data)
            assert (width, height) == (image.frame_width * image.frames * scale,
                                       image.frame_height * scale), name
            frames = [frame_pixels(rgba, width, height, image.frames, f)
                      for f in range(image.frames)]
            for f, pixels in enumerate(frames):
                assert any(pixels[3::4]), '%s: frame %d is empty' % (name, f)
                for g in range(f):
                    assert pixels != frames[g], '%s: frames %d and %d are equal' % (name, g, f)
            if image.page is not None:
                assert set(rgba[3::4]) == {255}, name + ' is not opaque'
    assert total <= BUDGET_BYTES, 'the images take %d bytes' % total


def test_200_percent_matches_100_percent(written):
    # Each 100 % pixel against the mean of its 2 x 2 pixels at 200 %
    # (premultiplied): a variant drawn at the wrong place or scale shows.
    out, _ = written
    for image in make_skin.IMAGES:
        variants = image.variants()
        for small, large in zip(variants[0::2], variants[1::2]):
            w, h, a = decode((out / small[1]).read_bytes())
            _, _, b = decode((out / large[1]).read_bytes())
            total = 0
            for y in range(h):
                for x in range(w):
                    i = (y * w + x) * 4
                    quad = [((2 * y + dy) * 2 * w + 2 * x + dx) * 4 for dy in (0, 1) for dx in (0, 1)]
                    for k in range(3):
                        mean = sum(b[j + k] * b[j + 3] for j in quad) / 4.0
                        total += abs(a[i + k] * a[i + 3] - mean) / 255.0
            assert total / (w * h * 3) < 2.0, large[1]


def test_first_background_leaves_room_for_the_code(written):
    # The window draws the title, the options and the install button on the
    # left and a dark cross in the top right corner: both stay plain white.
    out, _ = written
    for name in ('first_background_100.png', 'first_background_200.png',
                 'first_background_ru_100.png', 'first_background_ru_200.png'):
        w, _, rgba = decode((out / name).read_bytes())
        s = w // 728
        white = b'\xff' * 4

        def plain(x0, y0, x1, y1):
            return all(rgba[(y * w + x0) * 4:(y * w + x1) * 4] == white * (x1 - x0)
                       for y in range(y0, y1))
        assert plain(s, s, 428 * s, 399 * s), name
        assert plain(680 * s, s, 727 * s, 44 * s), name
        assert rgba[200 * s * w * 4:200 * s * w * 4 + 4] == bytes([0xD5, 0xDA, 0xE3, 255]), name
