#!/usr/bin/env python3
"""Times a plain list (foliobind list.txt -oout.pdf) against qpdf, pdfunite and mutool given the
same files, with cat as the floor.

  lists.py [--binary PATH] [--dir FOLDER] [--reps N] [--timeout S] [--tools A,B] [--realworld N] [SIZE ...]

Sizes are list lengths (default 200 800; 5000 and 20000 on request). make_list.py writes each
size's files once into FOLDER/lists-SIZE (default FOLDER /tmp/foliobind-bench): three pages
each, classic tables and object streams in turn, every third file with an outline, the same
font and logo in all. Every run starts without an output. N rounds (default 3) run every tool
in turn, the order rotating from round to round; a time is the median of its runs. A run that
takes longer than S seconds (default 600) is stopped and the tool reported as timed out, and is
not run again at that size. The first output of every tool must have three pages per listed
file; a wrong foliobind output ends the benchmark. For each size it prints seconds, each peer's
time over ours, ours over cat and peak memory (max RSS, by /usr/bin/time); then the growth of
our time from one size to the next. --tools restricts the tools run (foliobind,cat for a
foliobind-only figure). --realworld N lists real documents instead: the first N files of
../shared/corpus/realworld (by name) over and over, SIZE lines long, page counts by qpdf.
Standard library only, apart from make_list.py.
"""

import argparse
import os
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
GENERATOR = os.path.join(HERE, "make_list.py")
TOOLS = ["foliobind", "qpdf", "pdfunite", "mutool", "cat"]
PEERS = ["qpdf", "pdfunite", "mutool"]
PAGES_PER_FILE = 3

sys.path.insert(0, HERE)
from bench import have, timed_run, version  # noqa: E402  (the same tool and version probes as bench.py)


def generator_python():
    """A Python that imports pikepdf: this one, or Debian's when the first on PATH lacks it."""
    for candidate in (sys.executable, "/usr/bin/python3"):
        probe = subprocess.run([candidate, "-c", "import pikepdf"], capture_output=True)
        if probe.returncode == 0:
            return candidate
    return sys.executable


def inputs(folder, size):
    """Generates the size's files when missing or older than the generator; returns the folder
    and the file names (relative to it) in list order."""
    place = os.path.join(folder, "lists-%d" % size)
    listing = os.path.join(place, "list.txt")
    if not os.path.exists(listing) or os.path.getmtime(listing) < os.path.getmtime(GENERATOR):
        print("  writing %d files into %s" % (size, place))
        subprocess.run([generator_python(), GENERATOR, place, "--count", str(size)], check=True)
    with open(listing) as names:
        return place, [line.strip() for line in names if line.strip()]


def real_inputs(folder, size, count):
    """The first count real-world files, repeated to size lines: the folder, the list's file
    names (absolute) and the pages they hold."""
    corpus = os.path.join(os.path.dirname(ROOT), "shared", "corpus", "realworld")
    if not os.path.isdir(corpus):
        sys.exit("lists.py: no real-world corpus at " + corpus)
    chosen = sorted(os.path.join(corpus, name) for name in os.listdir(corpus) if name.endswith(".pdf"))[:count]
    files = [chosen[i % len(chosen)] for i in range(size)]
    pages = {path: page_count(path) for path in chosen}
    place = os.path.join(folder, "lists-real-%d" % size)
    os.makedirs(place, exist_ok=True)
    with open(os.path.join(place, "list.txt"), "w") as listing:
        listing.write("".join(path + "\n" for path in files))
    return place, files, sum(pages[path] for path in files)


def commands(binary, files, out):
    """(name, argv, stdout file or None) of every tool; inputs are named relative to their folder,
    which keeps a list of 20,000 under the system's argument limit."""
    target = os.path.join(out, "%s.pdf")
    return [
        ("foliobind", [binary, "list.txt", "-o" + target % "foliobind"], None),
        ("qpdf", ["qpdf", "--empty", "--pages"] + files + ["--", target % "qpdf"], None),
        ("pdfunite", ["pdfunite"] + files + [target % "pdfunite"], None),
        ("mutool", ["mutool", "merge", "-o", target % "mutool"] + files, None),
        ("cat", ["cat"] + files, target % "cat"),
    ]


def run_once(argv, stdout_path, cwd, rss_file, timeout):
    """Wall time in seconds (None after a timeout), exit status and peak memory in KiB. Memory
    comes from /usr/bin/time, so that Python's own is not counted; the tool runs in its own
    process group, so that a timeout stops the tool and not only /usr/bin/time."""
    if os.path.exists(rss_file):
        os.remove(rss_file)
    sink = open(stdout_path, "wb") if stdout_path else subprocess.DEVNULL
    elapsed, status = timed_run(["/usr/bin/time", "-f", "%M", "-o", rss_file] + argv, timeout, cwd=cwd,
                                stdout=sink, stderr=subprocess.DEVNULL)
    if stdout_path:
        sink.close()
    words = open(rss_file).read().split() if elapsed is not None and os.path.exists(rss_file) else []
    return elapsed, status, int(words[-1]) if words and words[-1].isdigit() else 0


def page_count(path):
    result = subprocess.run(["qpdf", "--show-npages", path], capture_output=True, text=True)
    return int(result.stdout) if result.stdout.strip().isdigit() else -1


def check(name, status, path, expected):
    """A foliobind run that fails or writes the wrong page count ends the benchmark; a peer's
    is reported."""
    pages = expected if name == "cat" else page_count(path) if os.path.exists(path) else 0
    if status not in (0, 3) or pages != expected:  # qpdf exits 3 on warnings
        text = "%s: exit status %s, %d pages where %d were expected" % (name, status, pages, expected)
        if name == "foliobind":
            sys.exit("lists.py: wrong output of " + text)
        print("  warning: " + text)


def measure(args, size):
    if args.realworld:
        place, files, expected = real_inputs(args.dir, size, args.realworld)
    else:
        place, files = inputs(args.dir, size)
        expected = PAGES_PER_FILE * len(files)
    out = os.path.join(args.dir, "lists-out")
    os.makedirs(out, exist_ok=True)
    tools = [t for t in commands(args.binary, files, out) if t[0] in args.tools]
    tools = [t for t in tools if t[0] in ("foliobind", "cat") or have(t[0])]
    times = {t[0]: [] for t in tools}
    memory = {t[0]: 0 for t in tools}
    stopped = set()
    rss_file = os.path.join(out, "rss.txt")
    for round_index in range(args.reps):
        shift = round_index % len(tools)
        for name, argv, stdout_path in tools[shift:] + tools[:shift]:
            if name in stopped:
                continue
            target = os.path.join(out, name + ".pdf")
            if os.path.exists(target):
                os.remove(target)
            elapsed, status, rss = run_once(argv, stdout_path, place, rss_file, args.timeout)
            memory[name] = max(memory[name], rss)
            if elapsed is None:
                stopped.add(name)
                continue
            if not times[name]:
                check(name, status, target, expected)
            times[name].append(elapsed)
    for name in times:
        target = os.path.join(out, name + ".pdf")
        if os.path.exists(target):
            os.remove(target)
    size_in = sum(os.path.getsize(os.path.join(place, f)) for f in files)
    return times, memory, size_in, expected


def report(size, times, memory, size_in, pages, args):
    median = {n: statistics.median(t) for n, t in times.items() if t}
    ours = median.get("foliobind")
    print("list of %d  (%d pages, %.1f MB in)" % (size, pages, size_in / 1e6))
    for name in times:
        if name not in median:
            print("  %-10s  timed out after %g s" % (name, args.timeout))
            continue
        line = "  %-10s %9.3f s  %7.1f MB peak" % (name, median[name], memory[name] / 1024)
        if len(times[name]) < args.reps:
            line += " (%d run%s)" % (len(times[name]), "s" if len(times[name]) > 1 else "")
        if name in PEERS and ours:
            line += "   %8.2fx ours" % (median[name] / ours)
        elif name == "cat" and ours:
            line += "   ours %.1fx cat" % (ours / median[name])
        print(line)
    return ours


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("sizes", nargs="*", type=int)
    parser.add_argument("--binary", default=os.path.join(ROOT, "build", "foliobind"))
    parser.add_argument("--dir", default="/tmp/foliobind-bench")
    parser.add_argument("--reps", type=int, default=3)
    parser.add_argument("--timeout", type=float, default=600)
    parser.add_argument("--tools", default=",".join(TOOLS))
    parser.add_argument("--realworld", type=int, default=0)
    args = parser.parse_args()
    args.sizes = args.sizes or [200, 800]
    args.tools = args.tools.split(",")
    if "foliobind" not in args.tools or any(t not in TOOLS for t in args.tools):
        parser.error("--tools takes foliobind and any of %s" % ", ".join(TOOLS[1:]))
    args.binary = os.path.abspath(args.binary)
    sys.stdout.reconfigure(line_buffering=True)
    commit = subprocess.run(["git", "-C", ROOT, "log", "-1", "--format=%h %s"], capture_output=True, text=True)
    print("foliobind %s (tree at %s)" % (args.binary, commit.stdout.strip()))
    print("qpdf: %s | pdfunite: %s | mutool: %s" % (
        version(["qpdf", "--version"]), version(["pdfunite", "-v"]), version(["mutool", "-v"])))
    print("plain lists; medians of %d, rotating; timeout %g s; %d cores, load %.1f at the start" % (
        args.reps, args.timeout, os.cpu_count() or 0, os.getloadavg()[0]))
    ours = {}
    for size in args.sizes:
        times, memory, size_in, pages = measure(args, size)
        ours[size] = report(size, times, memory, size_in, pages, args)
    sizes = [s for s in args.sizes if ours[s]]
    for small, large in zip(sizes, sizes[1:]):
        print("foliobind %d -> %d files: %.2fx time for %.1fx files (%.2f ms then %.2f ms a file)" % (
            small, large, ours[large] / ours[small], large / small,
            1000 * ours[small] / small, 1000 * ours[large] / large))


if __name__ == "__main__":
    main()
