#!/usr/bin/env python3
"""The JSON document of a report: valid against doc/report.schema.json and
always valid UTF-8, with the same figures as the HTML pages (accesses,
visitors, every ranked row's name and count), for every real log at run
level 2; names of any bytes; published with the pages, never half-written.

Environment (set by ctest):
  TOVEX_CLI            the tovex-cli binary; unset: the check is skipped
  TOVEX_SOURCE_DIR     the source tree
  TOVEX_REAL_LOGS_DIR  directory of real access logs (optional)
Needs Debian's python3-jsonschema; run by another Python, it starts itself
again with /usr/bin/python3.
"""

import glob
import html
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

try:
    import jsonschema
except ImportError:
    if sys.executable != "/usr/bin/python3" and os.path.exists(
            "/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    raise

RUN_TIMEOUT_SECONDS = 300
failures = []


def fail(text):
    failures.append(text)
    print("FAIL", text)


def run(cli, base, args, **kw):
    return subprocess.run([cli, *args], cwd=base, capture_output=True,
                          timeout=RUN_TIMEOUT_SECONDS, **kw)


def name_of(escaped):
    """A ranked name as the JSON holds it, from the page's bytes."""
    raw = escaped.replace(b"&quot;", b'"').replace(b"&lt;", b"<") \
        .replace(b"&gt;", b">").replace(b"&amp;", b"&")
    return raw.decode("utf-8", "replace")


ROW = re.compile(rb"<TR>\n<TD ALIGN=CENTER>(\d+)</TD>\n<TD ALIGN=LEFT>(.*?)"
                 rb"</TD>\n<TD ALIGN=RIGHT>(\d+)</TD>\n"
                 rb"<TD ALIGN=CENTER>([\d.]+)</TD>\n</TR>", re.S)
TABLE_HEAD = re.compile(rb"<TH COLSPAN=4>")
COUNT = re.compile(rb"<TR ALIGN=CENTER>\n<TD>(\d+)</TD></TR>")
VISITORS = re.compile(rb"<TR ALIGN=CENTER>\n<TD>(\d+)</TD>\n<TD>\s*([\d.]+)"
                      rb"</TD></TR>")


def page_figures(data):
    """Accesses, visitors and the three ranked tables of an HTML page."""
    heads = [m.start() for m in TABLE_HEAD.finditer(data)]
    tables = []
    for i, start in enumerate(heads[-3:]):
        end = heads[-3:][i + 1] if i < 2 else len(data)
        tables.append([(name_of(m.group(2)), int(m.group(3)),
                        float(m.group(4)))
                       for m in ROW.finditer(data, start, end)])
    visitors = VISITORS.search(data)
    return (int(COUNT.search(data).group(1)), int(visitors.group(1)),
            float(visitors.group(2)), tables)


def json_figures(page):
    tables = [[(e["name"], e["accesses"], e["share"])
               for e in page[k]["entries"]]
              for k in ("organisations", "domains", "contents")]
    return page["accesses"], page["visitors"], page["average"], tables


def compare(doc, html_dir, label):
    files = sorted(f for f in os.listdir(html_dir) if f.endswith(".html"))
    listed = [p["file"] for p in doc["pages"]]
    if sorted(listed) != files:
        fail(f"{label}: the document lists other pages than the report has")
        return
    if doc["pages"][0]["kind"] != "index":
        fail(f"{label}: the document does not begin with the index page")
    month = None
    for page in doc["pages"][1:]:
        if page["kind"] == "month":
            month = page["period"]
        elif page["kind"] == "day" and month is not None \
                and not page["period"].startswith(month + "-"):
            fail(f"{label}: day {page['period']} after month {month}")
    for page in doc["pages"]:
        with open(os.path.join(html_dir, page["file"]), "rb") as f:
            want = page_figures(f.read())
        if json_figures(page) != want:
            fail(f"{label}: {page['file']} differs from its page")


def hostile_log():
    names = [b"a\x00b.example", b'q"u\\o.te', b"\x01\x1f\x7f.x",
             b"\xff\xfe.jp", b"\xe3\x81\x82.jp", b"<script>.jp",
             b"\xed\xa0\x80.x", b"\xc0\xaf.x"]
    paths = [b"/%s.html" % n.replace(b"\x00", b"") for n in names]
    # Five ordinary lines first: the format check judges those.
    lines = [b'h.jp - - [01/Jan/2024:00:00:00 +0900] "GET / HTTP/1.0" 200 1\n'
             ] * 5
    for i, (h, p) in enumerate(zip(names, paths)):
        for day in (1, 2):
            lines.append(b"%s - - [%02d/Jan/2024:1%d:00:00 +0900] "
                         b'"GET %s HTTP/1.0" 200 1\n' % (h, day, i % 10, p))
    return b"".join(lines)


def main():
    cli = os.environ.get("TOVEX_CLI")
    if not cli:
        print("TOVEX_CLI is not set: skipping")
        return 0
    source = os.environ.get("TOVEX_SOURCE_DIR",
                            os.path.dirname(os.path.dirname(
                                os.path.abspath(__file__))))
    with open(os.path.join(source, "doc", "report.schema.json")) as f:
        schema = json.load(f)
    validator = jsonschema.Draft202012Validator(schema)
    real = os.environ.get("TOVEX_REAL_LOGS_DIR", "")
    logs = sorted(glob.glob(os.path.join(real, "*.log"))) if real else []
    logs.append(os.path.join(source, "samples", "sample.log"))
    scratch = tempfile.mkdtemp(prefix="tovex-json-")
    try:
        hostile = os.path.join(scratch, "hostile.log")
        with open(hostile, "wb") as f:
            f.write(hostile_log())
        for log in logs + [hostile]:
            label = os.path.basename(log)
            base = os.path.join(scratch, label + ".d")
            os.makedirs(base)
            done = run(cli, base, ["-q", "--run-level", "2", "--json",
                                   "report.json", log])
            if done.returncode != 0:
                if label == "awstats-testglobal-2001-01.log":
                    continue  # refused by the format check
                fail(f"{label}: exit {done.returncode}")
                continue
            with open(os.path.join(base, "report.json"), "rb") as f:
                raw = f.read()
            doc = json.loads(raw.decode("utf-8"))  # strict UTF-8 and JSON
            for error in validator.iter_errors(doc):
                fail(f"{label}: {error.message}")
                break
            compare(doc, os.path.join(base, "htmldir"), label)
        publish_checks(cli, scratch, logs[-1])
    finally:
        shutil.rmtree(scratch)
    print("json check:", "failed" if failures else "passed")
    return 1 if failures else 0


def publish_checks(cli, scratch, sample):
    """In the output folder, elsewhere and on standard output; a run that
    fails leaves the document it replaced; pages as without the option."""
    plain = os.path.join(scratch, "plain")
    os.makedirs(plain)
    run(cli, plain, ["-q", sample], check=True)
    pages = {f: open(os.path.join(plain, "htmldir", f), "rb").read()
             for f in os.listdir(os.path.join(plain, "htmldir"))
             if f.endswith(".html")}
    for target in ("htmldir/report.json", "elsewhere/r.json"):
        base = os.path.join(scratch, target.replace("/", "_"))
        os.makedirs(base)
        run(cli, base, ["-q", "--version"], check=True)
        shutil.copy(os.path.join(plain, "quorvane.ini"), base)
        with open(os.path.join(base, "quorvane.ini"), "a") as f:
            f.write("JSONFILE=%s\n" % target)
        run(cli, base, ["-q", sample], check=True)
        got = {f: open(os.path.join(base, "htmldir", f), "rb").read()
               for f in os.listdir(os.path.join(base, "htmldir"))
               if f.endswith(".html")}
        if got != pages:
            fail(f"{target}: the pages differ from a run without JSON")
        path = os.path.join(base, target)
        before = open(path, "rb").read()
        with open(os.path.join(base, "bad.log"), "w") as f:
            f.write("not a log\n")
        for args in (["bad.log"], [sample, "missing.log"]):
            if run(cli, base, ["-q"] + args).returncode == 0:
                fail(f"{target}: a failing run succeeded")
            if open(path, "rb").read() != before:
                fail(f"{target}: a failing run changed the document")
        leftovers = [n for n in os.listdir(os.path.dirname(path))
                     if n.startswith(".") and n != ".tovex-lock"]
        if leftovers:
            fail(f"{target}: left {leftovers}")
    base = os.path.join(scratch, "stdout")
    os.makedirs(base)
    done = run(cli, base, ["--json", "-", sample], check=True)
    doc = json.loads(done.stdout.decode("utf-8"))
    if doc["format"] != "tovex-report" or b"index.html\n" in done.stdout[-40:]:
        fail("--json -: standard output is not the document alone")


if __name__ == "__main__":
    sys.exit(main())
