#!/usr/bin/env python3
"""Writes the bundled sample PDFs into testdata/samples/.

  sample-a-classic.pdf    3 pages, classic xref table, outline of two bookmarks, Info,
                          a Flate content stream per page, one shared Helvetica font
  sample-b-xrefstream.pdf 2 pages, xref stream (Flate, PNG Up predictor) and an object
                          stream holding catalog, page tree, pages, outline and font
  sample-c-plain.pdf      1 page, classic xref table, no outline, nothing compressed

Each page shows its own text ("Sample A page 1", ...), so pdftotext shows the page order
of an appended file. Offsets are computed here; the output is the same on every run.
Usage: tools/make_samples.py [output folder]   (default: testdata/samples next to tools/)
"""

import os
import sys
import zlib

HEADER_BINARY = b"%\xe2\xe3\xcf\xd3\n"


class PdfWriter:
    """Collects numbered objects and lays them out with correct offsets."""

    def __init__(self, version):
        self.body = b"%PDF-" + version.encode() + b"\n" + HEADER_BINARY
        self.entries = {}  # number -> (type, field2, field3)

    def add(self, num, text):
        self.entries[num] = (1, len(self.body), 0)
        self.body += b"%d 0 obj\n" % num + as_bytes(text) + b"\nendobj\n"

    def add_stream(self, num, dict_text, data, compress):
        data = as_bytes(data)
        keys = ""
        if compress:
            data = zlib.compress(data, 9)
            keys = " /Filter /FlateDecode"
        self.add(num, b"<< " + as_bytes(dict_text) + keys.encode() +
                 b" /Length %d >>\nstream\n" % len(data) + data + b"\nendstream")

    def add_object_stream(self, num, objects):
        """objects: list of (number, text); they become type-2 entries of stream num."""
        table = b""
        texts = b""
        for obj_num, text in objects:
            table += b"%d %d " % (obj_num, len(texts))
            texts += as_bytes(text) + b"\n"
        self.add_stream(num, "/Type /ObjStm /N %d /First %d" % (len(objects), len(table)),
                        table + texts, True)
        for index, (obj_num, _) in enumerate(objects):
            self.entries[obj_num] = (2, num, index)

    def size(self):
        return max(self.entries) + 1

    def classic_xref(self, trailer_keys):
        position = len(self.body)
        lines = [b"xref\n0 %d\n" % self.size()]
        for num in range(self.size()):
            kind, field2, field3 = self.entries.get(num, (0, 0, 65535 if num == 0 else 0))
            assert kind != 2, "a classic table cannot list compressed objects"
            lines.append(b"%010d %05d %s\r\n" % (field2, field3, b"n" if kind == 1 else b"f"))
        trailer = b"trailer\n<< /Size %d %s >>\n" % (self.size(), trailer_keys.encode())
        self.body += b"".join(lines) + trailer
        return self.finish(position)

    def xref_stream(self, num, widths, dict_keys):
        position = len(self.body)
        self.entries[num] = (1, position, 0)
        rows = b""
        for n in range(self.size()):
            entry = self.entries.get(n, (0, 0, 65535 if n == 0 else 0))
            for value, width in zip(entry, widths):
                rows += value.to_bytes(width, "big")
        columns = sum(widths)
        data = zlib.compress(png_up(rows, columns), 9)
        self.body += (b"%d 0 obj\n<< /Type /XRef /Size %d /W [%d %d %d] /Filter /FlateDecode "
                      b"/DecodeParms << /Predictor 12 /Columns %d >> %s /Length %d >>\n"
                      b"stream\n" % ((num, self.size()) + tuple(widths) +
                                     (columns, dict_keys.encode(), len(data))) +
                      data + b"\nendstream\nendobj\n")
        return self.finish(position)

    def finish(self, xref_position):
        return self.body + b"startxref\n%d\n%%%%EOF\n" % xref_position


def as_bytes(text):
    return text if isinstance(text, bytes) else text.encode("latin-1")


def png_up(data, columns):
    """PNG Up prediction: tag byte 2, then each byte minus the one above it."""
    out = bytearray()
    previous = bytes(columns)
    for start in range(0, len(data), columns):
        row = data[start:start + columns]
        out.append(2)
        out += bytes((b - a) & 0xFF for a, b in zip(previous, row))
        previous = row
    return bytes(out)


def page_text(label):
    return "BT /F1 24 Tf 72 720 Td (%s) Tj ET" % label


def page(parent, content, font):
    return ("<< /Type /Page /Parent %d 0 R /MediaBox [0 0 612 792] "
            "/Resources << /Font << /F1 %d 0 R >> >> /Contents %d 0 R >>" % (parent, font, content))


def outline_item(title, parent, page_num, prev=None, next_=None):
    links = "".join(" /%s %d 0 R" % (key, num) for key, num in (("Prev", prev), ("Next", next_))
                    if num is not None)
    return "<< /Title (%s) /Parent %d 0 R%s /Dest [%d 0 R /Fit] >>" % (title, parent, links,
                                                                       page_num)


HELVETICA = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"


def sample_a():
    """Three pages, classic table, outline with two bookmarks, Info."""
    pdf = PdfWriter("1.4")
    pdf.add(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 3 0 R /PageMode /UseOutlines >>")
    pdf.add(2, "<< /Type /Pages /Kids [4 0 R 6 0 R 8 0 R] /Count 3 >>")
    pdf.add(3, "<< /Type /Outlines /First 11 0 R /Last 12 0 R /Count 2 >>")
    for index, num in enumerate((4, 6, 8)):
        pdf.add(num, page(2, num + 1, 10))
        pdf.add_stream(num + 1, "", page_text("Sample A page %d" % (index + 1)), True)
    pdf.add(10, HELVETICA)
    pdf.add(11, outline_item("A: first page", 3, 4, next_=12))
    pdf.add(12, outline_item("A: last page", 3, 8, prev=11))
    pdf.add(13, "<< /Title (Sample A) /Author (Foliobind samples) /Producer (make_samples.py) "
                "/CreationDate (D:20240101000000Z) >>")
    return pdf.classic_xref("/Root 1 0 R /Info 13 0 R")


def sample_b():
    """Two pages behind a cross-reference stream; structure objects in an object stream."""
    pdf = PdfWriter("1.5")
    pdf.add_stream(9, "", page_text("Sample B page 1"), True)
    pdf.add_stream(10, "", page_text("Sample B page 2"), True)
    pdf.add_object_stream(11, [
        (1, "<< /Type /Catalog /Pages 2 0 R /Outlines 5 0 R >>"),
        (2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>"),
        (3, page(2, 9, 8)),
        (4, page(2, 10, 8)),
        (5, "<< /Type /Outlines /First 6 0 R /Last 7 0 R /Count 2 >>"),
        (6, outline_item("B: page 1", 5, 3, next_=7)),
        (7, outline_item("B: page 2", 5, 4, prev=6)),
        (8, HELVETICA),
        (13, "<< /Title (Sample B) /Producer (make_samples.py) >>"),
    ])
    return pdf.xref_stream(12, (1, 2, 2), "/Root 1 0 R /Info 13 0 R")


def sample_c():
    """One plain page: no outline, no compression, no Info."""
    pdf = PdfWriter("1.4")
    pdf.add(1, "<< /Type /Catalog /Pages 2 0 R >>")
    pdf.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
    pdf.add(3, page(2, 4, 5))
    pdf.add_stream(4, "", page_text("Sample C page 1"), False)
    pdf.add(5, HELVETICA)
    return pdf.classic_xref("/Root 1 0 R")


SAMPLES = {
    "sample-a-classic.pdf": sample_a,
    "sample-b-xrefstream.pdf": sample_b,
    "sample-c-plain.pdf": sample_c,
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "testdata", "samples")
    os.makedirs(folder, exist_ok=True)
    for name, build in SAMPLES.items():
        data = build()
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)
        print("%s: %d bytes" % (os.path.join(folder, name), len(data)))


if __name__ == "__main__":
    main()
