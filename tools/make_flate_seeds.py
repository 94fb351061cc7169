#!/usr/bin/env python3
"""Writes the seed corpus of the Flate fuzz target: zlib data of known rows, each file
prefixed with the seven parameter bytes the target reads (Predictor, Colors,
BitsPerComponent, Columns as 24 bits, form flags)."""
import os
import sys
import zlib


def header(predictor, colors, bits, columns, flags=0):
    return bytes([predictor & 0xFF, colors & 0xFF, bits & 0xFF,
                  (columns >> 16) & 0xFF, (columns >> 8) & 0xFF, columns & 0xFF, flags])


def png_rows(rows, tags):
    return b"".join(bytes([tag]) + row for row, tag in zip(rows, tags))


def seeds():
    xref_rows = [bytes([1, 0, i * 16, 0]) for i in range(8)]
    image_rows = [bytes((x * 3 + y * 5) % 256 for x in range(12)) for y in range(6)]
    yield "xref_png_up", header(12, 1, 8, 4), zlib.compress(png_rows(xref_rows, [2] * 8))
    yield "png_optimum_rgb", header(15, 3, 8, 4, 8), zlib.compress(png_rows(image_rows, [0, 1, 2, 3, 4, 2]))
    yield "png_16bit", header(14, 1, 16, 6, 2), zlib.compress(png_rows(image_rows, [4, 3, 1, 0, 2, 4]))
    yield "tiff_8bit_4colours", header(2, 4, 8, 3), zlib.compress(b"".join(image_rows))
    yield "tiff_1bit", header(2, 1, 1, 20, 1), zlib.compress(b"".join(image_rows))
    yield "tiff_2bit_3colours", header(2, 3, 2, 7, 4), zlib.compress(b"".join(image_rows))
    yield "tiff_4bit", header(2, 2, 4, 5, 3), zlib.compress(b"".join(image_rows))
    yield "tiff_16bit", header(2, 3, 16, 2), zlib.compress(b"".join(image_rows))
    yield "no_predictor", header(1, 1, 8, 1), zlib.compress(bytes(range(256)) * 12)
    yield "rows_without_tags", header(5, 1, 8, 7), zlib.compress(b"".join(image_rows)[:-3])
    damaged = bytearray(zlib.compress(bytes(range(256)) * 12))
    damaged[len(damaged) // 2] ^= 0x55
    yield "damaged", header(12, 1, 8, 4), bytes(damaged)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "corpus", "flate")
    os.makedirs(folder, exist_ok=True)
    for name, prefix, body in seeds():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(prefix + body)


if __name__ == "__main__":
    main()
