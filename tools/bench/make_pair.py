#!/usr/bin/env python3
"""Writes generated PDF files for the benchmarks: pages with their own Flate content stream
and Flate image, fonts and a logo image that every file carries byte for byte (so an append
finds them in both inputs), one bookmark per page, and an /Info dictionary.

  make_pair.py file OUT --pages N [--form classic|objstm] [--seed S] [--tiny]
  make_pair.py pair OUT_A OUT_B --pages N [--form classic|objstm] [--tiny]
  make_pair.py list FOLDER --count K [--form classic|objstm]

--form objstm writes a cross-reference stream, and keeps every non-stream object in object
streams: page dictionaries in one series of streams, bookmarks in another, so that reading
objects in number order moves back and forth between two object streams. --tiny leaves out
the page images and writes a few bytes of content per page. "list" writes K one-page files
p0001.pdf ... and list.txt naming them, one per line. The same arguments give the same bytes.
Standard library only.
"""

import argparse
import os
import random
import zlib

KIDS_PER_NODE = 100
OBJECTS_PER_STREAM = 100
IMAGE_SIDE = 80  # 80 x 80 RGB noise: about 19 KB per page after Flate
LOGO_SIDE = 32

FONTS = [
    b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
    b"<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /Encoding /WinAnsiEncoding >>",
    b"<< /Type /Font /Subtype /Type1 /BaseFont /Courier /Encoding /WinAnsiEncoding >>",
]
LINES = [b"Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod",
         b"tempor incididunt ut labore et dolore magna aliqua. Ut enim ad minim veniam,",
         b"quis nostrud exercitation ullamco laboris nisi ut aliquip ex ea commodo.",
         b"Duis aute irure dolor in reprehenderit in voluptate velit esse cillum."]


def stream_object(dictionary, data):
    return (b"<< " + dictionary + b" /Filter /FlateDecode /Length %d >>\nstream\n" % len(data) +
            data + b"\nendstream")


def logo_image():
    pixels = bytes((x * 8 + y * 3) & 0xFF for y in range(LOGO_SIDE) for x in range(LOGO_SIDE))
    return stream_object(b"/Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceGray "
                         b"/BitsPerComponent 8" % (LOGO_SIDE, LOGO_SIDE), zlib.compress(pixels, 6))


def page_content(page, name, tiny):
    if tiny:
        text = b"BT /F1 12 Tf 72 720 Td (%s %d) Tj ET" % (name, page)
    else:
        parts = [b"q BT /F1 24 Tf 72 740 Td (%s page %d) Tj ET" % (name, page),
                 b"BT /F2 10 Tf 72 700 Td 12 TL"]
        for k in range(24):
            parts.append(b"(%d.%d %s) '" % (page, k, LINES[(page + k) % len(LINES)]))
        parts.append(b"ET q 300 0 0 300 72 60 cm /Im1 Do Q q 60 0 0 60 480 700 cm /Logo Do Q Q")
        text = b"\n".join(parts)
    return stream_object(b"", zlib.compress(text, 6))


def page_image(rng):
    data = zlib.compress(rng.randbytes(IMAGE_SIDE * IMAGE_SIDE * 3), 1)
    return stream_object(b"/Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceRGB "
                         b"/BitsPerComponent 8" % (IMAGE_SIDE, IMAGE_SIDE), data)


class Layout:
    """Object numbers: catalog 1, page root 2, outline root 3, fonts, logo, tree nodes, then
    page, content, (image,) bookmark for each page, and /Info last."""

    def __init__(self, pages, tiny):
        self.pages = pages
        self.tiny = tiny
        self.fonts = list(range(4, 4 + len(FONTS)))
        self.logo = self.fonts[-1] + 1
        self.node_count = (pages + KIDS_PER_NODE - 1) // KIDS_PER_NODE if pages > KIDS_PER_NODE else 0
        self.first_node = self.logo + 1
        self.per_page = 3 if tiny else 4
        self.first_page = self.first_node + self.node_count
        self.info = self.first_page + pages * self.per_page
        self.size = self.info + 1

    def page(self, i):
        return self.first_page + i * self.per_page

    def parent_of(self, i):
        return 2 if self.node_count == 0 else self.first_node + i // KIDS_PER_NODE

    def bookmark(self, i):
        return self.page(i) + self.per_page - 1


def references(numbers):
    return b" ".join(b"%d 0 R" % n for n in numbers)


def objects(layout, name, seed):
    """Yields (number, bytes, is_stream) in number order."""
    rng = random.Random(seed)
    n = layout.pages
    yield 1, b"<< /Type /Catalog /Pages 2 0 R /Outlines 3 0 R /PageMode /UseOutlines >>", False
    if layout.node_count:
        kids = [layout.first_node + k for k in range(layout.node_count)]
    else:
        kids = [layout.page(i) for i in range(n)]
    yield 2, b"<< /Type /Pages /Kids [%s] /Count %d >>" % (references(kids), n), False
    yield 3, b"<< /Type /Outlines /First %d 0 R /Last %d 0 R /Count %d >>" % (
        layout.bookmark(0), layout.bookmark(n - 1), n), False
    for number, font in zip(layout.fonts, FONTS):
        yield number, font, False
    yield layout.logo, logo_image(), True
    for k in range(layout.node_count):
        members = range(k * KIDS_PER_NODE, min(n, (k + 1) * KIDS_PER_NODE))
        yield layout.first_node + k, b"<< /Type /Pages /Parent 2 0 R /Kids [%s] /Count %d >>" % (
            references(layout.page(i) for i in members), len(members)), False
    font_refs = b" ".join(b"/F%d %d 0 R" % (k + 1, f) for k, f in enumerate(layout.fonts))
    for i in range(n):
        page = layout.page(i)
        xobjects = b"/Logo %d 0 R" % layout.logo
        if not layout.tiny:
            xobjects += b" /Im1 %d 0 R" % (page + 2)
        yield page, (b"<< /Type /Page /Parent %d 0 R /MediaBox [0 0 612 792] /Contents %d 0 R "
                     b"/Resources << /Font << %s >> /XObject << %s >> >> >>" % (
                         layout.parent_of(i), page + 1, font_refs, xobjects)), False
        yield page + 1, page_content(i + 1, name, layout.tiny), True
        if not layout.tiny:
            yield page + 2, page_image(rng), True
        links = b""
        if i > 0:
            links += b" /Prev %d 0 R" % layout.bookmark(i - 1)
        if i + 1 < n:
            links += b" /Next %d 0 R" % layout.bookmark(i + 1)
        yield layout.bookmark(i), b"<< /Title (%s page %d) /Parent 3 0 R /Dest [%d 0 R /Fit]%s >>" % (
            name, i + 1, page, links), False
    yield layout.info, b"<< /Producer (bench generator) /Title (%s) >>" % name, False


class Writer:
    def __init__(self, path, version):
        self.file = open(path, "wb")
        self.position = 0
        self.entries = {}  # number -> (type, field2, field3)
        self.write(b"%PDF-" + version + b"\n%\xe2\xe3\xcf\xd3\n")

    def write(self, data):
        self.file.write(data)
        self.position += len(data)

    def add(self, number, text):
        self.entries[number] = (1, self.position, 0)
        self.write(b"%d 0 obj\n" % number + text + b"\nendobj\n")

    def close(self):
        self.file.close()


def write_classic(path, layout, name, seed):
    out = Writer(path, b"1.4")
    for number, text, _ in objects(layout, name, seed):
        out.add(number, text)
    start = out.position
    rows = [b"xref\n0 %d\n0000000000 65535 f \n" % layout.size]
    rows += [b"%010d 00000 n \n" % out.entries[k][1] for k in range(1, layout.size)]
    out.write(b"".join(rows))
    out.write(b"trailer\n<< /Size %d /Root 1 0 R /Info %d 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (
        layout.size, layout.info, start))
    out.close()


def write_object_streams(path, layout, name, seed):
    out = Writer(path, b"1.5")
    series = {"page": [], "bookmark": [], "other": []}
    next_number = layout.size

    def flush(kind):
        nonlocal next_number
        members = series[kind]
        if not members:
            return
        table = b" ".join(b"%d %d" % (number, offset) for number, offset, _ in members) + b"\n"
        data = b"".join(text + b"\n" for _, _, text in members)
        stream = next_number
        next_number += 1
        out.add(stream, stream_object(b"/Type /ObjStm /N %d /First %d" % (len(members), len(table)),
                                      zlib.compress(table + data, 6)))
        for index, (number, _, _) in enumerate(members):
            out.entries[number] = (2, stream, index)
        series[kind] = []

    for number, text, is_stream in objects(layout, name, seed):
        if is_stream:
            out.add(number, text)
            continue
        kind = "other"
        if layout.first_page <= number < layout.info:
            kind = "bookmark" if number == layout.bookmark((number - layout.first_page) // layout.per_page) else "page"
        members = series[kind]
        offset = sum(len(t) + 1 for _, _, t in members)
        members.append((number, offset, text))
        if len(members) == OBJECTS_PER_STREAM:
            flush(kind)
    for kind in ("page", "bookmark", "other"):
        flush(kind)
    xref = next_number
    size = xref + 1
    out.entries[xref] = (1, out.position, 0)
    rows = [b"\x00\x00\x00\x00\x00\xff\xff"]
    for k in range(1, size):
        kind, field2, field3 = out.entries[k]
        rows.append(bytes([kind]) + field2.to_bytes(4, "big") + field3.to_bytes(2, "big"))
    data = zlib.compress(b"".join(rows), 6)
    out.write(b"%d 0 obj\n" % xref + stream_object(
        b"/Type /XRef /Size %d /W [1 4 2] /Root 1 0 R /Info %d 0 R" % (size, layout.info), data) +
        b"\nendobj\n")
    out.write(b"startxref\n%d\n%%%%EOF\n" % out.entries[xref][1])
    out.close()


def write_file(path, pages, form, seed, tiny):
    layout = Layout(pages, tiny)
    name = os.path.splitext(os.path.basename(path))[0].encode()
    writer = write_classic if form == "classic" else write_object_streams
    writer(path, layout, name, seed)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("what", choices=["file", "pair", "list"])
    parser.add_argument("paths", nargs="+")
    parser.add_argument("--pages", type=int, default=1)
    parser.add_argument("--count", type=int, default=0)
    parser.add_argument("--form", choices=["classic", "objstm"], default="classic")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--tiny", action="store_true")
    args = parser.parse_args()
    if args.what == "file":
        write_file(args.paths[0], args.pages, args.form, args.seed, args.tiny)
    elif args.what == "pair":
        write_file(args.paths[0], args.pages, args.form, args.seed, args.tiny)
        write_file(args.paths[1], args.pages, args.form, args.seed + 1, args.tiny)
    else:
        folder = args.paths[0]
        os.makedirs(folder, exist_ok=True)
        names = []
        for k in range(1, args.count + 1):
            name = "p%04d.pdf" % k
            write_file(os.path.join(folder, name), 1, args.form, args.seed + k, False)
            names.append(os.path.join(folder, name))
        with open(os.path.join(folder, "list.txt"), "w") as listing:
            listing.write("".join(n + "\n" for n in names))


if __name__ == "__main__":
    main()
