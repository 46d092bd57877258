"""Several inputs read as one log, as a run reads them.

Empty inputs (no bytes once decompressed) are passed over; every other one
must pass the five-line check on its own; they are read oldest first, by
the year, month, day and hour of their first counted line (ties in the
order given, inputs without one last); each ends with a line end of its
own. gzip inputs are known by their first two bytes.
"""

import gzip

from .logline import is_access_log, is_page_request, log_lines, parse_log_line

GZIP_MAGIC = b"\x1f\x8b"


def _first_date(data):
    for line in log_lines(data):
        if is_page_request(line):
            r = parse_log_line(line)
            if r is not None:
                return (r.year, r.month, r.day, r.hour)
    return None


def joined_log(parts):
    """The log bytes that `parts` (the inputs' bytes, in the order given)
    stand for, or None when the run refuses them."""
    kept = []
    for part in parts:
        data = gzip.decompress(part) if part[:2] == GZIP_MAGIC else part
        if not data:
            continue
        if not is_access_log(data):
            return None
        kept.append((_first_date(data), data))
    if not kept:
        return None
    dated = sorted((k for k in kept if k[0] is not None), key=lambda k: k[0])
    ordered = dated + [k for k in kept if k[0] is None]
    return b"".join(d if d.endswith(b"\n") else d + b"\n"
                    for _, d in ordered)
