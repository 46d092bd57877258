#!/usr/bin/env python3
"""Stops at any moment of a run: tovex-cli ends soon, with 128+n, the old
report as it was and no work file behind.

Environment (set by ctest):
  TOVEX_CLI, TOVEX_LOGGEN  the binaries; unset: the check is skipped
  TOVEX_CHECK_QUICK=1      a smaller log (for slow sanitizer builds)
"""

import os
import random
import signal
import subprocess
import sys
import tempfile
import time

# A stop must end the run this soon, whatever it is doing.
STOP_SECONDS = 1.0
RUN_TIMEOUT_SECONDS = 300


def files_in(path):
    """Name -> bytes of a folder's files, but the lock file a run leaves."""
    out = {}
    for name in sorted(os.listdir(path)):
        if name == ".tovex-lock":
            continue
        full = os.path.join(path, name)
        with open(full, "rb") as f:
            out[name] = f.read()
    return out


def shuffled_log(loggen, path, lines):
    """A log of many months in random order: its names spill runs that all
    overlap, so the merge after reading takes passes of its own."""
    raw = subprocess.run([loggen, "--lines", str(lines), "--months", "12",
                          "--layout", "common", "--seed", "5"],
                         check=True, capture_output=True).stdout
    rows = raw.splitlines(keepends=True)
    random.Random(5).shuffle(rows)
    with open(path, "wb") as f:
        f.writelines(rows)


def stop_once(cli, base, log, when, rng):
    """Starts a level-2 run and sends SIGINT or SIGTERM at `when`: a number
    of seconds, or a status text to wait for. Returns failure texts."""
    sig = rng.choice([signal.SIGINT, signal.SIGTERM])
    child = subprocess.Popen([cli, "--run-level", "2", log], cwd=base,
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if isinstance(when, str):
        for line in child.stderr:
            if when.encode() in line:
                break
    else:
        time.sleep(when)
    sent = time.monotonic()
    child.send_signal(sig)
    child.stderr.close()
    status = child.wait(RUN_TIMEOUT_SECONDS)
    took = time.monotonic() - sent
    print(f"  stop at {when!r}: exit {status} after {took:.3f} s")
    failures = []
    if status == 128 + sig and took > STOP_SECONDS:
        failures.append(f"stop at {when!r} took {took:.2f} s")
    elif status not in (0, 128 + sig, -sig):  # -sig: before main() began
        failures.append(f"stop at {when!r}: exit {status}")
    return failures


def main():
    cli, loggen = os.environ.get("TOVEX_CLI"), os.environ.get("TOVEX_LOGGEN")
    if not cli or not loggen:
        print("TOVEX_CLI or TOVEX_LOGGEN is not set: skipping")
        return 0
    quick = os.environ.get("TOVEX_CHECK_QUICK") == "1"
    rng = random.Random(11)
    failures = []
    with tempfile.TemporaryDirectory(prefix="tovex-stop-") as base:
        log = os.path.join(base, "shuffled.log")
        shuffled_log(loggen, log, 200_000 if quick else 1_000_000)
        start = time.monotonic()
        subprocess.run([cli, "-q", "--run-level", "2", log], cwd=base,
                       check=True)
        whole = time.monotonic() - start
        html = os.path.join(base, "htmldir")
        report = files_in(html)
        # The last month's names come out of the final merge.
        moments = ["Making!! - 2024-12 temp file", "Making!! - 2024-6-1.html"]
        moments += [rng.uniform(0.02, whole * 0.9) for _ in range(4)]
        for when in moments:
            failures += stop_once(cli, base, log, when, rng)
            if files_in(html) != report:
                failures.append(f"stop at {when!r} changed the report")
            left = list(files_in(os.path.join(base, "workdir")))
            if left:
                failures.append(f"stop at {when!r} left {left}")
    for text in failures:
        print("FAIL", text)
    print("stop check:", "failed" if failures else "passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
