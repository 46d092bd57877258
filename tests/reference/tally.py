"""Counting and ranking of one period, as a page sees it.

The program counts runs in work files sorted by whole record line
("name day hour weekday\\n", unsigned bytes). Sorting the same record lines
in memory gives the same runs in the same order, and that order decides
every tie in the rankings, so the record lines are rebuilt exactly.
"""

from dataclasses import dataclass, field

# Rank tables hold 50 rows; a page shows its row setting's worth of them.
RANK_TABLE_ROWS = 50
# The bar of the largest value in a graph table.
BAR_WIDTH = 20


@dataclass
class PeriodTally:
    day_count: list = field(default_factory=lambda: [0] * 32)
    hour_count: list = field(default_factory=lambda: [0] * 24)
    weekday_count: list = field(default_factory=lambda: [0] * 7)
    total: int = 0
    visitors: int = 0
    domains: list = field(default_factory=list)        # [(text, count)]
    organisations: list = field(default_factory=list)  # [(text, count)]
    contents: list = field(default_factory=list)       # [(text, count)]


def record_line(name, record):
    return b"%s %d %d %d\n" % (name, record.day, record.hour, record.weekday)


def insert_ranked(table, text, count):
    """Offers one run to a table of N rows kept in descending count order.
    Ties keep the earlier offer ahead; a full table ignores a mere tie."""
    last = len(table) - 1
    if count <= table[last][1]:
        return False
    table[last] = (text, count)
    p = last
    while p >= 1 and table[p][1] > table[p - 1][1]:
        table[p], table[p - 1] = table[p - 1], table[p]
        p -= 1
    return True


def sort_top_entries(entries, k):
    """The program's exchange sort of the first k positions; its order among
    equal counts differs from a stable sort and is reproduced on purpose."""
    for i in range(min(k, len(entries))):
        for j in range(i + 1, len(entries)):
            if entries[i][1] < entries[j][1]:
                entries[i], entries[j] = entries[j], entries[i]
    return entries


def organisation_of(host):
    """The last two labels of a host name, or the whole name."""
    last = host.rfind(b".")
    second_last = host.rfind(b".", 0, last) if last > 0 else -1
    return host if second_last < 0 else host[second_last + 1:]


def is_organisation_name(text):
    """False for the "y.z" tail of a numeric address: exactly one non-digit."""
    return sum(1 for b in text if not 0x30 <= b <= 0x39) != 1


def _runs(sorted_lines):
    """(text, count) of each run of equal names, in sorted order."""
    runs = []
    for _, name in sorted_lines:
        if runs and runs[-1][0] == name:
            runs[-1][1] += 1
        else:
            runs.append([name, 1])
    return runs


def _rank(runs, rows):
    table = [(b"", 0)] * rows
    for text, count in runs:
        insert_ranked(table, text, count)
    return [entry for entry in table if entry[1] > 0]


def label_organisation(host):
    """The organisation of `host` by its last two labels; None for an
    address."""
    org = organisation_of(host)
    if not is_organisation_name(org) or b":" in host:
        return None
    return org


def tally_period(records, domain_rows, organisation_rows, content_rows,
                 organisation=label_organisation):
    """The figures of one page over the given records (any order);
    `organisation` names a host's organisation (None: it counts for none)."""
    t = PeriodTally()
    hosts = sorted((record_line(r.host, r), r.host) for r in records)
    organisation_index = {}
    organisations = []
    for r in records:
        t.day_count[r.day] += 1
        t.hour_count[r.hour] += 1
        t.weekday_count[r.weekday] += 1
    # Organisations are numbered in the order the sorted host file meets
    # them; that first-met order decides ties after the exchange sort.
    for _, host in hosts:
        org = organisation(host)
        if org is None:
            continue
        if org in organisation_index:
            organisations[organisation_index[org]][1] += 1
        else:
            organisation_index[org] = len(organisations)
            organisations.append([org, 1])
    host_runs = _runs(hosts)
    t.visitors = len(host_runs)
    t.domains = _rank(host_runs, domain_rows)
    entries = [tuple(e) for e in organisations]
    sort_top_entries(entries, organisation_rows)
    t.organisations = entries[:organisation_rows]
    paths = sorted((record_line(r.path, r), r.path) for r in records)
    t.contents = _rank(_runs(paths), content_rows)
    t.total = sum(t.hour_count)
    return t


def bar_length(value, maximum):
    return 0 if maximum == 0 else value * BAR_WIDTH // maximum
