#include "report/json_page.h"

#include <cstdio>

#include "base/decimal.h"
#include "work/file_names.h"

namespace tovex {
namespace {

// The bytes U+FFFD is in UTF-8.
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
constexpr std::string_view kWeekdays[] = {"Sun", "Mon", "Tue", "Wed",
                                          "Thu", "Fri", "Sat"};

// The length of the well-formed UTF-8 sequence at `p`, or 0; `*prefix`
// gets how many of its first bytes fit one (at least 1), the part U+FFFD
// stands for.
size_t SequenceAt(const unsigned char* p, size_t left, size_t* prefix) {
  *prefix = 1;
  const unsigned char c = p[0];
  size_t n;
  unsigned char lo = 0x80, hi = 0xBF;  // the second byte's range
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  for (size_t i = 1; i < n; ++i) {
    const unsigned char min = i == 1 ? lo : 0x80, max = i == 1 ? hi : 0xBF;
    if (i >= left || p[i] < min || p[i] > max) return 0;
    *prefix = i + 1;
  }
  return n;
}

void Number(const char* format, double v, std::string* out) {
  char buf[64];
  const int n = std::snprintf(buf, sizeof buf, format, v);
  if (n > 0) out->append(buf, static_cast<size_t>(n));
}

void Integer(int64_t v, std::string* out) { out->append(DecimalText(v)); }

// "key": then the value's text.
void Key(std::string_view key, std::string* out) {
  out->append("\"").append(key).append("\":");
}

void Field(std::string_view key, int64_t v, std::string* out) {
  Key(key, out);
  Integer(v, out);
  out->push_back(',');
}

void PageName(bool linked, const std::string& name, std::string* out) {
  Key("page", out);
  if (linked) {
    AppendJsonString(name, out);
  } else {
    out->append("null");
  }
}

void Hours(const PageModel& m, std::string* out) {
  Key("hours", out);
  out->push_back('[');
  for (size_t h = 0; h < m.hours.size(); ++h) {
    if (h > 0) out->push_back(',');
    out->append("{\"hour\":");
    Integer(static_cast<int64_t>(h), out);
    out->append(",\"accesses\":");
    Integer(m.hours[h].accesses, out);
    out->push_back('}');
  }
  out->append("],");
}

void Weekdays(const PageModel& m, std::string* out) {
  Key("weekdays", out);
  out->push_back('[');
  for (size_t w = 0; w < m.weekdays.size(); ++w) {
    if (w > 0) out->push_back(',');
    out->append("{\"weekday\":\"").append(kWeekdays[w]).append("\",");
    out->append("\"accesses\":");
    Integer(m.weekdays[w].accesses, out);
    out->push_back('}');
  }
  out->append("],");
}

void Days(const PageModel& m, std::string* out) {
  Key("days", out);
  out->push_back('[');
  for (size_t i = 0; i < m.calendar.size(); ++i) {
    const CalendarDay& d = m.calendar[i];
    if (i > 0) out->push_back(',');
    out->append("{\"day\":");
    Integer(d.day, out);
    out->append(",\"weekday\":\"");
    out->append(d.weekday >= 0 && d.weekday < 7 ? kWeekdays[d.weekday] : "");
    out->append("\",\"accesses\":");
    Integer(d.cell.accesses, out);
    out->push_back(',');
    PageName(d.linked, DayPageName(m.title.year, m.title.month, d.day), out);
    out->push_back('}');
  }
  out->append("],");
}

void Months(const PageModel& m, std::string* out) {
  Key("months", out);
  out->push_back('[');
  for (size_t i = 0; i < m.months.size(); ++i) {
    const MonthRow& r = m.months[i];
    if (i > 0) out->push_back(',');
    out->append("{\"month\":");
    AppendJsonString(PeriodLabel(r.year, r.month), out);
    out->append(",\"accesses\":");
    Integer(r.cell.accesses, out);
    out->push_back(',');
    PageName(r.linked, MonthPageName(r.year, r.month), out);
    out->push_back('}');
  }
  out->append("],");
}

void RankedJson(std::string_view key, const Ranked& ranked, std::string* out) {
  Key(key, out);
  out->append("{\"rows\":");
  Integer(ranked.rows, out);
  out->append(",\"entries\":[");
  for (size_t i = 0; i < ranked.entries.size(); ++i) {
    const RankedRow& r = ranked.entries[i];
    if (i > 0) out->push_back(',');
    out->append("{\"rank\":");
    Integer(r.rank, out);
    out->append(",\"name\":");
    AppendJsonString(r.name.bytes, out);
    out->append(",\"accesses\":");
    Integer(r.accesses, out);
    out->append(",\"share\":");
    Number("%.2f", r.share, out);  // as the page shows it
    out->push_back('}');
  }
  out->append("]}");
}

std::string_view KindName(PageModel::Kind kind) {
  switch (kind) {
    case PageModel::Kind::kIndex:
      return "index";
    case PageModel::Kind::kMonth:
      return "month";
    case PageModel::Kind::kDay:
      break;
  }
  return "day";
}

// The period a page covers, as its title names it; null for the whole log.
void PeriodField(const PageTitle& t, std::string* out) {
  Key("period", out);
  switch (t.kind) {
    case PageTitle::Kind::kWholeLog:
      out->append("null");
      break;
    case PageTitle::Kind::kMonth:
      AppendJsonString(PeriodLabel(t.year, t.month), out);
      break;
    case PageTitle::Kind::kDay:
      AppendJsonString(
          PeriodLabel(t.year, t.month) + "-" + DecimalText(t.day), out);
      break;
  }
  out->push_back(',');
}

}  // namespace

void AppendJsonString(std::string_view bytes, std::string* out) {
  out->push_back('"');
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char c = p[i];
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(static_cast<char>(c));
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out->append(buf);
      ++i;
    } else {
      size_t prefix = 0;
      const size_t n = SequenceAt(p + i, bytes.size() - i, &prefix);
      if (n == 0) {
        out->append(kReplacement);
        i += prefix;
      } else {
        out->append(bytes.substr(i, n));
        i += n;
      }
    }
  }
  out->push_back('"');
}

void AppendPageJson(const PageModel& m, std::string* out) {
  out->append("{\"kind\":\"").append(KindName(m.kind)).append("\",");
  PeriodField(m.title, out);
  Key("file", out);
  AppendJsonString(m.file_name, out);
  out->push_back(',');
  Field("accesses", m.accesses, out);
  Field("visitors", m.visitors, out);
  Key("average", out);
  Number("%.1f", m.average, out);  // as the page shows it
  out->push_back(',');
  Hours(m, out);
  if (m.has_weekdays) Weekdays(m, out);
  if (m.title.kind == PageTitle::Kind::kMonth) Days(m, out);
  if (m.kind == PageModel::Kind::kIndex &&
      m.title.kind != PageTitle::Kind::kMonth) {
    Months(m, out);
  }
  RankedJson("organisations", m.organisations, out);
  out->push_back(',');
  RankedJson("domains", m.domains, out);
  out->push_back(',');
  RankedJson("contents", m.contents, out);
  out->push_back('}');
}

}  // namespace tovex
