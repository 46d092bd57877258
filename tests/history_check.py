#!/usr/bin/env python3
"""A history across log rotation: after every simulated day of Debian's
logrotate (daily, rotate 14, compress, delaycompress; the live log still
written after its rename; a copytruncate variant), the cron command over
every kept log gives pages byte-identical to one run over every line read
so far, also when runs are killed at random moments and run again. Lines
of earlier days (stragglers of any age) and same-second lines are in the
log. Then hostile and damaged history folders: a clear message, exit 1,
nothing published and the history as it was.

Environment (set by ctest):
  TOVEX_CLI         the tovex-cli binary; unset: the check is skipped
  TOVEX_LOGGEN      the tovex-loggen binary
  TOVEX_CHECK_QUICK set: fewer lines a day (sanitizer builds)
"""

import gzip
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

RUN_TIMEOUT_SECONDS = 300
DAYS = 30
KEPT = 14  # rotate 14
failures = []


def fail(text):
    failures.append(text)
    print("FAIL", text)


def run(cli, cwd, args):
    return subprocess.run([cli, "-q", *args], cwd=cwd, capture_output=True,
                          timeout=RUN_TIMEOUT_SECONDS)


def tree(folder):
    """Every file of `folder` but the lock, with its bytes."""
    out = {}
    for name in sorted(os.listdir(folder)):
        if name != ".tovex-lock":
            with open(os.path.join(folder, name), "rb") as f:
                out[name] = f.read()
    return out


STAMP = re.compile(rb"\[(\d\d)/(\w\w\w)/(\d{4}):")


def days_of(lines):
    """The lines by (year, month, day) of their stamps, in log order."""
    by_day = {}
    for line in lines:
        m = STAMP.search(line)
        key = (m.group(3), m.group(2), m.group(1)) if m else None
        by_day.setdefault(key, []).append(line)
    order = []
    for line in lines:
        m = STAMP.search(line)
        key = (m.group(3), m.group(2), m.group(1)) if m else None
        if not order or order[-1] != key:
            if key not in order:
                order.append(key)
    return [by_day[k] for k in order]


class Site:
    """A web server's log folder under logrotate, and what was written."""

    def __init__(self, folder, copytruncate):
        self.folder = folder
        self.copytruncate = copytruncate
        self.written = []  # every line, in the order of the log's streams
        self.streams = [[]]  # lines of each stream, the live one last
        os.makedirs(folder)
        self.path("access.log").touch()

    def path(self, name):
        import pathlib
        return pathlib.Path(self.folder, name)

    def write(self, lines, name="access.log"):
        with open(self.path(name), "ab") as f:
            f.writelines(lines)

    def rotate(self):
        """logrotate's daily rotation; the live log is then .1."""
        p = self.path
        if p(f"access.log.{KEPT}.gz").exists():
            p(f"access.log.{KEPT}.gz").unlink()
        for n in range(KEPT - 1, 1, -1):
            if p(f"access.log.{n}.gz").exists():
                p(f"access.log.{n}.gz").rename(p(f"access.log.{n + 1}.gz"))
        if p("access.log.1").exists():  # delaycompress: a day later
            with open(p("access.log.1"), "rb") as f, \
                    gzip.open(p("access.log.2.gz"), "wb") as g:
                shutil.copyfileobj(f, g)
            p("access.log.1").unlink()
        if self.copytruncate:
            shutil.copyfile(p("access.log"), p("access.log.1"))
            os.truncate(p("access.log"), 0)
        else:
            p("access.log").rename(p("access.log.1"))
            p("access.log").touch()

    def kept(self):
        names = [n for n in os.listdir(self.folder) if n.startswith("access")]
        return [os.path.join(self.folder, n) for n in sorted(names)]


def one_run(cli, work, lines, level, extra=()):
    """The pages of one run over `lines`."""
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    with open(os.path.join(work, "all.log"), "wb") as f:
        f.writelines(lines)
    r = run(cli, work, ["--run-level", str(level), "-o", "out", *extra,
                        "all.log"])
    if r.returncode != 0:
        fail(f"one run: exit {r.returncode} {r.stderr!r}")
        return {}
    return tree(os.path.join(work, "out"))


def cron(cli, base, inputs, level, kill_after=None, extra=()):
    args = ["--run-level", str(level), "-o", "out", "--history", "hist",
            *extra, *inputs]
    if kill_after is None:
        return run(cli, base, args)
    p = subprocess.Popen([cli, "-q", *args], cwd=base,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(kill_after)
    p.send_signal(signal.SIGKILL)
    p.wait()
    return None


def make_days(loggen, base, per_day, seed):
    lines_path = os.path.join(base, "gen.log")
    subprocess.run([loggen, "--lines", str(per_day * DAYS), "--months", "2",
                    "--start", "2024-12", "--seed", str(seed),
                    "--out", lines_path], check=True)
    with open(lines_path, "rb") as f:
        # Lines with a user name fail the check of an input's first lines,
        # and each rotated log is judged on its own.
        lines = [x for x in f if re.match(rb"\S+ - - \[", x)]
    days = days_of(lines)[:DAYS]
    rnd = random.Random(seed)
    # Stragglers: lines that reach the log days after their stamp.
    for d in range(1, len(days)):
        for _ in range(3):
            src = rnd.randrange(0, d)
            if days[src]:
                days[d].insert(rnd.randrange(len(days[d]) + 1),
                               days[src][rnd.randrange(len(days[src]))])
    return days


def rotation(cli, loggen, base, copytruncate, level, per_day, seed):
    name = "copytruncate" if copytruncate else "rename"
    # Line options hold for a history as for one run.
    extra = ("--status", "2xx,3xx", "--tz", "+0000") if copytruncate else ()
    rnd = random.Random(seed)
    site = Site(os.path.join(base, "logs"), copytruncate)
    done = []
    for d, lines in enumerate(make_days(loggen, base, per_day, seed)):
        cut = len(lines) * 3 // 4
        site.write(lines[:cut])
        site.rotate()
        if copytruncate:
            site.write(lines[cut:])
        else:
            # A graceful reload: the old log gets lines for a while.
            late = (len(lines) - cut) // 2
            site.write(lines[cut:cut + late], "access.log.1")
            site.write(lines[cut + late:])
        if d % 4 == 1:
            cron(cli, base, site.kept(), level,
                 kill_after=rnd.uniform(0.0, 0.2), extra=extra)
        r = cron(cli, base, site.kept(), level, extra=extra)
        if r.returncode != 0:
            fail(f"{name} day {d}: exit {r.returncode} {r.stderr!r}")
            return None
        if d % 7 == 3:  # the same logs again: nothing new, nothing changes
            before = tree(os.path.join(base, "out"))
            state = os.stat(os.path.join(base, "hist", "state")).st_mtime_ns
            r = cron(cli, base, site.kept(), level, extra=extra)
            if (r.returncode != 0 or tree(os.path.join(base, "out")) != before
                    or os.stat(os.path.join(base, "hist",
                                            "state")).st_mtime_ns != state):
                fail(f"{name} day {d}: a run with nothing new changed things")
        done.extend(lines)
        # Every line written so far was read, in the order of the streams:
        # the stragglers where they were written.
        if d % 3 == 2 or d == DAYS - 1:
            got = tree(os.path.join(base, "out"))
            want = one_run(cli, os.path.join(base, "one"), done, level,
                           extra)
            if got != want:
                diff = [n for n in set(got) | set(want)
                        if got.get(n) != want.get(n)]
                fail(f"{name} day {d}: pages differ from one run: "
                     f"{sorted(diff)[:5]}")
                return
    print(f"{name}: {DAYS} days, pages equal one run")
    return site


def hostile(cli, base, site):
    """Damaged and planted history folders: exit 1, nothing changes."""
    hist = os.path.join(base, "hist")
    out = os.path.join(base, "out")
    site.write([b'1.2.3.4 - - [15/Jan/2025:10:00:00 +0900] "GET /new.html '
                b'HTTP/1.1" 200 10 "-" "x"\n'])
    saved = os.path.join(base, "saved")
    shutil.copytree(hist, saved)

    def restore():
        shutil.rmtree(hist, ignore_errors=True)
        shutil.copytree(saved, hist)

    def newer_format(h):
        with open(os.path.join(h, "state"), "r+b") as f:
            text = f.read()
            f.seek(0)
            f.write(text.replace(b"tovex-history 1", b"tovex-history 9", 1))

    def truncated(h):
        size = os.path.getsize(os.path.join(h, "state"))
        os.truncate(os.path.join(h, "state"), size // 2)

    def corrupt_names(h):
        # The set the state names (an older one may still be there).
        with open(os.path.join(h, "state"), "rb") as f:
            whole = re.search(rb"^whole (\S+)$", f.read(), re.M).group(1)
        whole = whole.decode()
        with open(os.path.join(h, whole), "r+b") as f:
            f.seek(os.path.getsize(os.path.join(h, whole)) // 2)
            b = f.read(1)
            f.seek(-1, 1)
            f.write(bytes([b[0] ^ 0x55]))

    def state_link(h):
        os.rename(os.path.join(h, "state"), os.path.join(base, "elsewhere"))
        os.symlink(os.path.join(base, "elsewhere"), os.path.join(h, "state"))

    def folder_link(h):
        os.rename(h, h + ".real")
        os.symlink(h + ".real", h)

    def other_user(h):
        os.chown(h, 65534, 65534)

    cases = [("newer format", newer_format), ("truncated state", truncated),
             ("corrupt name set", corrupt_names), ("state a link", state_link),
             ("history a link", folder_link)]
    if os.geteuid() == 0:
        cases.append(("another user's folder", other_user))
    pages = tree(out)
    for what, damage in cases:
        damage(hist)
        after_damage = {n: os.path.getsize(os.path.join(hist, n))
                        for n in os.listdir(hist)} if os.path.isdir(
                            hist) else None
        r = cron(cli, base, site.kept(), 2)
        if r.returncode != 1 or not r.stderr.strip():
            fail(f"{what}: exit {r.returncode} {r.stderr!r}")
        if tree(out) != pages:
            fail(f"{what}: pages changed")
        now = {n: os.path.getsize(os.path.join(hist, n))
               for n in os.listdir(hist)} if os.path.isdir(hist) else None
        if now != after_damage:
            fail(f"{what}: the history folder changed")
        if os.path.islink(hist):
            os.unlink(hist)
            shutil.rmtree(hist + ".real")
        restore()
    # An option that changes what is counted is refused (exit 2).
    before = tree(hist)
    r = run(cli, base, ["--run-level", "2", "-o", "out", "--history", "hist",
                        "--status", "2xx", *site.kept()])
    if (r.returncode != 2 or b"--rebuild" not in r.stderr
            or tree(out) != pages or tree(hist) != before):
        fail(f"other counting options: exit {r.returncode} {r.stderr!r}")
    r = cron(cli, base, site.kept(), 2)
    if r.returncode != 0:
        fail(f"the restored history: exit {r.returncode} {r.stderr!r}")
    print(f"hostile history folders: {len(cases)} cases")


def repeats(cli, loggen, base):
    """A log given twice in one run, again later, compressed, under another
    name: counted once. A log rewritten in place: new, and said so."""
    os.makedirs(base)
    gen = os.path.join(base, "a.log")
    subprocess.run([loggen, "--lines", "3000", "--months", "2", "--seed",
                    "3", "--out", gen], check=True)
    with open(gen, "rb") as f:
        lines = [x for x in f if re.match(rb"\S+ - - \[", x)]
    with open(gen, "wb") as f:
        f.writelines(lines)
    with open(gen, "rb") as f, gzip.open(gen + ".gz", "wb") as g:
        shutil.copyfileobj(f, g)
    shutil.copyfile(gen, os.path.join(base, "copy.log"))
    want = one_run(cli, os.path.join(base, "one"), lines, 2)
    for inputs in (["a.log", "a.log"], ["a.log.gz"], ["copy.log", "a.log"]):
        r = cron(cli, base, inputs, 2)
        if r.returncode != 0 or tree(os.path.join(base, "out")) != want:
            fail(f"{inputs} again: exit {r.returncode}, pages "
                 f"{'equal' if r.returncode == 0 else '-'}")
    # The same file name, rewritten: its head differs, so it is new.
    with open(gen, "wb") as f:
        f.writelines(lines[1:])
    r = cron(cli, base, ["a.log"], 2)
    if r.returncode != 0 or b"a.log" not in r.stderr:
        fail(f"a rewritten log: exit {r.returncode}, no note: {r.stderr!r}")
    print("logs given again: counted once")


def main():
    cli = os.environ.get("TOVEX_CLI")
    loggen = os.environ.get("TOVEX_LOGGEN")
    if not cli or not loggen:
        print("TOVEX_CLI or TOVEX_LOGGEN not set: skipped")
        return 0
    per_day = 200 if os.environ.get("TOVEX_CHECK_QUICK") else 1500
    keep = os.environ.get("TOVEX_CHECK_KEEP")  # a folder to look at after
    with tempfile.TemporaryDirectory() as tmp:
        if keep:
            shutil.rmtree(keep, ignore_errors=True)
            tmp = keep
        for copytruncate, level, seed in ((False, 2, 7), (True, 1, 8)):
            base = os.path.join(tmp, "copy" if copytruncate else "rename")
            os.makedirs(base)
            site = rotation(cli, loggen, base, copytruncate, level, per_day,
                            seed)
            if site is not None and not copytruncate:
                hostile(cli, base, site)
        repeats(cli, loggen, os.path.join(tmp, "repeats"))
    if failures:
        print(f"{len(failures)} failures")
        return 1
    print("history check passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
