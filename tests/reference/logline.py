"""Log input of the reference model: lines, page filter, parser, dates.

Everything here works on bytes. Log text is never decoded: host names and
paths reach the pages byte for byte, so decoding would only invent
differences.
"""

from dataclasses import dataclass

# A line is judged by what a 512-byte fgets buffer would hold of it.
MAX_LINE_BYTES = 511
# Host and path copies stop here so that they fit a 122-byte field.
MAX_TEXT_BYTES = 121
# A date component longer than the 128-byte scratch area makes a line bad.
MAX_COMPONENT_BYTES = 127
# The years whose labels and calendars make sense.
MIN_YEAR, MAX_YEAR = 1, 9999
INT_MIN, INT_MAX = -(2**31), 2**31 - 1

MONTH_NAMES = (b"Jan", b"Feb", b"Mar", b"Apr", b"May", b"Jun",
               b"Jul", b"Aug", b"Sep", b"Oct", b"Nov", b"Dec")
# The page filter's pattern: one dash, then two blanks (a user name passes).
REQUEST_PATTERN = b" -  [//:::] "
# The format check's pattern: ident and user must both be dashes.
LOG_LINE_PATTERN = b" - - [//:::] "
DIRECTORY_MARKER = b"/ "
PAGE_PRECHECK = b"htm"
PAGE_SUFFIXES = (b".htm ", b".html ", b".shtm ", b".shtml ")
# The bytes C's isspace() knows; host and path end at the first of them.
WHITESPACE = b" \t\n\v\f\r"
# How many lines the format check looks at.
CHECKED_LINES = 5
# A virtual host's port has at most this many digits.
MAX_PORT_DIGITS = 5


@dataclass(frozen=True)
class LogRecord:
    host: bytes
    path: bytes
    year: int
    month: int
    day: int
    hour: int
    weekday: int


def log_lines(data):
    """Yields the lines of a log as the program's reader sees them.

    A line keeps its line end ("\\n", with a "\\r" before it when the file has
    one). A physical line longer than 511 bytes counts once, by its first
    511 bytes; its tail is dropped rather than read as a line of its own.
    A NUL byte ends the line's content.
    """
    pos, size = 0, len(data)
    while pos < size:
        end = data.find(b"\n", pos)
        end = size if end < 0 else end + 1
        line = data[pos:end][:MAX_LINE_BYTES]
        nul = line.find(b"\0")
        yield line if nul < 0 else line[:nul]
        pos = end


def days_in_month(year, month):
    if month in (1, 3, 5, 7, 8, 10, 12):
        return 31
    if month in (4, 6, 9, 11):
        return 30
    if month == 2:
        leap = (year % 4 == 0 and year % 100 != 0) or year % 400 == 0
        return 29 if leap else 28
    return -1


def _c_div(a, b):
    """Integer division truncating toward zero, as C does."""
    q = abs(a) // abs(b)
    return q if (a >= 0) == (b >= 0) else -q


def weekday_of(year, month, day):
    """0 = Sunday .. 6 = Saturday, -1 for a day beyond the month."""
    if day > days_in_month(year, month):
        return -1
    if month in (1, 2):
        month += 12
        year -= 1
    value = (year + _c_div(year, 4) - _c_div(year, 100) + _c_div(year, 400)
             + _c_div(13 * month + 8, 5) + day)
    return value - 7 * _c_div(value, 7)  # C's %, sign of the dividend


def c_atoi(text):
    """atoi that saturates: a huge year must not wrap back into range."""
    i, n = 0, len(text)
    while i < n and text[i] in WHITESPACE:
        i += 1
    sign = 1
    if i < n and text[i] in b"+-":
        sign = -1 if text[i] == ord("-") else 1
        i += 1
    value = 0
    while i < n and 0x30 <= text[i] <= 0x39:
        value = value * 10 + text[i] - 0x30
        i += 1
    return max(INT_MIN, min(INT_MAX, sign * value))


def _subsequence_end(line, pattern):
    """Index just past the byte that completes pattern as an ordered
    (not necessarily adjacent) subsequence of line, or -1."""
    pos = 0
    for char in pattern:
        found = line.find(bytes((char,)), pos)
        if found < 0:
            return -1
        pos = found + 1
    return pos


def vhost_prefix_length(line):
    """Length of the "name:port " that Apache's vhost_combined writes before
    a common-log line, or 0. The line is judged on what follows it."""
    first, blank, rest = line.partition(b" ")
    if not blank or len(first) > MAX_TEXT_BYTES:
        return 0
    name, colon, port = first.rpartition(b":")
    if (not colon or not name or not port.isdigit()
            or len(port) > MAX_PORT_DIGITS
            or any(c in WHITESPACE for c in name)):
        return 0
    # Then client, ident and user, each ended by one blank, and the "[".
    fields = rest.split(b"[", 1)[0].split(b" ")
    if b"[" not in rest or len(fields) != 4 or fields[3] or not all(fields[:3]):
        return 0
    return len(first) + 1


def is_page_request(line):
    line = line[vhost_prefix_length(line):]
    rest_start = _subsequence_end(line, REQUEST_PATTERN)
    if rest_start < 0:
        return False
    rest = line[rest_start:]
    if DIRECTORY_MARKER in rest:
        return True
    if PAGE_PRECHECK not in rest:
        return False
    return any(suffix in rest for suffix in PAGE_SUFFIXES)


def looks_like_log_line(line):
    return _subsequence_end(line, LOG_LINE_PATTERN) >= 0


def is_access_log(data):
    """The five-line check the program runs before any job."""
    checked = 0
    for line in log_lines(data):
        if checked == CHECKED_LINES:
            break
        if not looks_like_log_line(line):
            return False
        checked += 1
    return checked > 0


def _copy_text(line, start):
    """A host or path: up to the first whitespace byte, at most 121 bytes."""
    end = start
    limit = min(len(line), start + MAX_TEXT_BYTES)
    while end < limit and line[end] not in WHITESPACE:
        end += 1
    return line[start:end], end


def _component(line, start, delimiter):
    """(text, position after the delimiter), or None when the delimiter is
    missing or the text would not fit the parser's scratch area."""
    end = line.find(delimiter, start)
    if end < 0 or end - start > MAX_COMPONENT_BYTES:
        return None
    return line[start:end], end + 1


def parse_log_line(line):
    """The LogRecord of an accepted line, or None when the line must not be
    counted (bad date, empty host, or a scan that would leave the line)."""
    line = line[vhost_prefix_length(line):]
    host, cursor = _copy_text(line, 0)
    if not host:
        return None
    bracket = line.find(b"[", cursor)
    if bracket < 0:
        return None
    cursor = bracket + 1
    parts = []
    for delimiter in (b"/", b"/", b":", b":"):
        part = _component(line, cursor, delimiter)
        if part is None:
            return None
        text, cursor = part
        parts.append(text)
    day_text, month_text, year_text, hour_text = parts
    if month_text not in MONTH_NAMES:
        return None
    month = MONTH_NAMES.index(month_text) + 1
    day, year, hour = c_atoi(day_text), c_atoi(year_text), c_atoi(hour_text)
    if not MIN_YEAR <= year <= MAX_YEAR or not 0 <= hour <= 23:
        return None
    if not 1 <= day <= days_in_month(year, month):
        return None
    close = line.find(b"]", cursor)
    # The request starts two bytes past "]"; that step must stay in the line.
    if close < 0 or close + 2 > len(line):
        return None
    slash = line.find(b"/", close + 2)
    if slash < 0:
        return None
    path, _ = _copy_text(line, slash)
    return LogRecord(host, path, year, month, day, hour,
                     weekday_of(year, month, day))
