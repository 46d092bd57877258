"""The markup of the report pages, block by block, as exact bytes.

Literals are Shift-JIS (code page 932). Texts from the log are bytes and are
only HTML-escaped, never re-encoded.
"""

from .logline import days_in_month, weekday_of
from .tally import bar_length

WEEKDAY_NAMES = ("Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat")
BAR_CHAR = "━"
BLANK_BAR = "　"
BR = "<BR>\n"
TITLE = "アクセスログ解析"


def sjis(text):
    return text.encode("cp932")


def escape(text):
    """Log bytes made safe inside a page: & < > " only."""
    return (text.replace(b"&", b"&amp;").replace(b"<", b"&lt;")
            .replace(b">", b"&gt;").replace(b'"', b"&quot;"))


def page_head(suffix):
    """suffix: "" or "(label)"; the title and heading carry the same."""
    return sjis("<HTML>\n<HEAD>\n"
                f"<TITLE>{TITLE}{suffix}</TITLE>\n"
                "</HEAD>\n"
                '<BODY TEXT="#0F0000" BGCOLOR="#90D0D0">\n'
                "<CENTER>\n")


def title_table(suffix):
    return sjis('<TABLE BORDER=4 WIDTH="300" BGCOLOR="#90D0D0" >\n'
                '<TR ALIGN=CENTER BGCOLOR="D09090">\n'
                f"<TH>{TITLE}{suffix}</TH></TR>\n"
                "</TABLE>\n")


def count_table(heading, total):
    return sjis('<TABLE BORDER WIDTH="300" BGCOLOR="#90D0D0" >\n'
                '<TR ALIGN=CENTER BGCOLOR="#90D090">\n'
                f"<TH>{heading}</TH></TR>\n"
                "<TR ALIGN=CENTER>\n"
                f"<TD>{total}</TD></TR>\n"
                "</TABLE>\n")


def visitor_table(visitors, total):
    average = total / visitors if visitors else 0.0
    return sjis('<TABLE BORDER WIDTH="300" BGCOLOR="#90D0D0" >\n'
                '<TR ALIGN=CENTER BGCOLOR="#90D090">\n'
                "<TH COLSPAN=2>来訪者状況</TH></TR>\n"
                "<TR>\n"
                '<TD ALIGN=CENTER WIDTH="150" BGCOLOR="#90D090">来訪者数</TD>\n'
                '<TD ALIGN=CENTER WIDTH="150" BGCOLOR="#90D090">平均アクセス数'
                "</TD></TR>\n"
                "<TR ALIGN=CENTER>\n"
                f"<TD>{visitors}</TD>\n"
                "<TD>%6.1f</TD></TR>\n"
                "</TABLE>\n" % average)


def bar_cell(value, maximum):
    bars = bar_length(value, maximum)
    return sjis('<TD><FONT COLOR="#0000FF">'
                + (BAR_CHAR * bars if bars else BLANK_BAR)
                + "</FONT></TD>\n")


ACCESS_HEADING = ('<TD ALIGN=CENTER WIDTH="70" BGCOLOR="#90D090">'
                  "<B>ｱｸｾｽ</B></TD>\n")
GRAPH_HEADING = '<TD ALIGN=CENTER BGCOLOR="#90D090"><B>グラフ</B></TD>\n'


def _heading_cell(text, width):
    return (f'<TD ALIGN=CENTER WIDTH="{width}" BGCOLOR="#90D090">'
            f"<B>{text}</B></TD>\n")


def graph_table(width, caption, headings, rows):
    """rows: [(leading cells as bytes, value)]; the bar maximum is taken
    over exactly these rows."""
    maximum = max((value for _, value in rows), default=0)
    out = [sjis(f'<TABLE BORDER WIDTH="{width}" BGCOLOR="#90D0D0" >\n'
                '<TR ALIGN=CENTER BGCOLOR="#90D090">\n'
                f"{caption}"
                "<TR>\n"
                f"{headings}"
                "</TR>\n")]
    for leading, value in rows:
        out.append(b"<TR>\n" + leading
                   + b"<TD ALIGN=RIGHT>%d</TD>\n" % value
                   + bar_cell(value, maximum) + b"</TR>\n")
    out.append(b"</TABLE>\n")
    return b"".join(out)


def calendar_table(year, month, day_count, linked_days):
    """linked_days: the days whose page exists, so whose cell links."""
    rows = []
    for d in range(1, days_in_month(year, month) + 1):
        if d in linked_days:
            day_cell = (b'<TD ALIGN=CENTER><A HREF="%d-%d-%d.html">%d</A></TD>\n'
                        % (year, month, d, d))
        else:
            day_cell = b"<TD ALIGN=CENTER>%d</TD>\n" % d
        name = WEEKDAY_NAMES[weekday_of(year, month, d)]
        rows.append((day_cell + sjis(f"<TD ALIGN=CENTER>{name}</TD>\n"),
                     day_count[d]))
    return graph_table(520, "<TH COLSPAN=4>日別アクセス状況</TH></TR>\n",
                       _heading_cell("日", 50) + _heading_cell("曜", 50)
                       + ACCESS_HEADING + GRAPH_HEADING, rows)


def hour_table(hour_count):
    rows = [(b"<TD ALIGN=CENTER>%d</TD>\n" % h, hour_count[h])
            for h in range(24)]
    return graph_table(470, "<TH COLSPAN=3>時間帯別アクセス状況</TH></TR>\n",
                       _heading_cell("時間", 50) + ACCESS_HEADING
                       + GRAPH_HEADING, rows)


def weekday_table(weekday_count):
    rows = [(sjis(f"<TD ALIGN=CENTER>{WEEKDAY_NAMES[w]}</TD>\n"),
             weekday_count[w]) for w in range(7)]
    return graph_table(470, "<TH COLSPAN=3>曜日別アクセス状況</TH></TR>\n",
                       _heading_cell("曜日", 50) + ACCESS_HEADING
                       + GRAPH_HEADING, rows)


def month_table(periods, linked):
    """periods: [(label, count)] in table order; linked: run level above 0."""
    rows = []
    for label, count in periods:
        if linked:
            cell = f'<TD ALIGN=CENTER><A HREF="{label}.html">{label}</A></TD>\n'
        else:
            cell = f"<TD ALIGN=CENTER>{label}</TD>\n"
        rows.append((sjis(cell), count))
    return graph_table(520, "<TH COLSPAN=3>月別アクセス状況</TH></TR>\n",
                       _heading_cell("月", 100) + ACCESS_HEADING
                       + GRAPH_HEADING, rows)


RANKING_KINDS = {
    "organisations": ("組織別アクセス状況", "組織"),
    "domains": ("ドメイン別アクセス状況", "ドメイン"),
    "contents": ("コンテンツ別アクセス状況", "コンテンツ"),
}


def ranking_table(kind, rows, entries, total):
    caption, name = RANKING_KINDS[kind]
    out = [sjis('<TABLE BORDER BGCOLOR="#90D0D0" >\n'
                '<TR ALIGN=CENTER BGCOLOR="#90D090">\n'
                f"<TH COLSPAN=4>{caption}(上位 {rows})</TH></TR>\n"
                "<TR>\n"
                + _heading_cell("No.", 25)
                + f'<TD ALIGN=CENTER BGCOLOR="#90D090"><B>{name}</B></TD>\n'
                + ACCESS_HEADING
                + _heading_cell("割合(％)", 70)
                + "</TR>\n")]
    for rank, (text, count) in enumerate(entries[:rows], start=1):
        if count == 0:
            break
        out.append(b"<TR>\n<TD ALIGN=CENTER>%d</TD>\n" % rank
                   + b"<TD ALIGN=LEFT>" + escape(text) + b"</TD>\n"
                   + b"<TD ALIGN=RIGHT>%d</TD>\n" % count
                   + b"<TD ALIGN=CENTER>%4.2f</TD>\n" % (count * 100.0 / total)
                   + b"</TR>\n")
    out.append(b"</TABLE>\n")
    return b"".join(out)


def rankings(tally, clas_rows, domn_rows, html_rows):
    return (ranking_table("organisations", clas_rows, tally.organisations,
                          tally.total) + sjis(BR)
            + ranking_table("domains", domn_rows, tally.domains, tally.total)
            + sjis(BR)
            + ranking_table("contents", html_rows, tally.contents,
                            tally.total))


def page_foot():
    return b"</CENTER>\n</BODY>\n</HTML>\n"


def join_tables(*tables):
    """Tables separated by <BR>; the last ranking table has none after it."""
    return sjis(BR).join(tables)
