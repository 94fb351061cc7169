#!/usr/bin/env python3
"""Writes the inputs of a plain-list benchmark: K small files of three pages each and list.txt
naming them, one per line.

  make_list.py FOLDER --count K [--seed S]

Files alternate between a classic cross-reference table (even numbers) and a cross-reference
stream with object streams (odd numbers); every third file has an outline of three bookmarks,
one of them with a child. Every file carries the same font and the same small logo image byte
for byte, so that an append finds duplicates. The same arguments give the same bytes. Needs
pikepdf (python3-pikepdf).
"""

import argparse
import os
import random
import zlib

import pikepdf
from pikepdf import Dictionary, Name

PAGES = 3
LOGO_SIDE = 24
WORDS = b"lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor".split()


def logo_data():
    pixels = bytes((x * 11 + y * 5) & 0xFF for y in range(LOGO_SIDE) for x in range(LOGO_SIDE))
    return zlib.compress(pixels, 6)


def content(rng, title, page):
    lines = [b"BT /F1 18 Tf 72 740 Td (%s page %d) Tj ET" % (title, page), b"BT /F1 10 Tf 72 700 Td 12 TL"]
    for _ in range(6):
        lines.append(b"(%s) '" % b" ".join(rng.choice(WORDS) for _ in range(8)))
    lines.append(b"ET q 48 0 0 48 500 720 cm /Logo Do Q")
    return zlib.compress(b"\n".join(lines), 6)


def write_file(path, index, rng, logo):
    pdf = pikepdf.new()
    font = pdf.make_indirect(Dictionary(Type=Name.Font, Subtype=Name.Type1, BaseFont=Name.Helvetica,
                                        Encoding=Name.WinAnsiEncoding))
    image = pikepdf.Stream(pdf, b"")
    image.write(logo, filter=Name.FlateDecode)
    for key, value in (("/Type", Name.XObject), ("/Subtype", Name.Image), ("/Width", LOGO_SIDE),
                       ("/Height", LOGO_SIDE), ("/ColorSpace", Name.DeviceGray), ("/BitsPerComponent", 8)):
        image[key] = value
    image = pdf.make_indirect(image)
    title = b"file %d" % index
    for page in range(1, PAGES + 1):
        stream = pikepdf.Stream(pdf, b"")
        stream.write(content(rng, title, page), filter=Name.FlateDecode)
        pdf.pages.append(pikepdf.Page(Dictionary(
            Type=Name.Page, MediaBox=[0, 0, 612, 792], Contents=pdf.make_indirect(stream),
            Resources=Dictionary(Font=Dictionary(F1=font), XObject=Dictionary(Logo=image)))))
    if index % 3 == 0:
        with pdf.open_outline() as outline:
            items = [pikepdf.OutlineItem("File %d, page %d" % (index, k + 1), k) for k in range(PAGES)]
            items[0].children.append(pikepdf.OutlineItem("File %d, detail" % index, 0))
            outline.root.extend(items)
    mode = pikepdf.ObjectStreamMode.generate if index % 2 else pikepdf.ObjectStreamMode.disable
    pdf.save(path, object_stream_mode=mode, static_id=True, compress_streams=False)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("folder")
    parser.add_argument("--count", type=int, required=True)
    parser.add_argument("--seed", type=int, default=15)
    args = parser.parse_args()
    os.makedirs(args.folder, exist_ok=True)
    rng = random.Random(args.seed)
    logo = logo_data()
    names = ["f%05d.pdf" % k for k in range(1, args.count + 1)]
    for index, name in enumerate(names, 1):
        write_file(os.path.join(args.folder, name), index, rng, logo)
    # Written last: a listing only exists once every file it names does.
    with open(os.path.join(args.folder, "list.txt"), "w") as listing:
        listing.write("".join(n + "\n" for n in names))


if __name__ == "__main__":
    main()
