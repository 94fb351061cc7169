#!/usr/bin/python3
"""Tests of judge.py: outputs that today's engine gets right are judged clean, also after pikepdf
rewrote them, and each damage done to them with pikepdf fails exactly the checks it should.

    /usr/bin/python3 tools/realworld/test_judge.py BINARY

Exit 77 (skipped) without the corpus; the last line is "N passed, N failed".
"""
import os
import subprocess
import sys
import tempfile

try:
    import pikepdf
except ImportError:
    print(f'judge tests skipped: {sys.executable} has no pikepdf (apt-get install python3-pikepdf)')
    sys.exit(77)

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.environ.get('FOLIOBIND_REALWORLD', os.path.join(HERE, '../../../shared/corpus/realworld'))


def first_link(pdf, page):
    return next(a for a in pdf.pages[page].Annots if a.get('/Subtype') == pikepdf.Name.Link)


def retarget_link(page):
    def mutate(pdf):
        first_link(pdf, page).Dest = pikepdf.Array([pdf.pages[0].obj, pikepdf.Name.Fit])
        if '/A' in first_link(pdf, page):
            del first_link(pdf, page)['/A']
    return mutate


def retitle_bookmark(pdf):
    pdf.Root.Outlines.First.Title = pikepdf.String('another title')


def drop_prev(pdf):
    del pdf.Root.Outlines.First.Next['/Prev']


def drop_dests(pdf):
    del pdf.Root.Names['/Dests']


def narrow_limits(pdf):
    """The first leaf's /Limits no longer hold its first key."""
    node = pdf.Root.Names.Dests
    while '/Kids' in node:
        node = node.Kids[0]
    node.Limits = pikepdf.Array([node.Names[2], node.Limits[1]])


def rename_field(pdf):
    pdf.Root.AcroForm.Fields[0].T = pikepdf.String('renamed by the test')


def change_da(pdf):
    field = pdf.Root.AcroForm.Fields[0]
    while '/Kids' in field and '/T' in field.Kids[0]:
        field = field.Kids[0]
    field.DA = pikepdf.String('/Helv 31 Tf 1 0 0 rg')


def share_annot(pdf):
    pdf.pages[1].Annots.append(pdf.pages[0].Annots[0])


def damage_content(pdf):
    page = pdf.pages[len(pdf.pages) - 1]
    page.Contents.write(b'\x00 not flate data', filter=pikepdf.Name.FlateDecode)


def truncate(data):
    return data[:len(data) // 2]


def move_startxref(data):
    """Readers then rebuild the cross-reference table, with a warning."""
    at = data.rindex(b'startxref') + len(b'startxref')
    number = data[at:].split()[0]
    return data[:at] + data[at:].replace(number, str(int(number) + 7).encode(), 1)


def drop_key(*path):
    def mutate(pdf):
        node = pdf.Root
        for key in path[:-1]:
            node = node[key]
        del node[path[-1]]
    return mutate


def restructure(pdf):
    pdf.pages[0].StructParents = 999


def reparent(pdf):
    """A top-level structure element names its first child as its parent."""
    kids = pdf.Root.StructTreeRoot.K
    top = kids[0] if isinstance(kids, pikepdf.Array) else kids
    top.P = next(k for k in top.K if isinstance(k, pikepdf.Dictionary))


def drop_role(pdf):
    roles = pdf.Root.StructTreeRoot.RoleMap
    del roles[sorted(roles.keys())[0]]


def unmark(pdf):
    pdf.Root.MarkInfo.Marked = False


def swap_font(pdf):
    """The form's font resource named by the field's /DA becomes another font."""
    for resources in (pdf.Root.AcroForm.DR, pdf.Root.AcroForm.Fields[0].DR):
        resources.Font.He = resources.Font.F1


def switch_layers_on(pdf):
    del pdf.Root.OCProperties.D['/OFF']


def count_as_text(pdf):
    """A value of the wrong type: the check that reads it fails, the others still run."""
    pdf.Root.Outlines.Count = pikepdf.String('many')


def point_into_tree(pdf):
    """The untagged second file's page claims the first entry of the first file's tree."""
    pdf.pages[len(pdf.pages) - 1].StructParents = 0


def dests_into_tree(pdf):
    """The old /Dests dictionary moves into the /Names tree; links still name it with names."""
    old = pdf.Root.Dests
    leaves = pikepdf.Array()
    for key in sorted(old.keys()):
        leaves.extend([pikepdf.String(key[1:]), old[key]])
    pdf.Root.Names = pikepdf.Dictionary(Dests=pikepdf.Dictionary(Names=leaves))
    del pdf.Root['/Dests']


def relabel(pdf):
    pdf.Root.PageLabels = pikepdf.Dictionary(Nums=[0, pikepdf.Dictionary(S=pikepdf.Name.r)])


def need_appearances(pdf):
    """Readers then draw the widgets anew from /DA, which these buttons lack: they vanish."""
    pdf.Root.AcroForm.NeedAppearances = True


# Base pair (FIRST SECOND [-nobookmarks]) -> rows of (what is done, mutation, judge option,
# checks that must fail). None keeps the output as the engine wrote it; every other row saves
# it again through pikepdf.
FORMS = '053_tikz-mirror-lens.pdf 191_logo.pdf'
CASES = {
    FORMS: [
        ('as written', None, [], set()),
        ('rewritten by pikepdf', lambda pdf: None, [], set()),
        ('header 1.3', lambda pdf: {'force_version': '1.3'}, [], {'version'}),
        ('last page dropped', lambda pdf: pdf.pages.remove(p=len(pdf.pages)), [], {'pages'}),
        ('bookmark retitled', retitle_bookmark, [], {'bookmarks'}),
        ('/Prev of an outline item lost', drop_prev, [], {'bookmarks'}),
        ('a link sent to page 1', retarget_link(2), [], {'links'}),
        ('/Names /Dests dropped', drop_dests, [], {'names', 'links', 'bookmarks'}),
        ('/Limits no longer hold a key', narrow_limits, [], {'trees'}),
        ('field renamed', rename_field, [], {'forms'}),
        ('/NeedAppearances true', need_appearances, [], {'widgets'}),
        ('annotation on two pages', share_annot, [], {'annots'}),
        ('content stream damaged', damage_content, [], {'qpdf'}),
        ('outline /Count a string', count_as_text, [], {'bookmarks'}),
        ('not a PDF', lambda data: b'', [], {'open'}),
        ('cut in half', truncate, [], {'open'}),
        ('startxref off by 7', move_startxref, [], {'qpdf'}),
    ],
    '191_logo.pdf 072_reportlab-userguide.pdf': [
        ('as written', None, [], set()),
        ('judged as if -nobookmarks', None, ['--nobookmarks'], {'bookmarks'}),
        ('a second-file link sent to page 1', retarget_link(3), [], {'links'}),
    ],
    '191_logo.pdf 072_reportlab-userguide.pdf -nobookmarks': [
        ('as written', None, ['--nobookmarks'], set()),
        ('judged as a plain append', None, [], {'bookmarks'}),
    ],
    '054_tikz-optics.pdf 191_logo.pdf': [
        ('/OCProperties dropped', drop_key('/OCProperties'), [], {'layers'}),
        ('hidden layer switched on', switch_layers_on, [], {'layers'}),
    ],
    '050_pgfplotstable.pdf 191_logo.pdf': [
        ('as written', None, [], set()),
        ('/JavaScript dropped', drop_key('/Names', '/JavaScript'), [], {'nametrees'}),
    ],
    'pdftkatt_lo_cnt-05.pdf 191_logo.pdf': [
        ('as written', None, [], set()),
        ('/EmbeddedFiles dropped', drop_key('/Names', '/EmbeddedFiles'), [], {'attachments'}),
        ('/StructParents of page 1 changed', restructure, [], {'structure'}),
        ('element /P not its parent', reparent, [], {'structure'}),
        ('/RoleMap entry dropped', drop_role, [], {'structure'}),
        ('/MarkInfo /Marked false', unmark, [], {'structure'}),
        ('untagged page points into the tree', point_into_tree, [], {'structure'}),
    ],
    '082_luaharfbuzz.pdf 191_logo.pdf': [
        ('as written', None, [], set()),
        ('/Dests dictionary moved into the tree', dests_into_tree, [], {'names'}),
    ],
    '164_sample-stamps.pdf 191_logo.pdf': [
        ('labels made roman', relabel, [], {'labels'}),
    ],
    '282_lo_ocrmypdf-docker-plain.pdf 191_logo.pdf': [
        ('as written', None, [], set()),
        ('field /DA changed', change_da, [], {'forms'}),
        ('font of the /DA changed', swap_font, [], {'forms'}),
    ],
}


def judge(first, second, out, options):
    result = subprocess.run([sys.executable, os.path.join(HERE, 'judge.py'), first, second, out]
                            + options, capture_output=True, text=True, timeout=300)
    summary = [l for l in result.stdout.splitlines() if l.startswith('summary: ')]
    failed = summary[-1].split('failed=')[1] if summary else 'no-summary'
    return {c for c in failed.split(',') if c}, result.stdout


def mutate(out, mutation, folder):
    """Saves a damaged copy: a mutation taking 'data' works on bytes, one taking 'pdf' changes the
    pikepdf document and may return options for its save."""
    judged = os.path.join(folder, 'mutated.pdf')
    if mutation.__code__.co_varnames[:1] == ('data',):
        with open(out, 'rb') as source, open(judged, 'wb') as target:
            target.write(mutation(source.read()))
        return judged
    with pikepdf.open(out) as pdf:
        pdf.save(judged, **(mutation(pdf) or {}))
    return judged


def run_case(binary, base, rows, folder):
    first, second, *option = base.split()
    first, second = os.path.join(CORPUS, first), os.path.join(CORPUS, second)
    out = os.path.join(folder, 'base.pdf')
    subprocess.run([binary, first, second, '-o' + out, '-quiet'] + option, check=True,
                   timeout=60, stdout=subprocess.DEVNULL)
    passed = 0
    for what, mutation, options, expected in rows:
        judged = out if mutation is None else mutate(out, mutation, folder)
        failed, text = judge(first, second, judged, options)
        if failed == expected:
            passed += 1
        else:
            print(f'FAILED {base}, {what}: failed checks {sorted(failed)}, expected '
                  f'{sorted(expected)}\n{text}')
    return passed


def main():
    if not os.path.isdir(CORPUS):
        print(f'judge tests skipped: no corpus at {CORPUS}')
        return 77
    binary = os.path.abspath(sys.argv[1])
    passed = total = 0
    with tempfile.TemporaryDirectory() as folder:
        for base, rows in CASES.items():
            passed += run_case(binary, base, rows, folder)
            total += len(rows)
    print(f'{passed} passed, {total - passed} failed')
    return 0 if passed == total else 1


if __name__ == '__main__':
    sys.exit(main())
