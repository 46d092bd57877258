#include "history/state.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

#include "base/calendar.h"
#include "base/decimal.h"
#include "log/line_reader.h"

namespace tovex {
namespace {

constexpr std::string_view kFirstWord = "tovex-history";
// A line of the state: a month's cells are its longest, 744 at most.
constexpr size_t kMaxStateLineBytes = 64 * 1024;
// Read block of the state file.
constexpr size_t kStateReadBytes = 64 * 1024;
constexpr std::string_view kNamesSuffix = ".tvx";
constexpr char kHex[] = "0123456789abcdef";

// Texts go in escaped, so that a field never holds a blank.
std::string Escape(std::string_view text) {
  std::string out;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= ' ' || c == '%' || c >= 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out.empty() ? "%" : out;  // "%" alone: an empty text
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Unescape(std::string_view field, std::string* out) {
  out->clear();
  if (field == "%") return true;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      *out += field[i];
      continue;
    }
    if (i + 2 >= field.size()) return false;
    const int hi = HexDigit(field[i + 1]), lo = HexDigit(field[i + 2]);
    if (hi < 0 || lo < 0) return false;
    *out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

std::string Hex(std::string_view bytes) {
  std::string out;
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out.empty() ? "-" : out;
}

bool Unhex(std::string_view field, std::string* out) {
  out->clear();
  if (field == "-") return true;
  if (field.size() % 2 != 0) return false;
  for (size_t i = 0; i < field.size(); i += 2) {
    const int hi = HexDigit(field[i]), lo = HexDigit(field[i + 1]);
    if (hi < 0 || lo < 0) return false;
    *out += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

template <typename T>
bool Number(std::string_view field, T* value) {
  const char* end = field.data() + field.size();
  auto [p, ec] = std::from_chars(field.data(), end, *value);
  return ec == std::errc() && p == end && !field.empty();
}

// The fields of a line.
std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t at = 0;
  while (at < line.size()) {
    const size_t blank = line.find(' ', at);
    const size_t end = blank == std::string_view::npos ? line.size() : blank;
    fields.push_back(line.substr(at, end - at));
    at = end + 1;
  }
  return fields;
}

bool ValidRows(const RowGroup& r) {
  for (int n : {r.domains, r.contents, r.organisations}) {
    if (n < 1 || n > kMaxRankRows) return false;
  }
  return true;
}

// Reads the lines of a state file one by one.
class StateParser {
 public:
  StateParser(HistoryState* state, PeriodTable* periods)
      : s_(state), periods_(periods) {}

  // False for a line that is not what the state may hold here.
  bool Line(std::string_view line) {
    const std::vector<std::string_view> f = Fields(line);
    if (f.empty() || ended_) return false;
    const std::string_view what = f[0];
    if (!begun_) return what == kFirstWord && f.size() == 2 && Format(f[1]);
    if (what == "options" && f.size() == 2) return Unescape(f[1], &s_->options);
    if (what == "lines" && f.size() == 4) {
      return Number(f[1], &s_->lines_read) &&
             Number(f[2], &s_->lines_counted) &&
             Number(f[3], &s_->lines_left_out) && s_->lines_read >= 0 &&
             s_->lines_counted >= 0 && s_->lines_left_out >= 0;
    }
    if (what == "generation" && f.size() == 2) {
      return Number(f[1], &s_->generation);
    }
    if (what == "published" && f.size() == 15) return Published(f);
    if (what == "whole" && f.size() == 2) {
      return IsNamesFileName(f[1]) && (s_->whole_file = f[1], true);
    }
    if (what == "delta" && f.size() == 2) {
      // Each set counts once: a name given twice would count its names
      // twice.
      const std::vector<std::string>& d = s_->delta_files;
      if (s_->whole_file.empty() || !IsNamesFileName(f[1]) ||
          f[1] == s_->whole_file ||
          std::find(d.begin(), d.end(), f[1]) != d.end()) {
        return false;
      }
      s_->delta_files.emplace_back(f[1]);
      return true;
    }
    if (what == "period" && f.size() == 3) return Period(f);
    if (what == "cells") return Cells(f);
    if (what == "days") return Days(f);
    if (what == "stream" && f.size() == 10) return Stream(f);
    if (what == "end" && f.size() == 1) return ended_ = true;
    return false;
  }

  bool ended() const { return ended_; }
  bool newer() const { return newer_; }

 private:
  bool Format(std::string_view field) {
    int format = 0;
    if (!Number(field, &format)) return false;
    newer_ = format > kHistoryFormat;
    return begun_ = format == kHistoryFormat;
  }

  bool Published(const std::vector<std::string_view>& f) {
    PublishedRecord& p = s_->published;
    int json = 0;
    RowGroup* rows[] = {&p.index_rows, &p.month_rows, &p.day_rows};
    for (size_t i = 0; i < 3; ++i) {
      if (!Number(f[2 + 3 * i], &rows[i]->domains) ||
          !Number(f[3 + 3 * i], &rows[i]->contents) ||
          !Number(f[4 + 3 * i], &rows[i]->organisations) ||
          !ValidRows(*rows[i])) {
        return false;
      }
    }
    p.any = true;
    return Number(f[1], &p.run_level) && p.run_level >= 0 &&
           p.run_level <= 2 && Number(f[11], &p.output.device) &&
           Number(f[12], &p.output.inode) && Number(f[13], &json) &&
           json >= 0 && json <= 1 && (p.json = json == 1, f[14] == "-");
  }

  bool Period(const std::vector<std::string_view>& f) {
    int year = 0, month = 0;
    if (!Number(f[1], &year) || !Number(f[2], &month) || year < 1 ||
        year > 9999 || month < 1 || month > 12 ||
        periods_->Find(year, month) >= 0 || periods_->Add(year, month) < 0) {
      return false;
    }
    s_->periods.push_back({year, month, {}});
    return true;
  }

  // "cells DAY:HOUR:COUNT ..." of the last month.
  bool Cells(const std::vector<std::string_view>& f) {
    if (s_->periods.empty()) return false;
    const PeriodRecord& p = s_->periods.back();
    for (size_t i = 1; i < f.size(); ++i) {
      const std::vector<std::string_view> dhn = Split(f[i], ':');
      int day = 0, hour = 0;
      int64_t n = 0;
      if (dhn.size() != 3 || !Number(dhn[0], &day) || !Number(dhn[1], &hour) ||
          !Number(dhn[2], &n) || day < 1 ||
          day > DaysInMonth(p.year, p.month) || hour < 0 || hour > 23 ||
          n <= 0) {
        return false;
      }
      periods_->Preload(periods_->size() - 1, day, hour, n);
    }
    return true;
  }

  // "days DAY=FILE ..." of the last month.
  bool Days(const std::vector<std::string_view>& f) {
    if (s_->periods.empty()) return false;
    PeriodRecord& p = s_->periods.back();
    for (size_t i = 1; i < f.size(); ++i) {
      const std::vector<std::string_view> df = Split(f[i], '=');
      int day = 0;
      if (df.size() != 2 || !Number(df[0], &day) || day < 1 ||
          day > DaysInMonth(p.year, p.month) || !IsNamesFileName(df[1])) {
        return false;
      }
      p.day_files[static_cast<size_t>(day)] = std::string(df[1]);
    }
    return true;
  }

  bool Stream(const std::vector<std::string_view>& f) {
    StreamRecord r;
    if (!Number(f[1], &r.head_size) || r.head_size > kIdentityBytes ||
        !Number(f[2], &r.head_hash) || !Number(f[3], &r.offset) ||
        !Number(f[4], &r.crc) || !Unhex(f[5], &r.check) ||
        r.check.size() > kCheckBytes || r.check.size() > r.offset ||
        !Date(f[6], &r.date) || !Number(f[7], &r.first_month) ||
        !Number(f[8], &r.last_month) || !Unescape(f[9], &r.name)) {
      return false;
    }
    s_->streams.push_back(std::move(r));
    return true;
  }

  static bool Date(std::string_view field, std::optional<InputDate>* date) {
    if (field == "-") return true;
    const std::vector<std::string_view> p = Split(field, '-');
    InputDate d;
    if (p.size() != 4 || !Number(p[0], &d.year) || !Number(p[1], &d.month) ||
        !Number(p[2], &d.day) || !Number(p[3], &d.hour)) {
      return false;
    }
    *date = d;
    return true;
  }

  static std::vector<std::string_view> Split(std::string_view s, char c) {
    std::vector<std::string_view> parts;
    size_t at = 0;
    while (true) {
      const size_t next = s.find(c, at);
      parts.push_back(s.substr(at, next - at));
      if (next == std::string_view::npos) return parts;
      at = next + 1;
    }
  }

  HistoryState* s_;
  PeriodTable* periods_;
  bool begun_ = false;
  bool ended_ = false;
  bool newer_ = false;
};

}  // namespace

bool IsNamesFileName(std::string_view name) {
  if (!name.ends_with(kNamesSuffix) || name.size() > 64) return false;
  const size_t dot = name.find('.');
  if (dot == 0 || dot == std::string_view::npos) return false;
  for (size_t i = 0; i < dot; ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
  }
  for (char c : name.substr(dot)) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                    c == '-' || c == '.';
    if (!ok) return false;
  }
  return true;
}

Status ReadState(ReadableFile* file, const std::string& path,
                 HistoryState* state, PeriodTable* periods) {
  StateParser parser(state, periods);
  LineReader lines(file, kMaxStateLineBytes, LongLines::kDropRest,
                   kStateReadBytes + kMaxStateLineBytes);
  std::string_view line;
  int64_t number = 0;
  while (lines.Next(&line)) {
    ++number;
    if (line.empty() || line.back() != '\n') {
      return Status::CannotRead(path, "damaged: cut short or line too long");
    }
    if (!parser.Line(line.substr(0, line.size() - 1))) {
      if (parser.newer()) {
        return Status::CannotRead(path,
                                  "written by a newer tovex (format " +
                                      std::string(line.substr(14, 4)) + ")");
      }
      return Status::CannotRead(
          path, "damaged at line " + DecimalText(number));
    }
  }
  if (!file->error().empty()) return Status::CannotRead(path, file->error());
  if (!parser.ended()) return Status::CannotRead(path, "damaged: cut short");
  return Status::Ok();
}

Status WriteState(const HistoryState& s, const PeriodTable& periods,
                  WritableFile* file, const std::string& path) {
  bool ok = true;
  std::string out;
  auto line = [&](const std::string& text) {
    out = text;
    out += '\n';
    ok = ok && file->Write(out.data(), out.size());
  };
  line(std::string(kFirstWord) + " " + DecimalText(kHistoryFormat));
  line("options " + Escape(s.options));
  line("lines " + DecimalText(s.lines_read) + " " +
       DecimalText(s.lines_counted) + " " + DecimalText(s.lines_left_out));
  line("generation " + std::to_string(s.generation));
  if (s.published.any) {
    const PublishedRecord& p = s.published;
    std::string text = "published " + DecimalText(p.run_level);
    for (const RowGroup* r : {&p.index_rows, &p.month_rows, &p.day_rows}) {
      text += " " + DecimalText(r->domains) + " " + DecimalText(r->contents) +
              " " + DecimalText(r->organisations);
    }
    line(text + " " + std::to_string(p.output.device) + " " +
         std::to_string(p.output.inode) + " " + (p.json ? "1" : "0") + " -");
  }
  if (!s.whole_file.empty()) line("whole " + s.whole_file);
  for (const std::string& f : s.delta_files) line("delta " + f);
  for (size_t i = 0; i < s.periods.size(); ++i) {
    const PeriodRecord& r = s.periods[i];
    const Period& p = periods.at(static_cast<int>(i));
    line("period " + DecimalText(r.year) + " " + DecimalText(r.month));
    std::string cells = "cells", days = "days";
    for (int d = 1; d <= 31; ++d) {
      for (int h = 0; h < 24 && p.cells; ++h) {
        const int64_t n =
            (*p.cells)[static_cast<size_t>(d)][static_cast<size_t>(h)];
        if (n > 0) {
          cells.append(" ").append(DecimalText(d)).append(":");
          cells.append(DecimalText(h)).append(":").append(DecimalText(n));
        }
      }
      const std::string& f = r.day_files[static_cast<size_t>(d)];
      if (!f.empty()) days.append(" ").append(DecimalText(d)).append("=") += f;
    }
    line(cells);
    line(days);
  }
  for (const StreamRecord& r : s.streams) {
    std::string date = "-";
    if (r.date) {
      date = DecimalText(r.date->year) + "-" + DecimalText(r.date->month) +
             "-" + DecimalText(r.date->day) + "-" + DecimalText(r.date->hour);
    }
    line("stream " + std::to_string(r.head_size) + " " +
         std::to_string(r.head_hash) + " " + std::to_string(r.offset) + " " +
         std::to_string(r.crc) + " " + Hex(r.check) + " " + date + " " +
         DecimalText(r.first_month) + " " + DecimalText(r.last_month) + " " +
         Escape(r.name));
  }
  line("end");
  if (!file->Close() || !ok) return Status::CannotWrite(path, file->error());
  return Status::Ok();
}

}  // namespace tovex
