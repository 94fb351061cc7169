#!/usr/bin/env python3
"""Peak memory of appends: generated pairs from 500 to 20,000 pages (classic and with object
streams), and hostile files that claim 2^31 objects or decode far beyond their size. Prints
each run's exit status and peak resident size (GNU time's %M), then a straight-line fit of
the sound pairs: a fixed part plus a cost per object.

  tools/bench/memory.py [foliobind]      (default: build/foliobind)

Inputs are written to $BENCH_DIR (default /tmp/foliobind-bench). Standard library only,
plus /usr/bin/time.
"""

import os
import re
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
EXE = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build", "foliobind")
INPUTS = os.environ.get("BENCH_DIR", "/tmp/foliobind-bench")
SAMPLE = os.path.join(ROOT, "testdata", "samples", "sample-c-plain.pdf")
PAIRS = [(500, "classic", True), (5000, "classic", True), (20000, "classic", True),
         (500, "objstm", True), (5000, "objstm", True), (20000, "objstm", True),
         (5000, "classic", False), (5000, "objstm", False)]


def pair(pages, form, tiny):
    label = "%d-%s%s" % (pages, form, "-tiny" if tiny else "")
    a = os.path.join(INPUTS, label + "-a.pdf")
    b = os.path.join(INPUTS, label + "-b.pdf")
    if not (os.path.exists(a) and os.path.exists(b)):
        command = [sys.executable, os.path.join(HERE, "make_pair.py"), "pair", a, b, "--pages", str(pages),
                   "--form", form]
        subprocess.run(command + (["--tiny"] if tiny else []), check=True)
    return label, a, b


def with_xref(body_objects, trailer_and_xref):
    """A file of numbered objects (bytes) followed by what trailer_and_xref(offsets, at) gives."""
    out = bytearray(b"%PDF-1.5\n")
    offsets = {}
    for number, text in body_objects:
        offsets[number] = len(out)
        out += b"%d 0 obj\n" % number + text + b"\nendobj\n"
    out += trailer_and_xref(offsets, len(out))
    return bytes(out)


BASE = [(1, b"<< /Type /Catalog /Pages 2 0 R >>"),
        (2, b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
        (3, b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>")]


def classic_claim(offsets, at):
    """A classic table whose one subsection claims 2^31 - 1 entries."""
    table = b"xref\n0 2147483647\n0000000000 65535 f \n"
    for number in (1, 2, 3):
        table += b"%010d 00000 n \n" % offsets[number]
    return table + b"trailer\n<< /Size 2147483647 /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % at


def stream_claim(offsets, at):
    """A cross-reference stream of zero-width fields that claims 2^31 - 1 entries."""
    return (b"9 0 obj\n<< /Type /XRef /Size 2147483647 /W [0 0 0] /Index [0 2147483647] /Root 1 0 R "
            b"/Length 0 >>\nstream\n\nendstream\nendobj\nstartxref\n%d\n%%%%EOF\n" % at)


def stream_entries(entries):
    """Data of a /W [1 4 2] cross-reference stream."""
    return b"".join(bytes([t]) + f.to_bytes(4, "big") + g.to_bytes(2, "big") for t, f, g in entries)


def bomb(offsets, at):
    """Object 4 is an object stream whose one member is followed by 256 MiB of spaces."""
    entries = [(0, 0, 65535), (1, offsets[1], 0), (1, offsets[2], 0), (1, offsets[3], 0), (1, offsets[4], 0),
               (2, 4, 0), (1, at, 0)]
    data = zlib.compress(stream_entries(entries))
    return (b"6 0 obj\n<< /Type /XRef /Size 7 /W [1 4 2] /Root 1 0 R /Filter /FlateDecode /Length %d >>\n"
            b"stream\n" % len(data) + data + b"\nendstream\nendobj\nstartxref\n%d\n%%%%EOF\n" % at)


def hostile_files(folder):
    files = {
        "classic table claiming 2^31 objects": with_xref(BASE, classic_claim),
        "xref stream claiming 2^31 objects": with_xref(BASE, stream_claim),
    }
    member = b"<< /Bomb true >>"
    compressed = zlib.compress(b"5 0 " + member + b" " * (256 << 20), 9)
    objstm = (b"<< /Type /ObjStm /N 1 /First 4 /Filter /FlateDecode /Length %d >>\nstream\n" % len(compressed) +
              compressed + b"\nendstream")
    files["object stream decoding to 256 MiB"] = with_xref(BASE + [(4, objstm)], bomb)
    paths = []
    for index, (name, data) in enumerate(files.items()):
        path = os.path.join(folder, "hostile-%d.pdf" % index)
        with open(path, "wb") as out:
            out.write(data)
        paths.append((name, path))
    return paths


def objects_of(path):
    """The /Size of a generated file's last trailer or cross-reference stream."""
    with open(path, "rb") as f:
        sizes = re.findall(rb"/Size (\d+)", f.read())
    return int(sizes[-1]) if sizes else 0


def run(a, b, work):
    out = os.path.join(work, "out.pdf")
    result = subprocess.run(["/usr/bin/time", "-f", "%M %e", EXE, a, b, "-o" + out, "-quiet"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    peak, seconds = result.stderr.strip().splitlines()[-1].split()
    if os.path.exists(out):
        os.remove(out)
    return result.returncode, int(peak), float(seconds)


def main():
    os.makedirs(INPUTS, exist_ok=True)
    points = []
    with tempfile.TemporaryDirectory() as work:
        print("%-40s %10s %7s %10s %8s" % ("case", "objects", "status", "peak KB", "seconds"))
        for pages, form, tiny in PAIRS:
            label, a, b = pair(pages, form, tiny)
            objects = objects_of(a) + objects_of(b)
            status, peak, seconds = run(a, b, work)
            points.append((objects, peak))
            print("%-40s %10d %7d %10d %8.2f" % (label + " pair", objects, status, peak, seconds))
        for name, path in hostile_files(work):
            for role, (a, b) in (("first", (path, SAMPLE)), ("second", (SAMPLE, path))):
                status, peak, seconds = run(a, b, work)
                print("%-40s %10s %7d %10d %8.2f" % (name + ", " + role, "-", status, peak, seconds))
    count = len(points)
    mean_x = sum(x for x, _ in points) / count
    mean_y = sum(y for _, y in points) / count
    slope = sum((x - mean_x) * (y - mean_y) for x, y in points) / sum((x - mean_x) ** 2 for x, _ in points)
    print("\nsound pairs: peak ~ %.0f KB + %.1f bytes per object (least squares over %d pairs)"
          % (mean_y - slope * mean_x, slope * 1024, count))
    print("largest excess over that line: %.0f KB" % max(y - (mean_y - slope * mean_x) - slope * x for x, y in points))


if __name__ == "__main__":
    main()
