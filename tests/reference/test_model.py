"""Checks of the reference model against hand-derived values.

Only what no unit test of the program pins: where the program's own tests
fix a value (weekdays, the page filter, cuts, rankings, bar cells, ...), a
model that disagrees fails the reference check anyway.

Run from tests/: python3 -m unittest reference.test_model
"""

import unittest

from . import expected_pages, expected_report
from .logline import is_page_request, log_lines, parse_log_line


def line(host=b"h.example.com", stamp=b"10/Oct/2000:13:55:36",
         request=b"GET /index.html HTTP/1.0", user=b"-"):
    return b'%s - %s [%s -0700] "%s" 200 10\n' % (host, user, stamp, request)


class LineTest(unittest.TestCase):
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
        # No hand-made log has a page marker right at the 511-byte cut, so
        # the reference check alone would not notice the cut moving.
        data = b"a" * 600 + b"\nx\r\ny\0z\nlast"
        self.assertEqual(list(log_lines(data)),
                         [b"a" * 511, b"x\r\n", b"y", b"last"])

    def test_prefix_with_control_byte_ranks_first(self):
        # "ab\x01c 1 ..." sorts before "ab 1 ...": the record line decides.
        log = (line(host=b"ab", stamp=b"01/Jan/2001:01:00:00")
               + line(host=b"ab\x01c", stamp=b"01/Jan/2001:01:00:00"))
        domains = expected_report(log, 0).index.domains
        self.assertEqual(domains, [(b"ab\x01c", 1), (b"ab", 1)])


class PageTest(unittest.TestCase):
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
