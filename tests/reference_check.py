#!/usr/bin/env python3
"""Runs tovex-cli on hand-made and real logs and compares every page it
writes, byte for byte, with the pages of the reference model.

Environment (set by ctest):
  TOVEX_CLI            the tovex-cli binary; unset: the check is skipped
  TOVEX_SOURCE_DIR     the source tree (default: the parent of tests/)
  TOVEX_REAL_LOGS_DIR  directory of real access logs (optional)
  TOVEX_CHECK_QUICK=1  real logs at run levels 0 and 2 only, default rows
                       (for slow sanitizer builds)
"""

import concurrent.futures
import dataclasses
import functools
import glob
import gzip
import itertools
import os
import pathlib
import random
import signal
import subprocess
import sys
import tempfile
import threading
import time
from dataclasses import dataclass, field

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import reference  # noqa: E402  (needs the path above)
from reference.logline import MONTH_NAMES  # noqa: E402
from reference.inputs import joined_log  # noqa: E402
from reference.report import MAX_PERIODS, Settings  # noqa: E402
from reference.public_suffix import PublicSuffixes  # noqa: E402
from reference.tally import label_organisation  # noqa: E402

REFUSED_EXIT = 3
# Every folder a run locks keeps this file, the run's lock.
LOCK_FILE = ".tovex-lock"
REFUSED_MESSAGE = "アクセスログファイルの書式が不正です!!"
# A sanitizer build is several times slower; no single run should need this.
RUN_TIMEOUT_SECONDS = 300
WORKERS = 2

# Row settings beyond the defaults (the minimum 10/10/5): the maximum, and
# nine different values so that a table wired to the wrong setting shows.
WIDE = Settings(*([50] * 9))
MIXED = Settings(index_domn=11, index_html=12, index_clas=6,
                 month_domn=13, month_html=14, month_clas=7,
                 days_domn=15, days_html=16, days_clas=8)
# Hand-made logs whose rankings are worth seeing under other row settings.
ROW_SETTING_LOGS = {"ranking-ties.log": (WIDE, MIXED),
                    "many-organisations.log": (WIDE, MIXED),
                    "escaping.log": (MIXED,),
                    "sort-order.log": (WIDE,),
                    "many-organisations-1050.log": (WIDE,)}
# Logs also read through standard input, a FIFO and as a rotated set.
INPUT_CASE_LOGS = ("sample.log", "nginx-meatlabel-2025-12-2026-01.log",
                   "month-returns.log")
ROW_SETTING_REAL_LOGS = {"nginx-meatlabel-2025-12-2026-01.log": (WIDE,),
                         "xampp-localhost-2024-10-2025-01.log": (MIXED,)}


@dataclass
class Case:
    name: str
    log_path: str
    level: int
    settings: Settings = None   # None: let the program create its defaults
    # Instead of log_path: the inputs' file names and bytes, in the order
    # given on the command line, and how the first one is fed: "file",
    # "pipe" (standard input, "-"), "dev-stdin" or "fifo".
    inputs: list = field(default_factory=list)
    via: str = "file"
    # Organisations by registrable domain, asked for by the "option" or in
    # the "settings" file; empty: the last two labels.
    domains: str = ""

    def describe(self):
        rows = "" if self.settings is None else (
            " rows=" + ("wide" if self.settings == WIDE else "mixed"))
        how = f" via={self.via}" if self.via != "file" else ""
        orgs = f" organisations=domain({self.domains})" if self.domains else ""
        return f"{self.name} level={self.level}{rows}{how}{orgs}"


@functools.cache
def public_suffixes():
    return PublicSuffixes()


def domain_organisation(host):
    """The organisation under --organisations domain: the registrable
    domain, or the last two labels of what the list cannot read."""
    return (public_suffixes().registrable_domain(host)
            or label_organisation(host))


def settings_file(settings, level):
    # Each field is named after its key: index_domn is INDEXDOMN.
    rows = "".join(f"{f.name.replace('_', '').upper()}="
                   f"{getattr(settings, f.name)}\n"
                   for f in dataclasses.fields(settings))
    return ("[SYSTEM]\nWORKDIR=workdir\\\nHTMLDIR=htmldir\\\n"
            f"{rows}RUNLEVEL={level}\n")


def files_in(path):
    """Name -> bytes of every entry of a folder (None for a folder), but
    the lock file a run leaves."""
    folder = pathlib.Path(path)
    if not folder.is_dir():
        return {}
    return {p.name: p.read_bytes() if p.is_file() else None
            for p in folder.iterdir() if p.name != LOCK_FILE}


def first_difference(want, got):
    """The first differing line of two pages, for a readable report."""
    lines = itertools.zip_longest(want.split(b"\n"), got.split(b"\n"),
                                  fillvalue=b"<end of page>")
    n, (w, g) = next((n, p) for n, p in enumerate(lines, 1) if p[0] != p[1])
    return (f"line {n}:\n    want: {w.decode('cp932', 'replace')!r}\n"
            f"    got:  {g.decode('cp932', 'replace')!r}")


def run_cli(cli, case, base):
    """Runs tovex-cli over the case's log or inputs, fed as the case says."""
    args, stdin, feeder = [cli, "--run-level", str(case.level)], None, None
    if case.domains == "option":
        args += ["--organisations", "domain"]
    if not case.inputs:
        args.append(os.path.abspath(case.log_path))
    for n, (name, data) in enumerate(case.inputs):
        path = os.path.join(base, name)
        if n == 0 and case.via == "fifo":
            os.mkfifo(path)
            feeder = threading.Thread(target=pathlib.Path(path).write_bytes,
                                      args=(data,))
            feeder.start()
        elif n == 0 and case.via in ("pipe", "dev-stdin"):
            stdin = data
            path = "-" if case.via == "pipe" else "/dev/stdin"
        else:
            pathlib.Path(path).write_bytes(data)
        args.append(path)
    try:
        return subprocess.run(args, cwd=base, input=stdin, capture_output=True,
                              timeout=RUN_TIMEOUT_SECONDS)
    finally:
        if feeder:
            feeder.join()


def run_case(cli, case):
    """Failure texts of one run of tovex-cli; empty when it matched."""
    if case.inputs:
        data = joined_log([part for _, part in case.inputs])
    else:
        data = pathlib.Path(case.log_path).read_bytes()
    model = reference.expected_report(
        data or b"", case.level, case.settings or Settings(),
        domain_organisation if case.domains else label_organisation)
    failures = []
    with tempfile.TemporaryDirectory(prefix="tovex-check-") as base:
        if case.settings is not None or case.domains == "settings":
            pathlib.Path(base, "quorvane.ini").write_text(
                settings_file(case.settings or Settings(), case.level)
                + ("ORGANISATIONS=domain\n" if case.domains == "settings"
                   else ""))
        try:
            result = run_cli(cli, case, base)
        except subprocess.TimeoutExpired:
            return [f"timed out after {RUN_TIMEOUT_SECONDS} s"]
        want_exit = REFUSED_EXIT if model.refused else 0
        if result.returncode != want_exit:
            stderr = result.stderr.decode("utf-8", errors="replace")[-500:]
            return [f"exit status {result.returncode}, want {want_exit}; "
                    f"stderr: {stderr}"]
        if model.refused:
            if not any(REFUSED_MESSAGE.encode(enc) in result.stderr
                       for enc in ("utf-8", "cp932")):
                failures.append("refusal message missing from stderr")
        elif not result.stdout.strip().endswith(b"index.html"):
            failures.append(f"stdout does not name index.html: "
                            f"{result.stdout[-200:]!r}")
        got, want = files_in(os.path.join(base, "htmldir")), model.pages
        if got.keys() != want.keys():
            failures.append(
                f"page set differs: missing {sorted(want.keys() - got.keys())}"
                f", unexpected {sorted(got.keys() - want.keys())}")
        for name in sorted(want.keys() & got.keys()):
            if got[name] != want[name]:
                failures.append(f"{name} differs at "
                                + first_difference(want[name], got[name]))
        leftovers = files_in(os.path.join(base, "workdir"))
        if leftovers:
            failures.append(f"workdir not empty: {sorted(leftovers)[:10]}")
    return failures


def common_line(host, path, day, hour, month="Dec", year=2002):
    return (f"{host} - - [{day:02d}/{month}/{year}:{hour:02d}:00:00 +0000] "
            f'"GET {path} HTTP/1.0" 200 1\n')


def many_months_log():
    """More distinct months than the period table holds: months after the
    240th are counted nowhere, earlier months still collect their lines."""
    def line(n, host):
        return common_line(host, f"/m{n % 7}.html", n % 28 + 1, n % 24,
                           MONTH_NAMES[n % 12].decode(), 1990 + n // 12)
    return ([line(n, f"m{n}.example.com") for n in range(MAX_PERIODS + 5)]
            + [line(0, "again.example.com"),
               line(MAX_PERIODS + 2, "late.example.com")])


def many_organisations_log():
    """1,050 organisations: those met after the first 1,000 in host order
    have the most accesses, and a page must rank them all the same."""
    return ([common_line(f"h.o{n:04d}.example", "/", n % 2 + 1, n % 24)
             for n in range(1050)]
            + [common_line(f"h.o{n:04d}.example", "/late.html", 2, 5)
               for n in range(1000, 1050) for _ in range(2)]
            + [common_line("h.o0500.example", "/", 1, 6)])


def rotated_set(data):
    """The log cut as logrotate leaves it: the newest part plain and without
    its final line end, an empty part, the older parts compressed (one as
    two members); given newest first, as a shell lists them."""
    lines = data.splitlines(keepends=True)
    third = len(lines) // 3
    old, middle, new = (b"".join(lines[:third]),
                        b"".join(lines[third:2 * third]),
                        b"".join(lines[2 * third:]))
    half = len(old) // 2
    return [("access.log", new.rstrip(b"\n")), ("access.log.1", b""),
            ("access.log.2.gz", gzip.compress(middle)),
            ("access.log.3.gz", gzip.compress(old[:half])
             + gzip.compress(old[half:]))]


def input_cases(logs, levels):
    """The same logs through standard input, /dev/stdin and a FIFO, and
    cut into a rotated set given in two orders."""
    cases = []
    for path in logs:
        data = pathlib.Path(path).read_bytes()
        parts = rotated_set(data)
        variants = [("", [("log", data)], via)
                    for via in ("pipe", "dev-stdin", "fifo")]
        variants += [(" rotated", parts, "file"),
                     (" rotated, reversed", parts[::-1], "file")]
        cases += [Case(os.path.basename(path) + suffix, path, level,
                       inputs=inputs, via=via)
                  for level in levels for suffix, inputs, via in variants]
    return cases


def build_cases(source_dir, real_logs, scratch, quick):
    levels = (0, 2) if quick else (0, 1, 2)
    own_logs = sorted(glob.glob(os.path.join(HERE, "logs", "*.log")))
    sample = os.path.join(source_dir, "samples", "sample.log")
    if os.path.exists(sample):
        own_logs.append(sample)
    for name, make in (("many-months.log", many_months_log),
                       ("many-organisations-1050.log", many_organisations_log)):
        own_logs.append(os.path.join(scratch, name))
        pathlib.Path(own_logs[-1]).write_text("".join(make()))
    cases = []
    for path in own_logs:
        extra = ROW_SETTING_LOGS.get(os.path.basename(path), ())
        cases += [Case(os.path.basename(path), path, level, settings)
                  for level in (0, 1, 2) for settings in (None,) + extra]
    cases += input_cases([p for p in own_logs + real_logs if os.path.basename(
        p) in INPUT_CASE_LOGS], levels)
    cases += [Case(os.path.basename(path), path, level)
              for path in real_logs for level in levels]
    if not quick:
        cases += [Case(os.path.basename(path), path, 2, settings)
                  for path in real_logs for settings in
                  ROW_SETTING_REAL_LOGS.get(os.path.basename(path), ())]
    cases += [Case(os.path.basename(path), path, 2, domains="option")
              for path in real_logs + own_logs[-3:]]
    cases += [Case(os.path.basename(path), path, 1, domains="settings")
              for path in own_logs if path.endswith("organisations.log")]
    return cases


def compare_with_cli(cli, cases):
    """Runs every case, two at a time; returns how many failed."""
    print(f"== {len(cases)} runs of {cli}")
    failed = 0
    with concurrent.futures.ThreadPoolExecutor(WORKERS) as pool:
        results = pool.map(lambda case: run_case(cli, case), cases)
        for case, failures in zip(cases, results):
            if not failures:
                continue
            failed += 1
            print(f"FAIL {case.describe()}")
            for text in failures[:5]:
                print("  " + text)
            if len(failures) > 5:
                print(f"  ... and {len(failures) - 5} more")
    return failed


def interrupt_check(cli, sample, scratch):
    """SIGINT at random moments of day-level runs over a larger log: every
    run ends with 130 (or 0 when it was done), the report is the complete
    old one (or the complete new one), and no work file stays behind."""
    log = os.path.join(scratch, "interrupted.log")
    pathlib.Path(log).write_bytes(pathlib.Path(sample).read_bytes() * 60)
    failures = []
    with tempfile.TemporaryDirectory(prefix="tovex-stop-") as base:
        run = [cli, "--run-level", "2", log]
        subprocess.run(run, cwd=base, capture_output=True, check=True)
        html_dir = os.path.join(base, "htmldir")
        report = files_in(html_dir)
        rng = random.Random(7)
        for _ in range(4):
            child = subprocess.Popen(run, cwd=base, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
            time.sleep(rng.uniform(0.02, 0.6))
            child.send_signal(signal.SIGINT)
            status = child.wait(RUN_TIMEOUT_SECONDS)
            # A signal before main() has taken the signals (a sanitizer
            # build starts slowly) ends the process before it did anything.
            if status not in (0, 128 + signal.SIGINT, -signal.SIGINT):
                failures.append(f"interrupted run exited {status}")
            if files_in(html_dir) != report:
                failures.append("interrupted run changed the report")
            left = list(files_in(os.path.join(base, "workdir")))
            if left:
                failures.append(f"interrupted run left {left}")
    for text in failures:
        print("FAIL interrupt:", text)
    return not failures


def main():
    cli = os.environ.get("TOVEX_CLI")
    if not cli:
        print("TOVEX_CLI is not set: skipping the comparison with tovex-cli")
        return 0
    if not os.access(cli, os.X_OK):
        print(f"TOVEX_CLI={cli} is not an executable file")
        return 1
    source_dir = os.environ.get("TOVEX_SOURCE_DIR", os.path.dirname(HERE))
    real_dir = os.environ.get("TOVEX_REAL_LOGS_DIR", "")
    real_logs = sorted(glob.glob(os.path.join(real_dir, "*.log"))) \
        if real_dir else []
    print(f"== {len(real_logs)} real logs in {real_dir or '(none given)'}")
    quick = os.environ.get("TOVEX_CHECK_QUICK") == "1"
    with tempfile.TemporaryDirectory(prefix="tovex-logs-") as scratch:
        cases = build_cases(source_dir, real_logs, scratch, quick)
        failed = compare_with_cli(cli, cases)
        print("== interrupted runs")
        failed += not interrupt_check(
            cli, os.path.join(source_dir, "samples", "sample.log"), scratch)
    print(f"{len(cases) + 1 - failed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
