#!/usr/bin/python3
"""Writes pairs.txt, the appends that run.sh judges, from the corpus's SOURCES.md.

    /usr/bin/python3 tools/realworld/make_pairs.py [CORPUS] > tools/realworld/pairs.txt

Each line is "FIRST SECOND [-nobookmarks]", file names relative to the corpus folder; '#' starts
a comment naming the group the following pairs belong to.
"""
import os
import re
import sys

PARTNER = '191_logo.pdf'   # small, one page, no document-level data of its own
RING_MAX_SIZE = 1_500_000  # larger files take seconds to check; they are judged with PARTNER only
PROBLEM_LINE = 'Pairs known to show each problem'
SELF = ['030_l3pdffield-textfield.pdf', '054_tikz-optics.pdf', '271_lo_impress-DNA.pdf',
        '281_lo_ocrmypdf-cookbook.pdf', 'qpdfatt_mpintro.pdf']
NOBOOKMARKS = [('243_mfpic-doc.pdf', '173_tikz-dimline-doc.pdf'),
               ('026_l3pdffield-action.pdf', 'muinc_hyperref-linktarget.pdf'),
               ('072_reportlab-userguide.pdf', '266_lo_draw-bpmn.pdf')]

# Group name and the test on a file's feature text that puts it in the group; each group's files
# are appended in a ring (every file before the next, the last before the first), smallest first.
GROUPS = [
    ('colliding destination names', lambda f: 'section.1' in f or 'page.1' in f),
    ('tagged onto tagged', lambda f: 'structure tree' in f),
    ('forms onto forms', lambda f: re.search(r'AcroForm fields \d', f)),
    ('optional content', lambda f: 'optional content' in f),
    ('attachments', lambda f: re.search(r'(?<!annotations )attachments \d', f)),
    ('page labels', lambda f: 'page labels' in f),
]


def read_sources(corpus):
    with open(os.path.join(corpus, 'SOURCES.md'), encoding='utf-8') as handle:
        lines = handle.read().splitlines()
    files = {}
    for line in lines:
        cells = [c.strip() for c in line.split('|')]
        if len(cells) > 9 and cells[1].endswith('.pdf'):
            files[cells[1]] = {'size': int(cells[7]), 'features': cells[8]}
    problems = []
    for line in lines:
        if line.startswith(PROBLEM_LINE):
            for first, second in re.findall(r'(\w+)\+(\w+)', line.split(':', 1)[1]):
                problems.append((by_number(files, first), by_number(files, second)))
    return files, problems


def by_number(files, number):
    return next(name for name in sorted(files) if name.startswith(number + '_'))


def ring(names):
    if len(names) < 2:
        return []
    return [(names[i], names[(i + 1) % len(names)]) for i in range(len(names))]


def listed(name, files):
    """A long name as its first 25 characters and "*", which run.sh expands in the corpus, so
    that every line of pairs.txt stays short; kept whole where the shorter form is ambiguous."""
    if len(name) <= 30:
        return name
    prefix = name[:25]
    return prefix + '*' if sum(f.startswith(prefix) for f in files) == 1 else name


def main():
    corpus = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), '../../../shared/corpus/realworld')
    files, problems = read_sources(corpus)
    groups = [('every file first, then second, with a plain partner',
               [(f, PARTNER) for f in sorted(files)] +
               [(PARTNER, f) for f in sorted(files) if f != PARTNER]),
              ('pairs known to show each problem', problems)]
    for title, test in GROUPS:
        members = sorted((f for f in files if test(files[f]['features'])
                          and files[f]['size'] <= RING_MAX_SIZE),
                         key=lambda f: files[f]['size'])
        groups.append((title, ring(members)))
    groups.append(('files onto themselves', [(f, f) for f in SELF]))
    seen = set()
    print('# Appends judged by run.sh; made by make_pairs.py from SOURCES.md.')
    for title, pairs in groups:
        fresh = [p for p in pairs if p not in seen]
        seen.update(fresh)
        if fresh:
            print(f'# {title}')
            print('\n'.join(f'{listed(a, files)} {listed(b, files)}' for a, b in fresh))
    print('# without the second outline')
    print('\n'.join(f'{listed(a, files)} {listed(b, files)} -nobookmarks' for a, b in NOBOOKMARKS))


if __name__ == '__main__':
    main()
