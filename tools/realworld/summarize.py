#!/usr/bin/python3
"""Adds up the judge's reports of a run.sh folder and weighs them against known.txt.

    /usr/bin/python3 tools/realworld/summarize.py OUTDIR KNOWN [--record]

With --record, KNOWN is rewritten to hold exactly the failures of this run, each with the first
line the judge printed for it as the reason.

Prints pairs checked / clean per check, the failing pairs and the total; writes the failing
lines to OUTDIR/failures.txt. Exit status 1 when a failure is not in KNOWN or a KNOWN failure
no longer happens (so that the table stays true), else 0.
"""
import collections
import glob
import os
import sys


STATS = collections.defaultdict(lambda: [0, 0])  # what -> [right, total] over all pairs


def read_reports(outdir):
    """{(first, second, option): (checked, failed, FAIL lines, seconds)} of every NNN.txt."""
    reports = {}
    for path in sorted(glob.glob(os.path.join(outdir, '[0-9]*.txt'))):
        with open(path, encoding='utf-8', errors='replace') as handle:
            lines = handle.read().splitlines()
        pair = tuple(lines[0].split()[1:]) if lines and lines[0].startswith('pair ') else (path,)
        checked, failed, seconds = ['judge'], ['judge'], 0.0
        for line in lines:
            if line.startswith('stats: '):
                for field in line[7:].split():
                    what, counts = field.split('=')
                    right, total = counts.split('/')
                    STATS[what.replace('_', ' ')][0] += int(right)
                    STATS[what.replace('_', ' ')][1] += int(total)
            if line.startswith('seconds '):
                seconds = float(line.split()[1])
            if line.startswith('summary: '):
                fields = dict(f.split('=', 1) for f in line[9:].split())
                checked = [c for c in fields.get('checked', '').split(',') if c]
                failed = [c for c in fields.get('failed', '').split(',') if c]
        reports[pair] = (checked, failed, [line for line in lines if line.startswith('FAIL')],
                         seconds)
    return reports


def read_known(path):
    """{(pair text, check): reason} from lines "FIRST SECOND [OPTION] | CHECK | REASON"."""
    known = {}
    if os.path.exists(path):
        with open(path, encoding='utf-8') as handle:
            for line in handle:
                parts = [p.strip() for p in line.split('|', 2)]
                if len(parts) >= 2 and not line.startswith('#'):
                    known[(' '.join(parts[0].split()), parts[1])] = parts[2] if len(parts) > 2 else ''
    return known


KNOWN_HEADER = """\
# Failures of run.sh that are known and accepted for now: FIRST SECOND [OPTION] | CHECK | REASON
# run.sh passes while these fail, and fails when one of them starts to pass (remove it then).
"""


def record_known(path, reports):
    rows = []
    for pair, (_, failed, lines, _) in reports.items():
        for check in failed:
            reason = next((l for l in lines if l.startswith(f'FAIL {check}:')), f'FAIL {check}:')
            rows.append(f'{" ".join(pair)} | {check} | {reason.split(":", 1)[1].strip()[:120]}')
    with open(path, 'w', encoding='utf-8') as handle:
        handle.write(KNOWN_HEADER + ''.join(row + '\n' for row in sorted(set(rows))))


def main():
    outdir, known_path = sys.argv[1], sys.argv[2]
    reports = read_reports(outdir)
    if not reports:
        print('no pair was judged')
        return 1
    if '--record' in sys.argv[3:]:
        record_known(known_path, reports)
    known = read_known(known_path)
    checked, clean = collections.Counter(), collections.Counter()
    unexpected, known_hit, failures = [], set(), []
    for pair, (pair_checked, failed, lines, _) in reports.items():
        for check in pair_checked:
            checked[check] += 1
            clean[check] += check not in failed
        for check in failed:
            key = (' '.join(pair), check)
            if key in known:
                known_hit.add(key)
            else:
                unexpected.append(' '.join(pair) + f': {check}')
        failures.extend(' '.join(pair) + ' | ' + line for line in lines)
    with open(os.path.join(outdir, 'failures.txt'), 'w', encoding='utf-8') as handle:
        handle.write('\n'.join(failures) + '\n')

    print(f'{"check":<12} {"pairs":>6} {"clean":>6}')
    for check in checked:
        print(f'{check:<12} {checked[check]:>6} {clean[check]:>6}')
    print('came through: ' + ', '.join(f'{what} {right} of {total}'
                                       for what, (right, total) in sorted(STATS.items())))
    pairs_clean = sum(1 for _, failed, _, _ in reports.values() if not failed)
    print(f'clean pairs: {pairs_clean} of {len(reports)}')
    slowest = sorted(reports.items(), key=lambda item: -item[1][3])[:3]
    print('slowest pairs (append and judge): ' +
          ', '.join(f'{" ".join(pair)} {report[3]:.1f} s' for pair, report in slowest))
    judged = {' '.join(pair) for pair in reports}
    stale = sorted(k for k in known if k not in known_hit and k[0] in judged)
    for pair, check in stale:
        print(f'known failure now passes, remove it from known.txt: {pair} | {check}')
    for line in unexpected:
        print('FAILED ' + line)
    print(f'{len(unexpected)} unexpected failure(s), {len(known_hit)} known, {len(stale)} stale')
    return 1 if unexpected or stale else 0


if __name__ == '__main__':
    sys.exit(main())
