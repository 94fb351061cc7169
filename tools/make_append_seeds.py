#!/usr/bin/env python3
"""Writes the seed inputs of the append fuzz targets into fuzz/corpus/append_first/ and
fuzz/corpus/append_second/ (the same files in both): the bundled samples plus small files
for the paths the samples do not reach: updates along Prev, nested and indirect page trees,
nested outlines, objects shared with the fixed other input, a header after junk, and hostile
shapes (loops in Prev, page trees and outline chains, a huge Size, deep nesting).
The output is the same on every run.
Usage: tools/make_append_seeds.py
"""

import os

from make_samples import HELVETICA, PdfWriter, page, page_text, outline_item, SAMPLES

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..")


def simple(kids_text="[3 0 R]", count="1", extra_catalog="", trailer=""):
    pdf = PdfWriter("1.4")
    pdf.add(1, "<< /Type /Catalog /Pages 2 0 R%s >>" % extra_catalog)
    pdf.add(2, "<< /Type /Pages /Kids %s /Count %s >>" % (kids_text, count))
    pdf.add(3, page(2, 4, 5))
    pdf.add_stream(4, "", page_text("Seed page"), False)
    pdf.add(5, HELVETICA)
    return pdf, trailer


def update():
    """An original file and one incremental update that replaces the page and adds one."""
    pdf, _ = simple()
    base = pdf.classic_xref("/Root 1 0 R")
    first_xref = int(base.rsplit(b"startxref\n", 1)[1].split(b"\n")[0])
    body = base
    offsets = {}
    for num, text in ((2, "<< /Type /Pages /Kids [3 0 R 6 0 R] /Count 2 >>"),
                      (6, page(2, 4, 5))):
        offsets[num] = len(body)
        body += b"%d 0 obj\n%s\nendobj\n" % (num, text.encode())
    xref = len(body)
    body += b"xref\n2 1\n%010d 00000 n\r\n6 1\n%010d 00000 n\r\n" % (offsets[2], offsets[6])
    body += b"trailer\n<< /Size 7 /Root 1 0 R /Prev %d >>\nstartxref\n%d\n%%%%EOF\n" % (first_xref, xref)
    return body


def nested_tree():
    """Intermediate page-tree node, inherited resources, indirect Count and Kids."""
    pdf = PdfWriter("1.6")
    pdf.add(1, "<< /Type /Catalog /Pages 2 0 R >>")
    pdf.add(2, "<< /Type /Pages /Kids 9 0 R /Count 10 0 R /Resources << /Font << /F1 5 0 R >> >> "
               "/MediaBox [0 0 300 300] /Rotate 90 >>")
    pdf.add(3, "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R 6 0 R] /Count 2 >>")
    pdf.add(4, "<< /Type /Page /Parent 3 0 R /Contents 7 0 R >>")
    pdf.add(6, "<< /Type /Page /Parent 3 0 R /Contents 7 0 R >>")
    pdf.add(5, HELVETICA)
    pdf.add_stream(7, "", page_text("Nested tree"), True)
    pdf.add(9, "[3 0 R]")
    pdf.add(10, "2")
    return pdf.classic_xref("/Root 1 0 R")


def nested_outline():
    pdf = PdfWriter("1.4")
    pdf.add(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 6 0 R >>")
    pdf.add(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
    pdf.add(3, page(2, 4, 5))
    pdf.add_stream(4, "", page_text("Outline seed"), False)
    pdf.add(5, HELVETICA)
    pdf.add(6, "<< /Type /Outlines /First 7 0 R /Last 8 0 R /Count 3 >>")
    pdf.add(7, "<< /Title (one) /Parent 6 0 R /Next 8 0 R /First 9 0 R /Last 9 0 R /Count 1 "
               "/Dest [3 0 R /Fit] >>")
    pdf.add(8, outline_item("two", 6, 3, prev=7))
    pdf.add(9, outline_item("child", 7, 3))
    return pdf.classic_xref("/Root 1 0 R /Info 10 0 R")


def compressed_everything():
    """Object stream holding everything but the content, a wide xref stream with Index."""
    pdf = PdfWriter("1.7")
    pdf.add_stream(4, "", page_text("Seed page"), False)
    pdf.add_object_stream(6, [(1, "<< /Type /Catalog /Pages 2 0 R >>"),
                              (2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
                              (3, page(2, 4, 5)), (5, HELVETICA)])
    return pdf.xref_stream(7, (1, 4, 2), "/Root 1 0 R /Index [0 8]")


def junk_header():
    pdf, _ = simple()
    return b"junk before the header\n" + pdf.classic_xref("/Root 1 0 R")


def prev_loop():
    pdf, _ = simple()
    data = pdf.classic_xref("/Root 1 0 R")
    xref = int(data.rsplit(b"startxref\n", 1)[1].split(b"\n")[0])
    return data.replace(b"/Root 1 0 R >>", b"/Root 1 0 R /Prev %d >>" % xref)


def document_level():
    """A catalog with everything the document merge reads: destinations (a tree with kids and
    an old dictionary), an attachment, a form with resources, labels, layers, a structure tree,
    threads and a link and go-to action that use a destination name."""
    pdf, _ = simple(extra_catalog=(
        " /Names << /Dests 6 0 R /EmbeddedFiles << /Names [(f) << /Type /Filespec /F (f) >>] >> >>"
        " /Dests << /old [3 0 R /Fit] >> /AcroForm << /Fields [9 0 R] /DA (/Helv 0 Tf 0 g)"
        " /DR << /Font << /Helv 5 0 R >> >> /NeedAppearances true >> /PageLabels << /Nums [0 << /S /r >>] >>"
        " /OCProperties << /OCGs [10 0 R] /D << /BaseState /OFF /ON [10 0 R] /Order [10 0 R] >> >>"
        " /StructTreeRoot 11 0 R /MarkInfo << /Marked true >> /Threads [13 0 R] /Version /1.7"))
    pdf.add(6, "<< /Kids [7 0 R] >>")
    pdf.add(7, "<< /Limits [(a) (b)] /Names [(a) [3 0 R /Fit] (b) 8 0 R] >>")
    pdf.add(8, "<< /D [3 0 R /XYZ 0 0 0] >>")
    pdf.add(9, "<< /FT /Tx /T (name) /Rect [0 0 9 9] /P 3 0 R /Subtype /Widget /Dest (a)"
               " /A << /S /GoTo /D (b) >> >>")
    pdf.add(10, "<< /Type /OCG /Name (layer) >>")
    pdf.add(11, "<< /Type /StructTreeRoot /K [12 0 R] /ParentTree << /Nums [0 [12 0 R]] >>"
                " /RoleMap << /Para /P >> /IDTree << /Names [(id) 12 0 R] >> >>")
    pdf.add(12, "<< /Type /StructElem /S /P /P 11 0 R /Pg 3 0 R /K 0 /ID (id) >>")
    pdf.add(13, "<< /Type /Thread /F 14 0 R >>")
    pdf.add(14, "<< /T 13 0 R /N 14 0 R /V 14 0 R /P 3 0 R /R [0 0 9 9] >>")
    return pdf.classic_xref("/Root 1 0 R")


def seeds():
    result = {name: build() for name, build in SAMPLES.items()}
    pdf, _ = simple()
    result["seed-simple.pdf"] = pdf.classic_xref("/Root 1 0 R")
    result["seed-update.pdf"] = update()
    result["seed-nested-tree.pdf"] = nested_tree()
    result["seed-nested-outline.pdf"] = nested_outline()
    result["seed-objstm.pdf"] = compressed_everything()
    result["seed-junk-header.pdf"] = junk_header()
    result["seed-prev-loop.pdf"] = prev_loop()
    pdf, _ = simple(kids_text="[3 0 R 2 0 R 3 0 R]", count="3")
    result["seed-tree-cycle.pdf"] = pdf.classic_xref("/Root 1 0 R")
    pdf, _ = simple(extra_catalog=" /Outlines 6 0 R")
    pdf.add(6, "<< /Type /Outlines /First 7 0 R /Last 8 0 R >>")
    pdf.add(7, "<< /Title (a) /Parent 6 0 R /Next 8 0 R >>")
    pdf.add(8, "<< /Title (b) /Parent 6 0 R /Next 7 0 R >>")
    result["seed-outline-loop.pdf"] = pdf.classic_xref("/Root 1 0 R")
    pdf, _ = simple()
    result["seed-huge-size.pdf"] = pdf.classic_xref("/Root 1 0 R").replace(
        b"xref\n0 6\n", b"xref\n0 2147483647\n")
    pdf, _ = simple()
    pdf.add(6, "[" * 600 + "]" * 600)
    result["seed-deep.pdf"] = pdf.classic_xref("/Root 1 0 R")
    result["seed-encrypted.pdf"] = simple()[0].classic_xref("/Root 1 0 R /Encrypt << /Filter /Standard >>")
    result["seed-truncated.pdf"] = SAMPLES["sample-a-classic.pdf"]()[:900]
    result["seed-not-pdf.pdf"] = b"hello\n"
    result["seed-document-level.pdf"] = document_level()
    return result


def main():
    for target in ("append_first", "append_second"):
        folder = os.path.join(ROOT, "fuzz", "corpus", target)
        os.makedirs(folder, exist_ok=True) # seeds kept by hand (repair-*.pdf) stay
        for name, data in seeds().items():
            with open(os.path.join(folder, name), "wb") as out:
                out.write(data)
        print("%s: %d seeds" % (folder, len(os.listdir(folder))))


if __name__ == "__main__":
    main()
