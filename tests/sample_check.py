#!/usr/bin/env python3
"""Keeps samples/sample.log what samples/README.md says it is.

Regenerates the sample with the command documented in samples/README.md and
requires the very same bytes (the generator must be deterministic), then
checks that the sample still has what it is there for: several months across
a year change, both layouts, a page share like a real site's, and the awkward
lines an analyser has to survive. Skips when TOVEX_LOGGEN is not set.
"""

import os
import re
import shlex
import subprocess
import sys
import tempfile

READER_LINE = 511  # an analyser keeps the first 511 bytes of a line
REQUEST_PATTERN = b' -  [//:::] '
LOG_LINE_PATTERN = b' - - [//:::] '
PAGE_SUFFIXES = (b'.htm ', b'.html ', b'.shtm ', b'.shtml ')
MONTHS = {m: i + 1 for i, m in enumerate(
    'Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec'.split())}
LINE = re.compile(
    rb'^(\S+) (\S+) (\S+) \[(\d\d)/(\w\w\w)/(\d{4}):(\d\d):(\d\d):(\d\d) '
    rb'[+-]\d{4}\] "((?:[^"\\]|\\.)*)" (\d{3}) (\d+|-)'
    rb'( "(?:[^"\\]|\\.)*" "(?:[^"\\]|\\.)*")?\r?\n$')


def ordered_match_end(line, pattern):
    """Index after the byte completing `pattern` in order, or -1."""
    k = 0
    for i, byte in enumerate(line):
        if byte == pattern[k]:
            k += 1
            if k == len(pattern):
                return i + 1
    return -1


def is_page_request(line):
    piece = line[:READER_LINE]
    end = ordered_match_end(piece, REQUEST_PATTERN)
    if end < 0:
        return False
    rest = piece[end:]
    if b'/ ' in rest:
        return True
    return b'htm' in rest and any(s in rest for s in PAGE_SUFFIXES)


def organisation(host):
    labels = host.split(b'.')
    return b'.'.join(labels[-2:])


def profile(data):
    lines = data.splitlines(keepends=True)
    p = {'lines': len(lines), 'bytes': len(data), 'first_five_ok': all(
        ordered_match_end(l, LOG_LINE_PATTERN) >= 0 for l in lines[:5]),
        'unparsed': 0, 'common': 0, 'combined': 0, 'pages': 0,
        'over_511': 0, 'statuses': set(), 'dash_400': 0, 'ipv6': 0,
        'user_names': 0, 'earlier': 0, 'earlier_by_more_than_2s': 0,
        'back_over_midnight': 0, 'back_over_month': 0, 'months': set(),
        'hosts': {}, 'pages_with': set(), 'crlf': 0}
    previous = None
    for line in lines:
        m = LINE.match(line)
        if not m:
            p['unparsed'] += 1
            continue
        host, _, user, day, mon, year, hh, mm, ss, request, status, _, tail = (
            m.groups())
        p['combined' if tail else 'common'] += 1
        p['crlf'] += line.endswith(b'\r\n')
        p['over_511'] += len(line) > READER_LINE
        p['statuses'].add(int(status))
        p['dash_400'] += request == b'-' and status == b'400'
        p['ipv6'] += b':' in host
        p['user_names'] += user != b'-'
        p['hosts'][host] = p['hosts'].get(host, 0) + 1
        month = (int(year), MONTHS[mon.decode()])
        p['months'].add(month)
        when = (month, int(day), int(hh) * 3600 + int(mm) * 60 + int(ss))
        if previous and when < previous:
            p['earlier'] += 1
            if when[:2] < previous[:2]:
                p['back_over_midnight'] += 1
                p['earlier_by_more_than_2s'] += not (
                    when[2] >= 86398 and previous[2] <= 1)
            else:
                p['earlier_by_more_than_2s'] += previous[2] - when[2] > 2
            p['back_over_month'] += when[0] < previous[0]
        previous = when
        if is_page_request(line):
            p['pages'] += 1
            path = request.split(b' ')[1] if b' ' in request else b''
            for odd in (b'<script>', b'&', b'\\"'):
                if odd in path:
                    p['pages_with'].add(odd)
    return p


def host_shapes(hosts):
    shapes = set()
    for h in hosts:
        if b':' in h:
            shapes.add('ipv6')
        elif re.fullmatch(rb'[\d.]+', h):
            shapes.add('ipv4')
        else:
            shapes.add({0: '1 label', 1: '2 labels'}.get(h.count(b'.'),
                                                          'names'))
    return shapes


def sample_expectations(p):
    months = sorted(p['months'])
    top = max(p['hosts'].values())
    return [
        ('5,000 to 7,000 lines', 5000 <= p['lines'] <= 7000),
        ('at most about 1 MB', p['bytes'] <= 1_100_000),
        ('every line in the common or combined layout', p['unparsed'] == 0),
        ('first five lines pass the format check', p['first_five_ok']),
        ('both layouts', p['common'] > 0 and p['combined'] > 0),
        ('four months or more', len(months) >= 4),
        ('a year change', months[0][0] != months[-1][0]),
        ('a quarter to a third pages',
         0.25 <= p['pages'] / p['lines'] <= 0.36),
        ('statuses 200 304 404 500 400',
         {200, 304, 404, 500, 400} <= p['statuses']),
        ('a "-" request with 400', p['dash_400'] > 0),
        ('IPv6 clients', p['ipv6'] > 0),
        ('user names', p['user_names'] > 0),
        ('lines over 511 bytes', p['over_511'] > 0),
        ('lines stamped before the previous one', p['earlier'] > 0),
        ('never more than 2 s back', p['earlier_by_more_than_2s'] == 0),
        ('back over midnight', p['back_over_midnight'] > 0),
        ('back over a month boundary', p['back_over_month'] > 0),
        ('page names with <script>, & and \\"',
         p['pages_with'] == {b'<script>', b'&', b'\\"'}),
        ('hosts of every shape', host_shapes(p['hosts']) ==
         {'ipv4', 'ipv6', '1 label', '2 labels', 'names'}),
        ('many organisations',
         len({organisation(h) for h in p['hosts']}) >= 100),
        ('repeat visitors, one of them busy',
         len(p['hosts']) < p['lines'] / 3 and top >= 0.02 * p['lines']),
    ]


def run(loggen, args, out):
    subprocess.run([loggen] + args + ['--out', out], check=True)
    with open(out, 'rb') as f:
        return f.read()


def documented_args(source_dir):
    with open(os.path.join(source_dir, 'samples', 'README.md')) as f:
        for line in f:
            words = shlex.split(line.strip())
            if words[:1] == ['tovex-loggen'] and '--out' in words:
                args = words[1:]
                del args[args.index('--out'):args.index('--out') + 2]
                return args
    raise SystemExit('samples/README.md names no tovex-loggen command')


def main():
    loggen = os.environ.get('TOVEX_LOGGEN')
    if not loggen:
        print('skipped: TOVEX_LOGGEN is not set')
        return 0
    source_dir = os.environ.get(
        'TOVEX_SOURCE_DIR', os.path.dirname(os.path.dirname(
            os.path.abspath(__file__))))
    with open(os.path.join(source_dir, 'samples', 'sample.log'), 'rb') as f:
        committed = f.read()
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        args = documented_args(source_dir)
        fresh = run(loggen, args, os.path.join(tmp, 'sample.log'))
        if fresh != committed:
            failures.append('regenerated sample differs from samples/sample.log')
        piped = subprocess.run([loggen] + args, check=True,
                               stdout=subprocess.PIPE).stdout
        if piped != fresh:
            failures.append('standard output differs from --out')
        for name, ok in sample_expectations(profile(committed)):
            if not ok:
                failures.append('sample lacks: ' + name)
        # Options the sample does not use.
        other = profile(run(loggen, [
            '--lines', '3000', '--layout', 'common', '--months', '13',
            '--start', '2023-12', '--seed', '7', '--crlf'],
            os.path.join(tmp, 'other.log')))
        for name, ok in [
                ('3000 lines', other['lines'] == 3000),
                ('common only', other['common'] == 3000),
                ('CR LF', other['crlf'] == 3000),
                ('13 months from 2023-12', sorted(other['months']) ==
                 [(2023, 12)] + [(2024, m) for m in range(1, 13)])]:
            if not ok:
                failures.append('--layout common --months 13 --crlf: ' + name)
    for failure in failures:
        print('FAIL:', failure)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
