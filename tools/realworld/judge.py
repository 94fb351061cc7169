#!/usr/bin/python3
"""Judges one append: does a reader see and reach in OUT what it saw in IN1 and IN2?

    /usr/bin/python3 tools/realworld/judge.py IN1 IN2 OUT [--nobookmarks] [--cache DIR]

Prints one line per failed check ("FAIL check: detail"), a line "stats: what=right/total ..."
(bookmarks, links, names, fields, labelled pages ... that lead where they did) and a last line
"summary: checked=a,b,c failed=b" (checks that do not apply to the pair are left out).
Exit status 0 when every check passes, 1 when one fails, 2 on bad arguments.
"""
import argparse
import collections
import hashlib
import os
import re
import subprocess
import sys
import tempfile
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pdfmodel  # noqa: E402


class Pair:
    """The two inputs and the output, opened once and shared by the checks."""

    def __init__(self, args):
        self.in1 = pdfmodel.Doc(args.in1)
        self.in2 = pdfmodel.Doc(args.in2)
        self.out = pdfmodel.Doc(args.out)
        self.nobookmarks = args.nobookmarks
        self.cache = args.cache
        self.qpdf_out = start_qpdf_check(args.out)
        self.stats = collections.defaultdict(lambda: [0, 0])

    def tally(self, what, total, wrong):
        """Counts for the stats line: how many of total things came through right."""
        self.stats[what][0] += max(total - wrong, 0)
        self.stats[what][1] += total

    def parts(self):
        """(input, page shift in the output) of both inputs."""
        return ((self.in1, 0), (self.in2, len(self.in1)))


def shifted(target, shift):
    """The output target expected for an input target; None when the input's led nowhere."""
    if target is None or target[1] is None:
        return None
    return (target[0], target[1] + shift)


def first_mismatches(pairs, limit=3):
    return '; '.join(f'{a!r} != {b!r}' for a, b in pairs[:limit])


# qpdf --check --------------------------------------------------------------------------------

def start_qpdf_check(path):
    return subprocess.Popen(['qpdf', '--check', path], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True, errors='replace')


def qpdf_faults(status, output, path):
    """Normalised error and warning lines: file name, object numbers and offsets blanked."""
    lines = [line for line in output.splitlines()
             if line.startswith('WARNING') or line.startswith('ERROR') or ': error' in line]
    if status not in (0, 3):
        lines.append(f'qpdf exit status {status}')
    return {re.sub(r'\d+', 'N', line.replace(path, 'FILE')) for line in lines}


def cached_input_faults(path, cache):
    """qpdf --check of an input, kept in the cache folder by qpdf version and content hash."""
    version = subprocess.run(['qpdf', '--version'], capture_output=True, text=True).stdout
    with open(path, 'rb') as handle:
        digest = hashlib.sha1(version.encode() + handle.read()).hexdigest()
    cached = os.path.join(cache, digest + '.qpdf') if cache else None
    if cached and os.path.exists(cached):
        with open(cached, encoding='utf-8') as handle:
            return set(handle.read().splitlines())
    proc = start_qpdf_check(path)
    output = proc.communicate()[0]
    faults = qpdf_faults(proc.returncode, output, path)
    if cached:
        os.makedirs(cache, exist_ok=True)
        with tempfile.NamedTemporaryFile('w', dir=cache, delete=False, encoding='utf-8') as tmp:
            tmp.write('\n'.join(sorted(faults)))
        os.replace(tmp.name, cached)
    return faults


def check_qpdf(pair):
    output = pair.qpdf_out.communicate()[0]
    faults = qpdf_faults(pair.qpdf_out.returncode, output, pair.out.path)
    known = set()
    for doc, _ in pair.parts():
        known |= cached_input_faults(doc.path, pair.cache)
    new = sorted(faults - known)
    return [f'{len(new)} new fault(s): ' + ' | '.join(new[:3])] if new else []


# Pages, bookmarks, links, destinations ------------------------------------------------------

def check_pages(pair):
    want = len(pair.in1) + len(pair.in2)
    return [] if len(pair.out) == want else [f'{len(pair.out)} pages, expected {want}']


def check_bookmarks(pair):
    got, out_faults = pair.out.outline()
    want, in_faults = [], collections.Counter()
    for doc, shift in pair.parts():
        if doc is pair.in2 and pair.nobookmarks:
            continue
        items, faults = doc.outline()
        in_faults += faults
        want.extend((depth, title, target, shift) for depth, title, target in items)
    failures = []
    if len(got) != len(want):
        failures.append(f'{len(got)} items, expected {len(want)}')
    wrong = []
    for (g_depth, g_title, g_target), (depth, title, target, shift) in zip(got, want):
        expected = shifted(target, shift)
        if (g_depth, g_title) != (depth, title) or (expected is not None and g_target != expected):
            wrong.append(((g_depth, g_title, g_target), (depth, title, expected)))
    if wrong:
        failures.append(f'{len(wrong)} of {len(want)} items wrong: ' + first_mismatches(wrong))
    pair.tally('bookmarks', len(want), len(wrong) + max(len(want) - len(got), 0))
    extra = out_faults - in_faults
    if extra:
        failures.append('malformed outline: ' + ', '.join(f'{k} x{v}' for k, v in extra.items()))
    return failures


def check_links(pair):
    total, wrong = 0, []
    for doc, shift in pair.parts():
        for i in range(len(doc)):
            want = [shifted(t, shift) for t in doc.links(i)]
            got = pair.out.links(i + shift) if i + shift < len(pair.out) else []
            for j, expected in enumerate(want):
                if expected is None:
                    continue
                total += 1
                actual = got[j] if j < len(got) else 'missing'
                if actual != expected:
                    wrong.append((actual, expected))
    pair.tally('links', total, len(wrong))
    if wrong:
        return [f'{total - len(wrong)} of {total} resolved; ' + first_mismatches(wrong)]
    return []


def check_names(pair):
    """Every input name resolves to its page; a clashing second-file name may be renamed."""
    out_names = {k: pair.out.dest_page(v) for k, v in pair.out.named_dests().items()}
    first = {k: pair.in1.dest_page(v) for k, v in pair.in1.named_dests().items()}
    second = {k: pair.in2.dest_page(v) for k, v in pair.in2.named_dests().items()}
    failures, wrong = [], []
    for name, page in first.items():
        if page is not None and out_names.get(name, 'missing') != page:
            wrong.append((name, out_names.get(name, 'missing'), page))
    shift = len(pair.in1)
    spare = collections.Counter(page for name, page in out_names.items()
                                if name not in first and name not in second)
    for name, page in second.items():
        if page is None:
            continue
        if name not in first and out_names.get(name, 'missing') == page + shift:
            continue
        if name in first and spare[page + shift] > 0:
            spare[page + shift] -= 1  # renamed on a clash: some fresh name leads there
            continue
        wrong.append((name, out_names.get(name, 'missing'), page + shift))
    pair.tally('names', sum(1 for d in (first, second) for p in d.values() if p is not None),
               len(wrong))
    loose = []
    for doc in (pair.in1, pair.in2, pair.out):
        doc.outline()
        for i in range(len(doc)):
            doc.links(i)
        loose.append(len(doc.loose_uses))
    if loose[2] > loose[0] + loose[1]:
        failures.append(f'{loose[2]} bookmarks and links name a destination where only a lenient '
                        f'reader finds it (a name object outside /Dests, a string outside the '
                        f'/Names tree), inputs {loose[:2]}')
    if len(out_names) < len(first) + len(second):
        failures.append(f'{len(out_names)} names, expected {len(first)} + {len(second)}')
    if wrong:
        sample = '; '.join(f'{n.decode(errors="replace")}: {g!r} != {w!r}' for n, g, w in wrong[:3])
        failures.append(f'{len(wrong)} of {len(first) + len(second)} names wrong: {sample}')
    return failures


# Annotations and forms ----------------------------------------------------------------------

def check_annots(pair):
    """Each page keeps its own annotations; none is shared with another page by the append."""
    failures = []
    counts = [(i + shift, len(doc.annots(i)), len(pair.out.annots(i + shift)))
              for doc, shift in pair.parts() for i in range(len(doc)) if i + shift < len(pair.out)]
    wrong = [(page, got, want) for page, want, got in counts if got != want]
    if wrong:
        failures.append(f'{len(wrong)} pages with other annotation counts (page, got, want): '
                        f'{wrong[:3]}')
    shared = [sum(1 for pages in d.annot_pages().values() if len(pages) > 1)
              for d in (pair.in1, pair.in2, pair.out)]
    if shared[2] > shared[0] + shared[1]:
        failures.append(f'{shared[2]} annotations on several pages, inputs {shared[:2]}')
    return failures


def check_forms(pair):
    got = pair.out.form() or []
    parts = [(doc.form() or [], shift) for doc, shift in pair.parts()]
    want_count = sum(len(fields) for fields, _ in parts)
    failures = []
    if len(got) != want_count:
        failures.append(f'{len(got)} terminal fields, expected {want_count}')
    distinct = sum(len({f['name'] for f in fields}) for fields, _ in parts)
    if len({f['name'] for f in got}) != distinct:
        failures.append(f'{len({f["name"] for f in got})} distinct names, expected {distinct}')
    unmatched = list(got)
    first_names = {f['name'] for f in parts[0][0]}
    wrong = []
    for index, (fields, shift) in enumerate(parts):
        for field in fields:
            match = match_field(field, shift, unmatched, index == 1 and field['name'] in first_names)
            if match is None:
                wrong.append(field['name'])
            elif field['da'] is not None and match['da'] != field['da']:
                wrong.append(f"{field['name']} /DA {match['da']!r}, was {field['da']!r}")
            elif field['font'] not in (None, '(missing)') and match['font'] != field['font']:
                wrong.append(f"{field['name']} font {match['font']}, was {field['font']}")
    pair.tally('fields', want_count, len(wrong))
    if wrong:
        failures.append(f'{len(wrong)} of {want_count} fields missing, moved or changed: {wrong[:3]}')
    return failures


def match_field(field, shift, candidates, may_rename):
    """Takes from candidates the output field of the same name and widget pages."""
    pages = [p + shift if p is not None else None for p in field['pages']]
    tail = field['name'].split('.', 1)[1:]
    for i, cand in enumerate(candidates):
        same_name = cand['name'] == field['name'] and not may_rename
        renamed = may_rename and (cand['name'].split('.', 1)[1:] == tail or
                                  cand['name'].endswith('.' + field['name']))
        if (same_name or renamed) and cand['pages'] == pages:
            return candidates.pop(i)
    return None


# Labels, layers, structure, attachments, version --------------------------------------------

def check_labels(pair):
    want = pair.in1.labels() + pair.in2.labels()
    got = pair.out.labels()
    wrong = [(i, g, w) for i, (g, w) in enumerate(zip(got, want)) if g != w]
    pair.tally('page labels', len(want), len(wrong) + max(len(want) - len(got), 0))
    if wrong:
        return [f'{len(wrong)} of {len(want)} pages (index, got, want): {wrong[:3]}']
    return []


MAX_RENDERED = 80  # pages of one input compared as images


def render(path, indexes, folder):
    """Page images at 20 dpi of the given page indexes, as bytes, one pdftoppm per run of pages."""
    images = []
    for first, last in runs(indexes):
        prefix = os.path.join(folder, 'p')
        subprocess.run(['pdftoppm', '-r', '20', '-f', str(first + 1), '-l', str(last + 1),
                        path, prefix], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=120)
        names = sorted(os.listdir(folder), key=lambda n: int(re.findall(r'\d+', n)[-1]))
        for name in names:
            with open(os.path.join(folder, name), 'rb') as handle:
                images.append(handle.read())
            os.remove(os.path.join(folder, name))
    return images


def runs(indexes):
    """[3, 4, 5, 9] -> [(3, 5), (9, 9)]"""
    result = []
    for index in sorted(indexes):
        if result and result[-1][1] == index - 1:
            result[-1] = (result[-1][0], index)
        else:
            result.append((index, index))
    return result


def compare_renderings(pair, pages_of, what):
    """Renders the pages pages_of(doc) picks in each input and in the output; lists differences."""
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        for doc, shift in pair.parts():
            indexes = pages_of(doc)
            if len(indexes) > MAX_RENDERED:  # spread over the file, to bound the time of a pair
                indexes = [indexes[i * len(indexes) // MAX_RENDERED] for i in range(MAX_RENDERED)]
            if not indexes:
                continue
            want = render(doc.path, indexes, folder)
            got = render(pair.out.path, [i + shift for i in indexes], folder)
            wrong = [i + shift for i, g, w in zip(indexes, got, want) if g != w]
            pair.tally(what, len(want), len(wrong) + max(len(want) - len(got), 0))
            if wrong or len(got) != len(want):
                failures.append(f'{len(wrong)} of {len(want)} pages render otherwise, '
                                f'output page indexes {wrong[:5]}')
    return failures


def check_layers(pair):
    """Pages with layers render as in their input, and their groups start in the same state."""
    failures = compare_renderings(
        pair, lambda doc: list(range(len(doc))) if '/OCProperties' in doc.root else [],
        'layer pages')
    wrong, total = [], 0
    for doc, shift in pair.parts():
        if '/OCProperties' not in doc.root:
            continue
        for i in range(min(len(doc), len(pair.out) - shift)):
            want, got = doc.layer_states(i), pair.out.layer_states(i + shift)
            total += len(want)
            wrong += [(i + shift, name, got.get(name), state)
                      for name, state in want.items() if got.get(name) != state]
    pair.tally('layer states', total, len(wrong))
    if wrong:
        failures.append(f'{len(wrong)} of {total} groups start otherwise (page, name, got, '
                        f'want): {wrong[:3]}')
    return failures


def check_widgets(pair):
    """Form pages look as they did: a /NeedAppearances of the other file must not redraw them."""
    return compare_renderings(pair, lambda doc: doc.widget_pages() if doc.form() else [],
                              'widget pages')


def check_trees(pair):
    """The output's name and number trees are sorted and their /Limits hold their keys."""
    def faults(doc):
        return {label: pdfmodel.Tree(root, leaf).faults for label, root, leaf in doc.trees()}
    out, in1, in2 = faults(pair.out), faults(pair.in1), faults(pair.in2)
    return [f'{label}: {count} keys out of order or outside /Limits (inputs {in1.get(label, 0)} + '
            f'{in2.get(label, 0)})' for label, count in out.items()
            if count > in1.get(label, 0) + in2.get(label, 0)]


def check_structure(pair):
    """Both trees' elements are there, and each page's /StructParents (and each annotation's
    /StructParent) leads to entries naming the same pages as in its input."""
    failures = []
    (count1, bad1), (count2, bad2) = pair.in1.struct_elements(), pair.in2.struct_elements()
    got, bad = pair.out.struct_elements()
    pair.tally('structure elements', count1 + count2, count1 + count2 - got)
    if got < count1 + count2:
        failures.append(f'{got} structure elements, expected at least {count1 + count2}')
    if bad > bad1 + bad2:
        failures.append(f'{bad} elements whose /P is not their parent (inputs {bad1} + {bad2})')
    failures += roles_and_marks(pair)
    out_tree = pair.out.parent_tree()
    verdicts = collections.defaultdict(list)
    for doc, shift in pair.parts():
        in_tree = doc.parent_tree() if doc.struct_root() is not None else None
        for i in range(min(len(doc), len(pair.out) - shift)):
            holders = [(doc.pages[i], pair.out.pages[i + shift], '/StructParents')]
            in_annots, out_annots = doc.annots(i), pair.out.annots(i + shift)
            if len(in_annots) == len(out_annots):
                holders += [(a, b, '/StructParent') for a, b in zip(in_annots, out_annots)]
            for held, out_held, key in holders:
                verdict = parent_entry_verdict((doc, in_tree, held), (pair.out, out_tree, out_held),
                                               key, shift)
                verdicts[verdict].append(i + shift)
    pair.tally('/StructParents', len(verdicts['ok']) + len(verdicts['wrong']), len(verdicts['wrong']))
    if verdicts['wrong']:
        failures.append(f"{len(verdicts['wrong'])} pages or annotations whose /StructParents "
                        f"lead elsewhere, on output pages {sorted(set(verdicts['wrong']))[:5]}")
    if verdicts['stray']:
        failures.append(f"{len(verdicts['stray'])} untagged pages or annotations point into the "
                        f"tree, on output pages {sorted(set(verdicts['stray']))[:5]}")
    return failures


def roles_and_marks(pair):
    """Roles of either input map as they did (unless the inputs disagree); /Marked stays."""
    failures = []
    roles1, roles2, out = pair.in1.role_map(), pair.in2.role_map(), pair.out.role_map()
    wanted = {**roles1, **roles2}
    lost = sorted(k for k, v in wanted.items()
                  if roles1.get(k, v) == roles2.get(k, v) and out.get(k) != v)
    if lost:
        failures.append(f'{len(lost)} /RoleMap entries lost or changed: {lost[:5]}')
    def marked(doc):
        info = doc.root.get('/MarkInfo')
        return pdfmodel.is_dict(info) and info.get('/Marked') is True
    if (marked(pair.in1) or marked(pair.in2)) and not marked(pair.out):
        failures.append('/MarkInfo /Marked true lost')
    return failures


def parent_entry_verdict(before, after, key, shift):
    """'stray', 'wrong' or 'ok' for one page or annotation, given (document, parent tree,
    page or annotation) in the input and in the output; None when its input had no entry."""
    (doc, in_tree, held), (out, out_tree, out_held) = before, after
    out_key = out_held.get(key)
    out_entry = out_tree.get(int(out_key)) if isinstance(out_key, int) else None
    if in_tree is None:
        return 'stray' if out_entry is not None else None
    in_key = held.get(key)
    if not isinstance(in_key, int) or in_key not in in_tree:
        return None
    want = entry_pages(doc, in_tree[in_key], shift)
    return 'ok' if out_entry is not None and entry_pages(out, out_entry, 0) == want else 'wrong'


def entry_pages(doc, entry, shift):
    """Page indexes (shifted) that the /Pg of a parent-tree entry's elements name."""
    elements = entry if pdfmodel.is_array(entry) else [entry]
    pages = []
    for element in elements:
        page = element.get('/Pg') if pdfmodel.is_dict(element) else None
        index = doc.page_index.get(page.objgen) if pdfmodel.is_dict(page) else None
        pages.append(index + shift if index is not None else None)
    return pages


def check_name_trees(pair):
    """Name trees other than destinations and attachments (/JavaScript, /AP, /Pages ...) and
    /Threads: the output has the entries of both inputs."""
    sizes = [doc.name_tree_sizes() for doc, _ in pair.parts()]
    out = pair.out.name_tree_sizes()
    failures = []
    for key in sorted((set(sizes[0]) | set(sizes[1])) - {'/EmbeddedFiles'}):
        want = sizes[0].get(key, 0) + sizes[1].get(key, 0)
        pair.tally(key[1:], want, abs(want - out.get(key, 0)))
        if out.get(key, 0) != want:
            failures.append(f'{key}: {out.get(key, 0)} entries, expected {want}')
    return failures


def check_attachments(pair):
    want = pair.in1.attachments() + pair.in2.attachments()
    got = pair.out.attachments()
    pair.tally('attachments', want, abs(want - got))
    return [] if got == want else [f'{got} embedded files, expected {want}']


def check_version(pair):
    want = max(v for doc, _ in pair.parts() for v in doc.versions() if v is not None)
    got = pair.out.versions()[0]
    return [] if got >= want else [f'header {got}, expected at least {want}']


# The table: name, check, applies to the pair when ----------------------------------------

def any_doc(test):
    return lambda pair: any(test(doc) for doc, _ in pair.parts())


CHECKS = [
    ('qpdf', check_qpdf, lambda pair: True),
    ('pages', check_pages, lambda pair: True),
    ('bookmarks', check_bookmarks, any_doc(lambda d: '/Outlines' in d.root)),
    ('links', check_links, any_doc(lambda d: any(d.links(i) for i in range(len(d))))),
    ('names', check_names, any_doc(lambda d: bool(d.named_dests()))),
    ('annots', check_annots, any_doc(lambda d: bool(d.annot_pages()))),
    ('forms', check_forms, any_doc(lambda d: bool(d.form()))),
    ('labels', check_labels, any_doc(lambda d: '/PageLabels' in d.root)),
    ('widgets', check_widgets, any_doc(lambda d: bool(d.form()))),
    ('layers', check_layers, any_doc(lambda d: '/OCProperties' in d.root)),
    ('structure', check_structure, any_doc(lambda d: d.struct_root() is not None)),
    ('attachments', check_attachments, any_doc(lambda d: d.attachments() > 0)),
    ('nametrees', check_name_trees,
     any_doc(lambda d: any(k != '/EmbeddedFiles' for k in d.name_tree_sizes()))),
    ('trees', check_trees, any_doc(lambda d: bool(d.trees()))),
    ('version', check_version, lambda pair: True),
]


def run_checks(pair):
    checked, failed = [], []
    for name, check, applies in CHECKS:
        try:
            if not applies(pair):
                continue
            failures = check(pair)
        except Exception as error:  # a check that cannot run has failed, the others go on
            failures = [f'{type(error).__name__}: {error}'.replace('\n', ' ')]
            if os.environ.get('JUDGE_TRACE'):
                traceback.print_exc()
        checked.append(name)
        for failure in failures:
            print(f'FAIL {name}: {failure}')
        if failures:
            failed.append(name)
    return checked, failed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('in1')
    parser.add_argument('in2')
    parser.add_argument('out')
    parser.add_argument('--nobookmarks', action='store_true',
                        help="the output was written with -nobookmarks: no second-file outline")
    parser.add_argument('--cache', help='folder that keeps qpdf --check results of the inputs')
    args = parser.parse_args()
    try:
        pair = Pair(args)
    except Exception as error:
        print(f'FAIL open: {type(error).__name__}: {error}'.replace('\n', ' '))
        print('summary: checked=open failed=open')
        return 1
    checked, failed = run_checks(pair)
    print('stats: ' + ' '.join(f'{what.replace(" ", "_")}={right}/{total}'
                               for what, (right, total) in pair.stats.items()))
    print(f'summary: checked={",".join(checked)} failed={",".join(failed)}')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
