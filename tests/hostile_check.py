#!/usr/bin/env python3
"""Hostile folders and hard stops, tried as an attacker and a careless admin
would: a second user racing renames and links in the output, work, staging
and run folders while a root run goes; SIGKILL at random moments followed
each by the next run; a 1 GiB first line; a lock held by another user; a
stop while waiting for input; closed standard descriptors.

No file outside a run's folders ever changes, and no mixed report survives
the start of the next run.

Environment (set by ctest):
  TOVEX_CLI            the tovex-cli binary; unset: the check is skipped
  TOVEX_SOURCE_DIR     the source tree (for samples/sample.log)
  TOVEX_CHECK_QUICK=1  fewer kills (for slow sanitizer builds)
The racing user is `nobody`; without root those parts are skipped.
"""

import os
import random
import resource
import signal
import subprocess
import sys
import tempfile
import time

LOCK = ".tovex-lock"
NOBODY = 65534
# Peak memory allowed for any run.
MAX_RSS_KB = 8 * 1024
RUN_TIMEOUT_SECONDS = 300
# A stop while waiting for input must end the run this soon.
STOP_SECONDS = 1.0

failures = []


def fail(text):
    failures.append(text)
    print("FAIL", text)


def report_pages(html):
    """Name -> bytes of the report pages of a folder."""
    pages = {}
    for name in os.listdir(html):
        path = os.path.join(html, name)
        if name.endswith(".html") and os.path.isfile(path) \
                and not os.path.islink(path):
            with open(path, "rb") as f:
                pages[name] = f.read()
    return pages


def tree(path):
    """Every entry below `path` with its bytes, for 'nothing changed'."""
    out = {}
    for root, dirs, files in os.walk(path):
        for name in dirs + files:
            full = os.path.join(root, name)
            if os.path.islink(full):
                out[full] = "link:" + os.readlink(full)
            elif os.path.isfile(full):
                with open(full, "rb") as f:
                    out[full] = f.read()
            else:
                out[full] = "dir"
    return out


def run(cli, base, log, level=2, **kw):
    return subprocess.run([cli, "-q", "--run-level", str(level), log],
                          cwd=base, timeout=RUN_TIMEOUT_SECONDS, **kw)


def make_base(parent, name):
    """A base folder whose work and output folders anyone may write, as a
    web root often is."""
    base = os.path.join(parent, name)
    for sub in ("", "workdir", "htmldir"):
        os.makedirs(os.path.join(base, sub), exist_ok=True)
        os.chmod(os.path.join(base, sub), 0o777 if sub else 0o755)
    return base


def as_nobody(action):
    """Runs `action` in a child process as `nobody`; returns its pid."""
    pid = os.fork()
    if pid == 0:
        try:
            os.setgid(NOBODY)
            os.setuid(NOBODY)
            action()
        finally:
            os._exit(0)
    return pid


def swapper(folder, prefixes, victim, seconds):
    """Renames every entry of `folder` starting with one of `prefixes` aside
    and puts a link to `victim` in its place, again and again."""
    def loop():
        end = time.monotonic() + seconds
        n = 0
        while time.monotonic() < end:
            for name in os.listdir(folder):
                if name.startswith(prefixes):
                    path = os.path.join(folder, name)
                    try:
                        if not os.path.islink(path):
                            n += 1
                            os.rename(path, os.path.join(folder, f".aside{n}"))
                            os.symlink(victim, path)
                    except OSError:
                        pass
    return loop


def racing_checks(cli, log, scratch):
    """A second user races the run in every folder it writes."""
    victim = os.path.join(scratch, "victim")
    os.makedirs(victim)
    for i in range(5):
        with open(os.path.join(victim, f"precious{i}.html"), "w") as f:
            f.write("precious")
    os.chmod(victim, 0o755)
    before = tree(victim)
    attacks = [("htmldir", (".tovex-new-", ".tovex-done-")),
               ("workdir", ("tovex-run-",))]
    for n, (folder, prefixes) in enumerate(attacks):
        for attempt in range(3):
            base = make_base(scratch, f"race{n}-{attempt}")
            pid = as_nobody(swapper(os.path.join(base, folder), prefixes,
                                    victim, 3.0))
            for _ in range(4):
                done = run(cli, base, log, capture_output=True)
                if done.returncode not in (0, 1):
                    fail(f"racing {folder}: exit {done.returncode}")
            os.kill(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
    # Leftovers planted beforehand, swapped for links when the clean-up
    # would start.
    base = make_base(scratch, "planted")
    for folder, name in (("htmldir", ".tovex-new-evil"),
                         ("htmldir", ".tovex-done-evil"),
                         ("workdir", "tovex-run-evil")):
        planted = os.path.join(base, folder, name)

        def plant(planted=planted):
            os.makedirs(planted)
            for i in range(2000):
                open(os.path.join(planted, f"d{i}"), "w").close()
            for i in range(5):
                open(os.path.join(planted, f"precious{i}.html"), "w").close()
        pid = as_nobody(plant)
        os.waitpid(pid, 0)
    pid = as_nobody(swapper(os.path.join(base, "htmldir"), (".tovex-",),
                            victim, 2.0))
    pid2 = as_nobody(swapper(os.path.join(base, "workdir"), ("tovex-run-",),
                             victim, 2.0))
    for _ in range(3):
        if run(cli, base, log, capture_output=True).returncode not in (0, 1):
            fail("planted leftovers: unexpected exit")
    for p in (pid, pid2):
        os.kill(p, signal.SIGKILL)
        os.waitpid(p, 0)
    if tree(victim) != before:
        fail("a file outside the run's folders changed")


def lock_checks(cli, log, scratch):
    """A reader of the folder holding a lock, and a lock file another user
    planted, do not stop a run."""
    base = make_base(scratch, "locks")
    html = os.path.join(base, "htmldir")
    with open(os.path.join(html, LOCK), "w") as f:
        f.write("planted")
    os.chown(os.path.join(html, LOCK), NOBODY, NOBODY)
    os.chmod(os.path.join(html, LOCK), 0o644)
    ready_r, ready_w = os.pipe()

    def hold():
        import fcntl
        fd = os.open(html, os.O_RDONLY)
        fcntl.flock(fd, fcntl.LOCK_EX)
        try:
            lock = os.open(os.path.join(html, LOCK), os.O_RDONLY)
            fcntl.flock(lock, fcntl.LOCK_SH)
        except OSError:
            pass
        os.write(ready_w, b"x")
        time.sleep(30)
    pid = as_nobody(hold)
    os.read(ready_r, 1)
    done = run(cli, base, log, capture_output=True)
    if done.returncode != 0:
        fail(f"a lock held by another user stopped the run: {done.returncode}")
    os.kill(pid, signal.SIGKILL)
    os.waitpid(pid, 0)


def snapshot_state(html, reports):
    """Which whole report the folder holds, or None for a mixed one."""
    pages = report_pages(html)
    for name, report in reports.items():
        if pages == report:
            return name
    return None


def kill_checks(cli, logs, scratch, kills):
    """SIGKILL at random moments of day-level runs, each followed by the
    next run: once that run has started its work, the report is one of the
    two whole reports, never a mix."""
    reports = {}
    for name, log in logs.items():
        base = make_base(scratch, "clean-" + name)
        run(cli, base, log, check=True)
        reports[name] = report_pages(os.path.join(base, "htmldir"))
    base = make_base(scratch, "killed")
    html = os.path.join(base, "htmldir")
    run(cli, base, logs["a"], check=True)
    rng = random.Random(19)
    whole = 0.5
    names = list(logs)
    for k in range(kills):
        log = logs[names[k % 2]]
        child = subprocess.Popen([cli, "--run-level", "2", log], cwd=base,
                                 stdout=subprocess.DEVNULL,
                                 stderr=subprocess.PIPE)
        # The run has completed what was left before it says this.
        for line in child.stderr:
            if b"Running!!" in line:
                break
        child.send_signal(signal.SIGSTOP)
        if snapshot_state(html, reports) is None:
            fail(f"kill {k}: a mixed report after the next run started")
        child.send_signal(signal.SIGCONT)
        time.sleep(rng.uniform(0, whole))
        child.kill()
        child.wait()
        child.stderr.close()
    done = run(cli, base, logs["b"], capture_output=True)
    if done.returncode != 0 or report_pages(html) != reports["b"]:
        fail("the run after the kills did not make the whole report")


def memory_checks(cli, sample, scratch, quick):
    """A 1 GiB first line, and a second line running into a 512 MiB hole,
    from a file and through standard input, in fixed memory."""
    with open(sample, "rb") as f:
        lines = f.read()
    head = lines.split(b"\n", 1)[0]
    cases = {"first": (head, 1 << 30), "second": (head + b"\n" + head,
                                                  1 << 29)}
    for name, (start, hole) in cases.items():
        path = os.path.join(scratch, f"long-{name}.log")
        with open(path, "wb") as f:
            f.write(start)
            f.truncate(len(start) + hole)
            f.seek(0, os.SEEK_END)
            f.write(b"\n" + lines)
        base = make_base(scratch, "long-" + name)
        for via in ("file", "stdin"):
            # GNU time starts the run, so that its peak is its own (a child
            # of this process would start with this process's pages).
            args = ["/usr/bin/time", "-f", "%M", cli, "-q", "--run-level",
                    "0", path if via == "file" else "-"]
            with open(path, "rb") as stdin:
                done = subprocess.run(args, cwd=base, stdin=stdin,
                                      capture_output=True,
                                      timeout=RUN_TIMEOUT_SECONDS)
            peak = int(done.stderr.split()[-1])
            if done.returncode != 0:
                fail(f"long {name} line via {via}: exit {done.returncode}")
            # A sanitizer's shadow memory is no part of the run's.
            if peak > MAX_RSS_KB and not quick:
                fail(f"long {name} line via {via}: {peak} KB")
        os.remove(path)


def stop_while_waiting_checks(cli, log, scratch):
    """A FIFO without a writer and a pipe without data: a stop ends the run
    at once, the old report intact."""
    base = make_base(scratch, "waiting")
    html = os.path.join(base, "htmldir")
    run(cli, base, log, check=True)
    report = report_pages(html)
    fifo = os.path.join(scratch, "fifo")
    os.mkfifo(fifo)
    for via, sig in (("fifo", signal.SIGTERM), ("pipe", signal.SIGINT),
                     ("fifo", signal.SIGHUP)):
        child = subprocess.Popen(
            [cli, "-q", fifo if via == "fifo" else "-"], cwd=base,
            stdin=subprocess.PIPE if via == "pipe" else None)
        time.sleep(0.5)
        sent = time.monotonic()
        child.send_signal(sig)
        try:
            status = child.wait(10)
        except subprocess.TimeoutExpired:
            child.kill()
            status = child.wait()
        took = time.monotonic() - sent
        if status != 128 + sig or took > STOP_SECONDS:
            fail(f"stop while waiting on a {via}: exit {status} "
                 f"after {took:.2f} s")
        if child.stdin:
            child.stdin.close()
        if report_pages(html) != report:
            fail(f"stop while waiting on a {via} changed the report")


def closed_descriptor_checks(cli, log, scratch):
    """With standard input, output and error closed, the report is the same
    and no status text lands in a page."""
    want_base = make_base(scratch, "open-fds")
    run(cli, want_base, log, check=True)
    want = report_pages(os.path.join(want_base, "htmldir"))
    base = make_base(scratch, "closed-fds")

    def close_all():
        for fd in (0, 1, 2):
            os.close(fd)
    done = subprocess.run([cli, "--run-level", "2", log], cwd=base,
                          preexec_fn=close_all, timeout=RUN_TIMEOUT_SECONDS)
    if done.returncode != 0:
        fail(f"closed descriptors: exit {done.returncode}")
    if report_pages(os.path.join(base, "htmldir")) != want:
        fail("closed descriptors: the report differs")


def main():
    cli = os.environ.get("TOVEX_CLI")
    if not cli:
        print("TOVEX_CLI is not set: skipping")
        return 0
    source = os.environ.get("TOVEX_SOURCE_DIR",
                            os.path.dirname(os.path.dirname(
                                os.path.abspath(__file__))))
    sample = os.path.join(source, "samples", "sample.log")
    quick = os.environ.get("TOVEX_CHECK_QUICK") == "1"
    root = os.geteuid() == 0
    scratch = tempfile.mkdtemp(prefix="tovex-hostile-")
    os.chmod(scratch, 0o755)
    try:
        with open(sample, "rb") as f:
            data = f.read()
        logs = {"a": os.path.join(scratch, "a.log"),
                "b": os.path.join(scratch, "b.log")}
        with open(logs["a"], "wb") as f:
            f.write(data * 4)
        with open(logs["b"], "wb") as f:
            f.write(data * 3 + data[: len(data) // 2])
        for log in logs.values():
            os.chmod(log, 0o644)
        if root:
            racing_checks(cli, logs["a"], scratch)
            lock_checks(cli, logs["a"], scratch)
        else:
            print("not root: the racing second user is skipped")
        kill_checks(cli, logs, scratch, 20 if quick else 100)
        memory_checks(cli, sample, scratch, quick)
        stop_while_waiting_checks(cli, logs["a"], scratch)
        closed_descriptor_checks(cli, logs["a"], scratch)
    finally:
        subprocess.run(["rm", "-rf", scratch])
    print("hostile check:", "failed" if failures else "passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
