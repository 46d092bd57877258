"""Checks of the reference model against hand-derived values.

Run from tests/: python3 -m unittest reference.test_model
"""

import unittest

from . import expected_pages, expected_report
from .logline import (c_atoi, days_in_month, is_access_log, is_page_request,
                      log_lines, parse_log_line, weekday_of)
from .pages import bar_cell, escape
from .tally import (insert_ranked, is_organisation_name, organisation_of,
                    sort_top_entries)


def line(host=b"h.example.com", stamp=b"10/Oct/2000:13:55:36",
         request=b"GET /index.html HTTP/1.0", user=b"-"):
    return b'%s - %s [%s -0700] "%s" 200 10\n' % (host, user, stamp, request)


class DatesTest(unittest.TestCase):
    def test_weekdays(self):
        cases = [((2001, 1, 1), 1), ((2000, 2, 29), 2), ((2000, 10, 10), 2),
                 ((1999, 12, 31), 5), ((2001, 3, 0), 3), ((2001, 2, 29), -1),
                 ((2001, 4, 31), -1), ((2001, 13, 1), -1)]
        for args, want in cases:
            self.assertEqual(weekday_of(*args), want, args)

    def test_days_in_month(self):
        cases = [((1900, 2), 28), ((2000, 2), 29), ((2004, 2), 29),
                 ((2001, 2), 28), ((2001, 4), 30), ((2001, 12), 31),
                 ((2001, 0), -1), ((2001, 13), -1)]
        for args, want in cases:
            self.assertEqual(days_in_month(*args), want, args)

    def test_decimal_conversion_saturates(self):
        cases = [(b"2000", 2000), (b" +7", 7), (b"-3x", -3), (b"", 0),
                 (b"abc", 0), (b"4294969297", 2**31 - 1),
                 (b"-99999999999", -(2**31))]
        for text, want in cases:
            self.assertEqual(c_atoi(text), want, text)


class LineTest(unittest.TestCase):
    def test_page_filter(self):
        cases = [(b"GET /index.html HTTP/1.0", True),
                 (b"GET / HTTP/1.0", True), (b"GET /docs/ HTTP/1.0", True),
                 (b"GET /docs HTTP/1.0", False),
                 (b"GET /img/logo.gif HTTP/1.0", False),
                 (b"GET /a.html?x=1 HTTP/1.0", False),
                 (b"GET /A.HTML HTTP/1.0", False),
                 (b"GET /a.shtm HTTP/1.0", True),
                 (b"GET /a.shtml HTTP/1.0", True)]
        for request, want in cases:
            self.assertEqual(is_page_request(line(request=request)), want,
                             request)
        self.assertFalse(is_page_request(
            b'h - - [10/Oct/2000:13:55:36 -0700] "-" 400 0\n'))
        self.assertTrue(is_page_request(line(user=b"frank")))
        self.assertFalse(is_page_request(
            b'h ann bob [10/Oct/2000:13:55:36 -0700] "GET / HTTP/1.0" 200 1\n'))

    def test_parse_worked_example(self):
        r = parse_log_line(line())
        self.assertEqual((r.host, r.path, r.year, r.month, r.day, r.hour,
                          r.weekday),
                         (b"h.example.com", b"/index.html", 2000, 10, 10, 13, 2))

    def test_parse_cuts_texts(self):
        r = parse_log_line(line(host=b"x" * 130,
                                request=b"GET /" + b"p" * 130 + b" HTTP/1.0"))
        self.assertEqual((len(r.host), len(r.path)), (121, 121))
        r = parse_log_line(line(host=b"tab\tx", request=b"GET /a\tb.html HTTP/1.0"))
        self.assertEqual((r.host, r.path), (b"tab", b"/a"))

    def test_bad_lines_are_not_counted(self):
        bad = [line(stamp=b"10/oct/2000:13:55:36"),
               line(stamp=b"10/Sept/2000:13:55:36"),
               line(stamp=b"31/Apr/2001:13:55:36"),
               line(stamp=b"29/Feb/1900:13:55:36"),
               line(stamp=b"0/Oct/2000:13:55:36"),
               line(stamp=b"10/Oct/0:13:55:36"),
               line(stamp=b"10/Oct/10000:13:55:36"),
               line(stamp=b"10/Oct/4294969297:13:55:36"),
               line(stamp=b"4294967301/Oct/2000:13:55:36"),
               line(stamp=b"10/Oct/2000:24:55:36"),
               line(stamp=b"10/Oct/2000:-1:55:36"),
               line(stamp=b"0" * 130 + b"5/Oct/2000:13:55:36"),
               line(host=b""),
               line(request=b"GET index.html HTTP1.0")]
        for text in bad:
            self.assertTrue(is_page_request(text), text)
            self.assertIsNone(parse_log_line(text), text)
        odd = parse_log_line(line(stamp=b"+07/Feb/2000: 9:55:36"))
        self.assertEqual((odd.day, odd.hour), (7, 9))

    def test_reading(self):
        long_line = b"a" * 600 + b"\n"
        data = long_line + b"x\r\ny\0z\nlast"
        self.assertEqual(list(log_lines(data)),
                         [b"a" * 511, b"x\r\n", b"y", b"last"])
        self.assertEqual(list(log_lines(b"a" * 510 + b"\n")), [b"a" * 510 + b"\n"])

    def test_format_check(self):
        good = line()
        cases = [(b"", False), (good * 3, True), (good * 5 + b"junk\n", True),
                 (line(user=b"frank") + good, False), (good + b"\n", False),
                 (b'h - - [10/Oct/2000:13:55:36 -0700] "-" 400 0\n', True),
                 (line()[:-1] + b" " + b"x" * 600 + b"\n" + good, True)]
        for data, want in cases:
            self.assertEqual(is_access_log(data), want, data[:60])


class RankingTest(unittest.TestCase):
    def offer(self, rows, runs):
        table = [(b"", 0)] * rows
        for text, count in runs:
            insert_ranked(table, text, count)
        return [e for e in table if e[1]]

    def test_insert_ranked(self):
        self.assertEqual(self.offer(10, [(b"P", 5), (b"Q", 7), (b"R", 5), (b"S", 7)]),
                         [(b"Q", 7), (b"S", 7), (b"P", 5), (b"R", 5)])
        self.assertEqual(self.offer(2, [(b"P", 3), (b"Q", 3), (b"R", 3)]),
                         [(b"P", 3), (b"Q", 3)])
        self.assertEqual(self.offer(2, [(b"P", 1), (b"Q", 2), (b"R", 3)]),
                         [(b"R", 3), (b"Q", 2)])

    def test_sort_top_entries(self):
        entries = [(b"first", 1), (b"second", 2), (b"third", 2), (b"fourth", 3)]
        self.assertEqual(sort_top_entries(entries, 4),
                         [(b"fourth", 3), (b"third", 2), (b"second", 2),
                          (b"first", 1)])

    def test_organisations(self):
        cases = [(b"a.b.c.d", b"c.d"), (b"a.b.c", b"b.c"), (b"a.b", b"a.b"),
                 (b"local", b"local"), (b"10.1.2.3", b"2.3")]
        for host, want in cases:
            self.assertEqual(organisation_of(host), want, host)
        for text, want in [(b"2.3", False), (b"0.1", False), (b"123", True),
                           (b"1.2.3", True), (b"c.d", True), (b"a", False)]:
            self.assertEqual(is_organisation_name(text), want, text)

    def test_prefix_with_control_byte_ranks_first(self):
        # "ab\x01c 1 ..." sorts before "ab 1 ...": the record line decides.
        log = (line(host=b"ab", stamp=b"01/Jan/2001:01:00:00")
               + line(host=b"ab\x01c", stamp=b"01/Jan/2001:01:00:00"))
        domains = expected_report(log, 0).index.domains
        self.assertEqual(domains, [(b"ab\x01c", 1), (b"ab", 1)])


class PageTest(unittest.TestCase):
    def test_bar_cell(self):
        head, tail = '<TD><FONT COLOR="#0000FF">', "</FONT></TD>\n"
        cases = [((0, 0), "　"), ((7, 7), "━" * 20), ((5, 10), "━" * 10),
                 ((4, 100), "　"), ((5, 100), "━"), ((19, 20), "━" * 19)]
        for (v, m), bars in cases:
            self.assertEqual(bar_cell(v, m), (head + bars + tail).encode("cp932"))

    def test_escape(self):
        self.assertEqual(escape(b'<a href="x">&</a>'),
                         b"&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;")

    def test_page_sets(self):
        one_month = (line(stamp=b"01/Mar/2001:10:00:00")
                     + line(stamp=b"05/Mar/2001:10:00:00"))
        two_months = one_month + line(stamp=b"05/Apr/2001:10:00:00")
        images = line(request=b"GET /a.gif HTTP/1.0") * 3
        cases = [(one_month, 0, {"index.html"}),
                 (one_month, 1, {"index.html"}),
                 (one_month, 2, {"index.html", "2001-3-1.html", "2001-3-5.html"}),
                 (two_months, 1, {"index.html", "2001-3.html", "2001-4.html"}),
                 (two_months, 2, {"index.html", "2001-3.html", "2001-4.html",
                                  "2001-3-1.html", "2001-3-5.html",
                                  "2001-4-5.html"}),
                 (images, 2, {"index.html"})]
        for data, level, want in cases:
            self.assertEqual(set(expected_pages(data, level)), want, (level, want))
        self.assertIsNone(expected_pages(line(user=b"frank"), 0))

    def test_single_month_index_links_days_at_level_two_only(self):
        log = line(stamp=b"01/Mar/2001:10:00:00") + line(stamp=b"05/Mar/2001:10:00:00")
        for level, links in [(1, 0), (2, 2)]:
            index = expected_pages(log, level)["index.html"]
            self.assertIn("<TITLE>アクセスログ解析(2001-3)</TITLE>".encode("cp932"),
                          index)
            self.assertEqual(index.count(b"<A HREF="), links, level)

    def test_months_split_by_year_and_rejoin(self):
        log = (line(stamp=b"05/Dec/2000:10:00:00") + line(stamp=b"05/Dec/2001:10:00:00")
               + line(stamp=b"06/Jan/2002:10:00:00") + line(stamp=b"07/Dec/2000:10:00:00"))
        report = expected_report(log, 2)
        self.assertEqual(report.periods, [(2000, 12), (2001, 12), (2002, 1)])
        self.assertEqual(report.months[(2000, 12)].total, 2)


if __name__ == "__main__":
    unittest.main()
