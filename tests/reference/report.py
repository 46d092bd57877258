"""The whole report of one run: which pages exist and their bytes.

A period is a calendar month, entered in order of first appearance; a day
page holds every counted line of its date. Both follow from grouping the
counted records, so this model never replays the program's streaming job.
"""

from dataclasses import dataclass, field

from . import pages
from .logline import is_access_log, is_page_request, log_lines, parse_log_line
from .tally import label_organisation, tally_period

# The period table holds this many months; later new months go uncounted.
MAX_PERIODS = 240
INDEX_PAGE = "index.html"


@dataclass(frozen=True)
class Settings:
    """Row settings of the ranking tables (defaults: the minimum)."""
    index_domn: int = 10
    index_html: int = 10
    index_clas: int = 5
    month_domn: int = 10
    month_html: int = 10
    month_clas: int = 5
    days_domn: int = 10
    days_html: int = 10
    days_clas: int = 5


@dataclass
class Report:
    refused: bool = False
    records: list = field(default_factory=list)   # counted, in log order
    accepted: int = 0                              # passed the page filter
    periods: list = field(default_factory=list)   # [(year, month)]
    index: object = None                           # PeriodTally
    months: dict = field(default_factory=dict)    # (y, m) -> PeriodTally
    days: dict = field(default_factory=dict)      # (y, m, d) -> PeriodTally
    pages: dict = field(default_factory=dict)     # file name -> bytes


def label(year, month):
    return f"{year}-{month}"


def counted_records(data):
    """(records counted, lines accepted by the page filter, periods)."""
    periods, known, records, accepted = [], set(), [], 0
    for line in log_lines(data):
        if not is_page_request(line):
            continue
        accepted += 1
        record = parse_log_line(line)
        if record is None:
            continue
        key = (record.year, record.month)
        if key not in known:
            if len(periods) == MAX_PERIODS:
                continue
            known.add(key)
            periods.append(key)
        records.append(record)
    return records, accepted, periods


def _group(records, key):
    groups = {}
    for r in records:
        groups.setdefault(key(r), []).append(r)
    return groups


def _page(suffix, heading, t, middle, rows):
    """A page: its heading, count and visitors, then `middle` (the tables
    between those and the rankings), then the rankings of `rows`."""
    return (pages.page_head(suffix)
            + pages.join_tables(pages.title_table(suffix),
                                pages.count_table(heading, t.total),
                                pages.visitor_table(t.visitors, t.total),
                                *middle, pages.rankings(t, *rows))
            + pages.page_foot())


def _calendar(report, key, day_count):
    """The day table of month `key`; days with a page of their own link."""
    linked = {d for (y, m, d) in report.days if (y, m) == key}
    return pages.calendar_table(*key, day_count, linked)


def index_page(report, s, run_level):
    t = report.index
    single = run_level > 0 and len(report.periods) == 1
    suffix = f"({label(*report.periods[0])})" if single else ""
    if single:
        per_period = _calendar(report, report.periods[0], t.day_count)
    else:
        rows = [(label(*key), report.months[key].total)
                for key in report.periods]
        per_period = pages.month_table(rows, linked=run_level > 0)
    return _page(suffix, "総アクセス件数", t,
                 [per_period, pages.hour_table(t.hour_count),
                  pages.weekday_table(t.weekday_count)],
                 (s.index_clas, s.index_domn, s.index_html))


def month_page(report, key, s):
    t = report.months[key]
    return _page(f"({label(*key)})", "アクセス件数", t,
                 [_calendar(report, key, t.day_count),
                  pages.hour_table(t.hour_count),
                  pages.weekday_table(t.weekday_count)],
                 (s.month_clas, s.month_domn, s.month_html))


def day_page(report, key, s):
    t = report.days[key]
    return _page("(%d-%d-%d)" % key, "アクセス件数", t,
                 [pages.hour_table(t.hour_count)],
                 (s.days_clas, s.days_domn, s.days_html))


def expected_report(data, run_level, settings=Settings(),
                    organisation=label_organisation):
    """Figures and pages of one run over the log bytes `data`, with
    `organisation` naming each host's organisation (tally.tally_period)."""
    report = Report()
    if not is_access_log(data):
        report.refused = True
        return report
    report.records, report.accepted, report.periods = counted_records(data)
    s = settings
    report.index = tally_period(report.records, s.index_domn, s.index_clas,
                                s.index_html, organisation)
    by_month = _group(report.records, lambda r: (r.year, r.month))
    report.months = {key: tally_period(by_month[key], s.month_domn,
                                       s.month_clas, s.month_html,
                                       organisation)
                     for key in report.periods}
    if run_level == 2:
        by_day = _group(report.records, lambda r: (r.year, r.month, r.day))
        report.days = {key: tally_period(rs, s.days_domn, s.days_clas,
                                         s.days_html, organisation)
                       for key, rs in by_day.items()}
        for key in report.days:
            report.pages["%d-%d-%d.html" % key] = day_page(report, key, s)
    if run_level > 0 and len(report.periods) >= 2:
        for key in report.periods:
            report.pages[label(*key) + ".html"] = month_page(report, key, s)
    report.pages[INDEX_PAGE] = index_page(report, s, run_level)
    return report

