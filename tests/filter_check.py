#!/usr/bin/env python3
"""The line options, each against the log rewritten as it means: a run with
an option makes the same pages, byte for byte, as a run without it over the
log rewritten here (lines left out, stamps moved to the zone, the virtual
host's prefix removed, queries cut, escapes decoded). Also: bad values are
usage errors (exit 2) naming the value, a bad settings value exits 2 naming
its key, and hostile agents and paths never break a page.

Environment (set by ctest):
  TOVEX_CLI            the tovex-cli binary; unset: the check is skipped
  TOVEX_LOGGEN         the log generator
  TOVEX_SOURCE_DIR     the source tree (for the crawler list)
"""

import datetime
import ipaddress
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zoneinfo

RUN_TIMEOUT_SECONDS = 300
MAX_LINE_BYTES = 511  # as the reader keeps of a physical line
failures = []


def fail(text):
    failures.append(text)
    print("FAIL", text)


QUOTED = rb'"((?:[^"\\]|\\.)*)"'
LINE = re.compile(rb"^(?P<vhost>\S+:\d+ )?(?P<host>\S+) \S+ \S+ "
                  rb"\[(?P<stamp>[^\]]*)\] " + QUOTED + rb" (?P<status>\d{3})"
                  rb"(?: \S+ " + QUOTED + rb" " + QUOTED + rb")?")
STAMP = re.compile(rb"(\d\d)/(\w{3})/(\d{4}):(\d\d):(\d\d):(\d\d) ([+-]\d{4})")
MONTHS = [b"Jan", b"Feb", b"Mar", b"Apr", b"May", b"Jun", b"Jul", b"Aug",
          b"Sep", b"Oct", b"Nov", b"Dec"]


def lines_of(log):
    """Each physical line as the reader hands it out, without its end."""
    for line in log.split(b"\n"):
        yield line[:MAX_LINE_BYTES].split(b"\0")[0]


def fields(line):
    m = LINE.match(line)
    if not m:
        return None
    method, _, rest = m[4].partition(b" ")
    return {"vhost": (m["vhost"] or b"")[:-1], "host": m["host"],
            "method": method, "target": rest.partition(b" ")[0],
            "status": int(m["status"]), "agent": m[7], "match": m}


def crawler_patterns(source):
    with open(os.path.join(source, "filter", "data",
                           "crawler-user-agents.json")) as f:
        patterns = []
        for entry in json.load(f):
            try:
                patterns.append(re.compile(entry["pattern"].encode()))
            except re.error:
                pass
    return patterns


def host_excluded(host):
    try:
        return ipaddress.ip_address(host.decode()) in ipaddress.ip_network(
            "60.0.0.0/6")
    except ValueError:
        return host.lower().endswith(b".ne.jp")


def keep_if(test):
    def rewrite(line):
        f = fields(line)
        return line if f is None or test(f) else None
    return rewrite


def move_stamp(zone):
    def rewrite(line):
        m = STAMP.search(line)
        if not m or fields(line) is None:
            return line
        d, mon, y, hh, mm, ss, off = m.groups()
        sign = 1 if off[:1] == b"+" else -1
        tz = datetime.timezone(sign * datetime.timedelta(
            hours=int(off[1:3]), minutes=int(off[3:5])))
        t = datetime.datetime(int(y), MONTHS.index(mon) + 1, int(d), int(hh),
                              int(mm), int(ss), tzinfo=tz).astimezone(zone)
        text = t.strftime("%d/%b/%Y:%H:%M:%S %z").encode()
        return line[:m.start()] + text + line[m.end():]
    return rewrite


def in_target(change):
    def rewrite(line):
        f = fields(line)
        if f is None or not f["target"]:
            return line
        start = f["match"].start(4) + len(f["method"]) + 1
        end = start + len(f["target"])
        return line[:start] + change(line[start:end]) + line[end:]
    return rewrite


def cut_query(target):
    return re.split(rb"(?<!\\)[?#]", target, maxsplit=1)[0]


ESCAPES = re.compile(rb"(?:%[0-9A-Fa-f]{2})+")


def decode_escapes(target):
    """Runs of %XX spelling well-formed UTF-8 characters from U+00A0 on."""
    def decode(m):
        text = m[0]
        raw = bytes.fromhex(text.replace(b"%", b"").decode())
        out, i = b"", 0
        while i < len(raw):
            for n in (2, 3, 4):
                try:
                    c = raw[i:i + n].decode("utf-8")
                except UnicodeDecodeError:
                    continue
                if len(c) == 1 and ord(c) >= 0xA0:
                    out += raw[i:i + n]
                    i += n
                    break
            else:
                out += text[3 * i:3 * i + 3]
                i += 1
        return out
    return ESCAPES.sub(decode, target)


def rewritten(log, rewrite):
    out = []
    for line in lines_of(log):
        line = rewrite(line)
        if line is not None:
            out.append(line)
    return b"\n".join(out)


def run(cli, base, log, args=(), settings=None):
    os.makedirs(base)
    if settings is not None:
        with open(os.path.join(base, "quorvane.ini"), "wb") as f:
            f.write(settings)
    path = os.path.join(base, "in.log")
    with open(path, "wb") as f:
        f.write(log)
    return subprocess.run([cli, "-q", "--run-level", "2", *args, path],
                          cwd=base, capture_output=True,
                          timeout=RUN_TIMEOUT_SECONDS)


def pages(base):
    html = os.path.join(base, "htmldir")
    out = {}
    for name in sorted(os.listdir(html)):
        with open(os.path.join(html, name), "rb") as f:
            out[name] = f.read()
    return out


def same_pages(cli, scratch, label, log, args, expected_log,
               expected_args=()):
    a = os.path.join(scratch, label + ".with")
    b = os.path.join(scratch, label + ".model")
    got, want = run(cli, a, log, args), run(cli, b, expected_log,
                                            expected_args)
    if got.returncode or want.returncode:
        fail(f"{label}: exit {got.returncode}/{want.returncode} "
             f"{got.stderr[-300:]!r}")
        return
    p, q = pages(a), pages(b)
    if p.keys() != q.keys():
        fail(f"{label}: pages {sorted(p.keys() ^ q.keys())[:4]}")
    for name in sorted(p.keys() & q.keys()):
        if p[name] != q[name]:
            fail(f"{label}: {name} differs")
            break
    shutil.rmtree(a)
    shutil.rmtree(b)


# Hand-made lines: what the generator does not write.
HAND = (b'192.0.2.7 - - [02/Mar/2024:10:00:00 +0900] "GET /%E6%97%A5%E6%9C'
        b'%AC.html?q=1 HTTP/1.1" 200 1 "-" "Googlebot/2.1"\n'
        b'192.0.2.8 - - [02/Mar/2024:10:00:01 +0900] "GET /\xe6\x97\xa5'
        b'\xe6\x9c\xac.html#top HTTP/1.1" 200 1 "-" "Mozilla/5.0"\n'
        b'192.0.2.9 - - [02/Mar/2024:10:00:02 +0900] "GET /a%C0%AF%00%E3%81'
        b'.html HTTP/1.1" 200 1 "-" "Mozilla/5.0"\n')


def hostile_lines():
    agents = [b"<script>alert(1)</script>", b"x" * 600, b"\x01\x7f\x1b[2J",
              b"\xff\xfe\xc0\xaf bot", b'a\\"b<i>&amp;']
    paths = [b"/<b>x</b>.html", b"/%00%0A%3Cb%3E.html", b"/%C0%AE%C0%AE/.html",
             b"/%ED%A0%80.html", b"/%F4%90%80%80.html", b"/\xff\xe3\x81.html",
             b"/" + b"%E3%81%82" * 60 + b".html", b"/&quot;\x08.html"]
    out = b""
    for i, path in enumerate(paths):
        for agent in agents:
            out += (b'192.0.2.%d - - [03/Mar/2024:1%d:00:00 +0900] "GET %s '
                    b'HTTP/1.1" 200 1 "-" "%s"\n' % (i, i, path, agent))
    return out


def equivalence_checks(cli, loggen, source, scratch):
    log = subprocess.run([loggen, "--lines", "30000", "--months", "3",
                          "--zone", "+0900", "--seed", "7"],
                         capture_output=True, check=True).stdout + HAND
    bots = crawler_patterns(source)
    new_york = zoneinfo.ZoneInfo("America/New_York")
    cases = [
        ("exclude-host", ["--exclude-host", "60.0.0.0/6",
                          "--exclude-host", "*.ne.jp"],
         keep_if(lambda f: not host_excluded(f["host"]))),
        ("exclude-bots", ["--exclude-bots"],
         keep_if(lambda f: f["agent"] is None or
                 not any(p.search(f["agent"]) for p in bots))),
        ("status", ["--status", "2xx,304"],
         keep_if(lambda f: 200 <= f["status"] < 300 or f["status"] == 304)),
        ("methods", ["--methods", "GET,HEAD"],
         keep_if(lambda f: f["method"] in (b"GET", b"HEAD"))),
        ("tz", ["--tz", "America/New_York"], move_stamp(new_york)),
        ("tz-fixed", ["--tz", "-0130"], move_stamp(datetime.timezone(
            -datetime.timedelta(hours=1, minutes=30)))),
        ("query-pages", ["--query-pages"], in_target(cut_query)),
    ]
    plain = rewritten(log, lambda line: line)
    for label, args, rewrite in cases:
        model = rewritten(log, rewrite)
        if model == plain:
            fail(f"{label}: the log has nothing the option changes")
        same_pages(cli, scratch, label, log, args, model)
    # Decoded paths are shown in Shift-JIS either way.
    same_pages(cli, scratch, "decode-paths", log, ["--decode-paths"],
               rewritten(log, in_target(decode_escapes)), ["--decode-paths"])
    # Virtual hosts: the log of two of them, prefixed as vhost_combined.
    vhosts = b"\n".join(
        (b"www.a.jp:80 " if i % 3 else b"B.JP:443 ") + line
        for i, line in enumerate(lines_of(log)))
    same_pages(cli, scratch, "vhost", vhosts, ["--vhost", "b.jp"],
               rewritten(vhosts, lambda line: line[9:]
                         if line.startswith(b"B.JP:443 ") else None))
    # One row for both spellings of a page, in Shift-JIS.
    base = os.path.join(scratch, "display")
    run(cli, base, HAND, ["--decode-paths", "--query-pages"])
    index = pages(base)["index.html"]
    name = "/日本.html".encode("shift_jis")
    if index.count(name) != 1:
        fail(f"decode-paths: {name!r} on the index {index.count(name)} times")


def usage_checks(cli, scratch):
    cases = [
        (["--exclude-host", "10.0.0.0/33"], "10.0.0.0/33"),
        (["--exclude-host", "10.0.0.1,,x"], "10.0.0.1,,x"),
        (["--exclude-host=*.*.jp"], "*.*.jp"),
        (["--status", "6xx"], "6xx"),
        (["--methods", "GET,"], "GET,"),
        (["--tz", "Mars/Olympus"], "Mars/Olympus"),
        (["--tz", "+2400"], "+2400"),
        (["--tz", "../../etc/passwd"], "../../etc/passwd"),
        (["--vhost", "a b"], "a b"),
    ]
    for i, (args, value) in enumerate(cases):
        done = run(cli, os.path.join(scratch, f"usage{i}"), HAND, args)
        if done.returncode != 2 or value.encode() not in done.stderr:
            fail(f"usage {args}: exit {done.returncode} {done.stderr[:200]!r}")
    done = run(cli, os.path.join(scratch, "badkey"), HAND,
               settings=b"[SYSTEM]\nTIMEZONE=Mars/Olympus\nSTATUS=2xx\n")
    if done.returncode != 2 or b"TIMEZONE=Mars/Olympus" not in done.stderr:
        fail(f"settings TIMEZONE: exit {done.returncode} {done.stderr!r}")


TAG = re.compile(rb"<(/?[A-Za-z]+)[^<>]*>")


def hostile_checks(cli, scratch):
    """Every option on: exit 0, and no page holds markup of the log's."""
    allowed = set()
    base = os.path.join(scratch, "plain")
    run(cli, base, HAND)
    for page in pages(base).values():
        allowed |= {m[1] for m in TAG.finditer(page)}
    args = ["--exclude-host", "198.51.100.0/24", "--exclude-bots",
            "--status", "2xx", "--methods", "GET", "--tz", "Asia/Tokyo",
            "--query-pages", "--decode-paths"]
    base = os.path.join(scratch, "hostile")
    done = run(cli, base, hostile_lines(), args)
    if done.returncode != 0:
        fail(f"hostile: exit {done.returncode} {done.stderr[-300:]!r}")
        return
    for name, page in pages(base).items():
        text = TAG.sub(b"", page)
        tags = {m[1] for m in TAG.finditer(page)}
        if b"<" in text or b">" in text or not tags <= allowed:
            fail(f"hostile: markup broken in {name}")


def main():
    cli = os.environ.get("TOVEX_CLI")
    if not cli:
        print("TOVEX_CLI is not set: skipping")
        return 0
    loggen = os.environ["TOVEX_LOGGEN"]
    source = os.environ.get("TOVEX_SOURCE_DIR", os.path.dirname(
        os.path.dirname(os.path.abspath(__file__))))
    scratch = tempfile.mkdtemp(prefix="tovex-filter-")
    try:
        equivalence_checks(cli, loggen, source, scratch)
        usage_checks(cli, scratch)
        hostile_checks(cli, scratch)
    finally:
        shutil.rmtree(scratch)
    print("filter check:", "failed" if failures else "passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
