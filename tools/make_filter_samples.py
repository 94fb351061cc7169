#!/usr/bin/python3
"""Writes the LZW samples of testdata/filters/ and checks each one with qpdf (through pikepdf):
qpdf must decode it to the data the tests expect. The data is generated, so that the tests can
compute it too: byte i is (i * 31 + i // 97) % 256, for SAMPLE_LENGTH bytes; the table fills and is cleared several times.
   tools/make_filter_samples.py"""
import os
import sys

import pikepdf

SAMPLE_LENGTH = 60000
HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "testdata", "filters")


def sample_data():
    return bytes((i * 31 + i // 97) % 256 for i in range(SAMPLE_LENGTH))


def lzw_encode(data, early_change):
    """Codes of 9 to 12 bits, most significant bit first; a clear code whenever the table fills."""
    out_bits = []
    table = {bytes([i]): i for i in range(256)}
    next_code = 258
    width = 9

    def put(code):
        out_bits.append((code, width))

    put(256)
    current = b""
    for byte in data:
        candidate = current + bytes([byte])
        if candidate in table:
            current = candidate
            continue
        put(table[current])
        table[candidate] = next_code
        next_code += 1
        # The decoder adds each entry one code later than this encoder: its table is one short.
        if (next_code - 1) + early_change >= (1 << width) and width < 12:
            width += 1
        if next_code >= 4095:
            put(256)
            table = {bytes([i]): i for i in range(256)}
            next_code = 258
            width = 9
        current = bytes([byte])
    if current:
        put(table[current])
    put(257)
    value = 0
    count = 0
    out = bytearray()
    for code, bits in out_bits:
        value = (value << bits) | code
        count += bits
        while count >= 8:
            count -= 8
            out.append((value >> count) & 0xFF)
    if count:
        out.append((value << (8 - count)) & 0xFF)
    return bytes(out)


def check_with_qpdf(encoded, early_change, expected):
    pdf = pikepdf.new()
    stream = pikepdf.Stream(pdf, encoded)
    stream.Filter = pikepdf.Name.LZWDecode
    stream.DecodeParms = pikepdf.Dictionary(EarlyChange=early_change)
    if stream.read_bytes() != expected:
        sys.exit("qpdf decodes the sample differently")


def main():
    os.makedirs(OUT, exist_ok=True)
    data = sample_data()
    for early_change in (1, 0):
        encoded = lzw_encode(data, early_change)
        check_with_qpdf(encoded, early_change, data)
        name = os.path.join(OUT, f"sample-early{early_change}.lzw")
        with open(name, "wb") as f:
            f.write(encoded)
        print(name, len(encoded), "bytes")


if __name__ == "__main__":
    main()
