#!/usr/bin/env python3
"""--resolve dns against a DNS server of the test's own (dnsmasq on
127.0.0.1, a hosts file and PTR records), end to end: the pages of a run
that resolves equal, byte for byte, those of a run over the same log with
the confirmed names written in place of the addresses, at every run level
and with a history. Addresses whose PTR name does not resolve back, whose
name is no host name, or that have no PTR record stay addresses. The cache
answers with the server stopped; expired entries and a server that never
answers leave addresses, which the last line counts; options that cannot
be used are usage errors.

Environment (set by ctest):
  TOVEX_CLI   the tovex-cli binary; unset: the check is skipped
"""

import os
import random
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

RUN_TIMEOUT_SECONDS = 120
failures = []


def fail(text):
    failures.append(text)
    print("FAIL", text)


# address -> what the server says; "name" entries are confirmed both ways.
CONFIRMED = {
    "10.0.0.1": "one.example.test",
    "10.0.0.3": "shared.example.test",  # two addresses, one visitor
    "10.0.0.4": "shared.example.test",
    "10.0.1.9": "www.u-tokyo.example.test",
    "2001:db8::1": "six.example.test",
}
PTR_ONLY = {  # the name's own records do not hold the address
    "10.0.0.2": "liar.example.test",
    "10.0.0.7": "one.example.test",
}
BAD_NAMES = {"10.0.0.8": "bad_name.example.test"}  # resolves, no host name
NO_RECORD = ["10.0.0.5", "10.0.2.1", "2001:db8::2", "192.0.2.44"]
NAMED = ["named.example.jp", "one.example.test"]  # logged as names


def reverse_name(address):
    if ":" in address:
        import ipaddress
        return ipaddress.ip_address(address).reverse_pointer
    return ".".join(reversed(address.split("."))) + ".in-addr.arpa"


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Dnsmasq:
    """dnsmasq on a free port, its whole configuration on its command
    line; another process may take the port first, so a few tries."""

    def __init__(self, scratch):
        hosts = os.path.join(scratch, "hosts")
        with open(hosts, "w") as f:
            for address, name in CONFIRMED.items():
                f.write("%s %s\n" % (address, name))
            f.write("10.9.9.9 liar.example.test\n")
        extra = ["--ptr-record=%s,%s" % (reverse_name(a), n)
                 for a, n in list(PTR_ONLY.items()) + list(BAD_NAMES.items())]
        extra += ["--host-record=%s,%s" % (n, a) for a, n in BAD_NAMES.items()]
        for _ in range(5):
            self.port = free_port()
            self.proc = subprocess.Popen(
                ["dnsmasq", "--no-daemon", "--no-resolv", "--no-hosts",
                 "--addn-hosts=" + hosts, "--conf-file=/dev/null",
                 "--listen-address=127.0.0.1", "--bind-interfaces",
                 "--port=%d" % self.port, "--pid-file=", "--local=/test/",
                 "--local=/arpa/"] + extra,
                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            time.sleep(0.3)
            if self.proc.poll() is None:
                return
        raise RuntimeError("dnsmasq did not start: %s" %
                           self.proc.stderr.read().decode(errors="replace"))

    def stop(self):
        self.proc.terminate()
        self.proc.wait()


class SilentServer:
    """A UDP socket that takes queries and never answers."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))
        self.port = self.sock.getsockname()[1]


def make_log(path, substituted_path):
    rng = random.Random(7)
    clients = (list(CONFIRMED) + list(PTR_ONLY) + list(BAD_NAMES) +
               NO_RECORD + NAMED)
    with open(path, "w") as raw, open(substituted_path, "w") as sub:
        for i in range(6000):
            day = 1 + i // 150  # 40 days: March and April
            month, day = ("Mar", day) if day <= 31 else ("Apr", day - 31)
            host = rng.choice(clients)
            rest = ' - - [%02d/%s/2024:%02d:%02d:%02d +0900] "GET /p%d.html ' \
                   'HTTP/1.1" 200 %d\n' % (day, month, i % 24, i % 60,
                                           i % 57, rng.randint(1, 40), i)
            raw.write(host + rest)
            sub.write(CONFIRMED.get(host, host) + rest)


def run(base, args, expect=0):
    os.makedirs(base, exist_ok=True)
    start = time.perf_counter()
    r = subprocess.run([os.environ["TOVEX_CLI"]] + args, cwd=base,
                       capture_output=True, timeout=RUN_TIMEOUT_SECONDS)
    r.seconds = time.perf_counter() - start
    if r.returncode != expect:
        fail("%s: exit %d, expected %d: %s" % (
            " ".join(args), r.returncode, expect,
            r.stderr.decode(errors="replace")[-400:]))
    return r


def pages(base):
    out = {}
    folder = os.path.join(base, "htmldir")
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), "rb") as f:
            out[name] = f.read()
    return out


def same_pages(what, base, expected):
    got = pages(base)
    if got.keys() != expected.keys():
        fail("%s: pages %s, expected %s" % (what, sorted(got),
                                            sorted(expected)))
        return
    for name in got:
        if got[name] != expected[name]:
            fail("%s: %s differs" % (what, name))


def last_line(r):
    lines = r.stderr.decode(errors="replace").strip().splitlines()
    return lines[-1] if lines else ""


def unanswered(r):
    m = re.search(r"; (\d+) addresses unanswered", last_line(r))
    return int(m.group(1)) if m else 0


def age_cache(path, seconds):
    """Moves every answer of the cache `seconds` into the past."""
    with open(path) as f:
        lines = f.read().splitlines()
    out = []
    for line in lines:
        parts = line.split(" ")
        if len(parts) == 3 and parts[1].isdigit():
            parts[1] = str(int(parts[1]) - seconds)
        out.append(" ".join(parts))
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")


def main():
    if not os.environ.get("TOVEX_CLI"):
        print("TOVEX_CLI not set: skipped")
        return 0
    if shutil.which("dnsmasq") is None:
        print("dnsmasq not installed: skipped")
        return 0
    scratch = tempfile.mkdtemp(prefix="tovex-resolve-")
    server = None
    try:
        log = os.path.join(scratch, "access.log")
        sub = os.path.join(scratch, "substituted.log")
        make_log(log, sub)
        server = Dnsmasq(scratch)
        dns = ["--resolve", "dns", "--dns-server",
               "127.0.0.1:%d" % server.port, "--resolve-timeout", "20"]
        numeric = len(set(CONFIRMED) | set(PTR_ONLY) | set(BAD_NAMES) |
                      set(NO_RECORD))
        expected = {}
        for level in ("0", "1", "2"):
            plain = os.path.join(scratch, "plain-%s" % level)
            run(plain, ["--run-level", level, sub])
            expected[level] = pages(plain)
            base = os.path.join(scratch, "dns-%s" % level)
            r = run(base, ["--run-level", level] + dns + [log])
            same_pages("level %s resolved" % level, base, expected[level])
            if unanswered(r):
                fail("level %s: %s" % (level, last_line(r)))
        with open(os.path.join(scratch, "dns-2", "workdir",
                               "tovex-dns.cache")) as f:
            cache = dict((p[0], p[2]) for p in
                         (line.split(" ") for line in f.read().splitlines())
                         if len(p) == 3)
        want = dict(CONFIRMED)
        want.update({a: "!unconfirmed" for a in PTR_ONLY})
        want.update({a: "!bad" for a in BAD_NAMES})
        want.update({a: "!none" for a in NO_RECORD})
        if cache != want:
            fail("cache %s, expected %s" % (cache, want))
        # A damaged cache is a warning; its answers are asked again.
        base = os.path.join(scratch, "dns-0")
        cache_file = os.path.join(base, "workdir", "tovex-dns.cache")
        with open(cache_file, "w") as f:
            f.write("tovex-names 1\n10.0.0.1 1 <b>x</b>\n")
        r = run(base, ["--run-level", "0"] + dns + [log])
        same_pages("damaged cache", base, expected["0"])
        if b"DNS cache" not in r.stderr:
            fail("damaged cache: no warning: %s" % r.stderr[-300:])
        # A cache that cannot be written fails the run.
        run(base, ["--run-level", "0"] + dns +
            ["--dns-cache", os.path.join(scratch, "missing", "c"), log],
            expect=1)
        server.stop()
        server = None

        # The server is gone: the cache alone answers.
        dead = ["--resolve", "dns", "--dns-server",
                "127.0.0.1:%d" % free_port(), "--resolve-timeout", "3"]
        base = os.path.join(scratch, "dns-2")
        r = run(base, ["--run-level", "2"] + dead + [log])
        same_pages("cache with the server stopped", base, expected["2"])
        if unanswered(r):
            fail("cache hit: %s" % last_line(r))

        # Expired answers are asked again; unanswered, the clients stay
        # addresses for this run, and the last line counts them.
        plain_raw = os.path.join(scratch, "plain-raw")
        run(plain_raw, ["--run-level", "2", log])
        age_cache(os.path.join(base, "workdir", "tovex-dns.cache"),
                  8 * 24 * 3600)
        r = run(base, ["--run-level", "2"] + dead + [log])
        if pages(plain_raw) == expected["2"]:
            fail("resolving changed nothing")
        same_pages("expired cache", base, pages(plain_raw))
        if unanswered(r) != numeric:
            fail("expired: %d unanswered, expected %d: %s" %
                 (unanswered(r), numeric, last_line(r)))

        # A server that never answers: the budget ends the wait.
        silent = SilentServer()
        base = os.path.join(scratch, "silent")
        r = run(base, ["--run-level", "2", "--resolve", "dns", "--dns-server",
                       "127.0.0.1:%d" % silent.port, "--resolve-timeout", "1",
                       log])
        if r.seconds > 15:
            fail("a silent server kept the run %.1f s" % r.seconds)
        same_pages("silent server", base, pages(plain_raw))
        if unanswered(r) != numeric:
            fail("silent: %s" % last_line(r))
        silent.sock.close()

        # A history records the option and resolves each update's lines.
        server = Dnsmasq(scratch)
        dns[3] = "127.0.0.1:%d" % server.port
        base = os.path.join(scratch, "history")
        with open(log) as f:
            lines = f.readlines()
        part = os.path.join(scratch, "part.log")
        with open(part, "w") as f:
            f.writelines(lines[:2500])
        run(base, ["--run-level", "2", "--history", "h"] + dns + [part])
        shutil.copy(log, part)
        run(base, ["--run-level", "2", "--history", "h"] + dns + [part])
        same_pages("history", base, expected["2"])
        if not os.path.exists(os.path.join(base, "h", "tovex-dns.cache")):
            fail("no cache in the history folder")
        r = run(base, ["--history", "h", part], expect=2)
        if b"--rebuild" not in r.stderr:
            fail("history without --resolve: %s" % r.stderr[-300:])

        # Values that cannot be used.
        base = os.path.join(scratch, "usage")
        for args in (["--resolve", "dns", "--resolve-timeout", "x", log],
                     ["--resolve", "dns", "--resolve-timeout", "3601", log],
                     ["--resolve", "dns", "--dns-server", "example.jp", log],
                     ["--resolve", "dnsx", log],
                     ["--dns-cache=", log]):
            run(base, args, expect=2)
        run(base, ["--run-level", "0", log])  # makes the settings file
        with open(os.path.join(base, "quorvane.ini"), "a") as f:
            f.write("RESOLVE=dns\nDNSSERVER=300.1.1.1\n")
        r = run(base, [log], expect=2)
        if b"DNSSERVER=300.1.1.1" not in r.stderr:
            fail("bad DNSSERVER not named: %s" % r.stderr[-300:])
    finally:
        if server is not None:
            server.stop()
        shutil.rmtree(scratch, ignore_errors=True)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
