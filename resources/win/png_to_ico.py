"""Writes a Windows icon file from PNG pictures, one 32-bit image each (BGRA with an AND
mask), so that the Win32 resource compiler can take the pictures the Qt build compiles in.
Usage: python3 png_to_ico.py OUT.ico IN.png...   (8-bit or palette PNGs, no interlace)"""
import struct
import sys
import zlib


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG file")
    pos, idat, palette, alpha = 8, b"", [], b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = [tuple(body[i:i + 3]) for i in range(0, len(body), 3)]
        elif kind == b"tRNS":
            alpha = body
        elif kind == b"IDAT":
            idat += body
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour]
    if interlace or (colour != 3 and depth != 8):
        raise ValueError(f"{path}: unsupported PNG layout (depth {depth}, colour {colour})")
    bits = channels * depth
    stride = (width * bits + 7) // 8
    step = max(1, bits // 8)
    raw = zlib.decompress(idat)
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = line[i - step] if i >= step else 0
            b = previous[i]
            c = previous[i - step] if i >= step else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        previous = line
    pixels = []  # RGBA rows, top first
    for line in rows:
        row = []
        for x in range(width):
            if colour == 3:
                index = (line[x * depth // 8] >> (8 - depth - (x * depth % 8))) & ((1 << depth) - 1)
                r, g, b = palette[index]
                row.append((r, g, b, alpha[index] if index < len(alpha) else 255))
            else:
                px = line[x * channels:(x + 1) * channels]
                if colour == 0:
                    row.append((px[0], px[0], px[0], 255))
                elif colour == 4:
                    row.append((px[0], px[0], px[0], px[1]))
                elif colour == 2:
                    row.append((px[0], px[1], px[2], 255))
                else:
                    row.append(tuple(px))
        pixels.append(row)
    return width, height, pixels


def icon_image(width, height, pixels):
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(pixels) for r, g, b, a in row)
    mask_stride = ((width + 31) // 32) * 4
    mask = b""
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + colour + mask


def main():
    out, inputs = sys.argv[1], sys.argv[2:]
    pictures = [read_png(path) for path in inputs]
    images = [icon_image(*picture) for picture in pictures]
    sizes = [picture[:2] for picture in pictures]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (w, h), image in zip(sizes, images):
        data += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(out, "wb") as f:
        f.write(data + b"".join(images))


if __name__ == "__main__":
    main()
