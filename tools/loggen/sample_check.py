#!/usr/bin/env python3
"""Keeps samples/sample.log what samples/README.md says it is.

Regenerates the sample with the command documented in samples/README.md and
requires the very same bytes (the generator must be deterministic), then
checks, through the reference model, that the sample still holds what it is
there for. Skips when TOVEX_LOGGEN is not set.
"""

import os
import shlex
import subprocess
import sys
import tempfile

# The reference model of the report, in tests/.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                '..', '..', 'tests'))

import reference  # noqa: E402
from reference.logline import is_page_request, log_lines  # noqa: E402


def documented_args(source_dir):
    with open(os.path.join(source_dir, 'samples', 'README.md')) as f:
        for line in f:
            words = shlex.split(line.strip())
            if words[:1] == ['tovex-loggen'] and '--out' in words:
                args = words[1:]
                del args[args.index('--out'):args.index('--out') + 2]
                return args
    raise SystemExit('samples/README.md names no tovex-loggen command')


def expectations(data):
    lines = data.split(b'\n')
    report = reference.expected_report(data, 2)
    pages = sum(is_page_request(line) for line in log_lines(data))
    return [
        ('the first five lines pass the format check',
         reference.is_access_log(data)),
        ('four months across a year change',
         len(report.periods) >= 4 and
         report.periods[0][0] != report.periods[-1][0]),
        ('a quarter to a third pages',
         0.25 <= pages / len(lines) <= 0.36),
        ('lines over 511 bytes', any(len(line) > 511 for line in lines)),
        ('IPv6 clients and user names',
         any(r.host.count(b':') > 1 for r in report.records) and
         any(b' - - [' not in line and b'[' in line for line in lines)),
        ('page names to escape', all(
            any(odd in r.path for r in report.records)
            for odd in (b'<script>', b'&', b'\\"'))),
        ('many organisations', len(report.index.organisations) > 0 and
         len({r.host.split(b'.')[-1] for r in report.records}) >= 10),
    ]


def main():
    loggen = os.environ.get('TOVEX_LOGGEN')
    if not loggen:
        print('skipped: TOVEX_LOGGEN is not set')
        return 0
    source_dir = os.environ.get('TOVEX_SOURCE_DIR', os.path.dirname(
        os.path.dirname(os.path.abspath(__file__))))
    with open(os.path.join(source_dir, 'samples', 'sample.log'), 'rb') as f:
        committed = f.read()
    failures = []
    args = documented_args(source_dir)
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, 'sample.log')
        subprocess.run([loggen] + args + ['--out', out], check=True)
        with open(out, 'rb') as f:
            if f.read() != committed:
                failures.append('regenerated sample differs from the file')
    piped = subprocess.run([loggen] + args, check=True,
                           stdout=subprocess.PIPE).stdout
    if piped != committed:
        failures.append('standard output differs from --out')
    failures += ['sample lacks: ' + name
                 for name, ok in expectations(committed) if not ok]
    for failure in failures:
        print('FAIL:', failure)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
