#include "report/page_builder.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstdio>

#include "base/decimal.h"

namespace tovex {
namespace {

// A page is a few tens of kilobytes; one reservation covers most pages.
constexpr size_t kPageReserveBytes = 32 * 1024;

}  // namespace

void AppendEscaped(std::string_view text, std::string* out) {
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    std::string_view entity;
    switch (text[i]) {
      case '&':
        entity = "&amp;";
        break;
      case '<':
        entity = "&lt;";
        break;
      case '>':
        entity = "&gt;";
        break;
      case '"':
        entity = "&quot;";
        break;
      default:
        continue;
    }
    out->append(text.substr(start, i - start));
    out->append(entity);
    start = i + 1;
  }
  out->append(text.substr(start));
}

namespace {

// The bytes of the well-formed UTF-8 character outside ASCII at the start
// of `s`, or 0. The bounds of the second byte rule out overlong forms,
// surrogates and code points past U+10FFFF.
size_t Utf8CharBytes(std::string_view s) {
  const auto byte = [&s](size_t i) { return static_cast<uint8_t>(s[i]); };
  if (s.empty()) return 0;
  const uint8_t lead = byte(0);
  size_t n = 0;
  uint8_t low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  for (size_t i = 1; i < n; ++i, low = 0x80, high = 0xBF) {
    if (byte(i) < low || byte(i) > high) return 0;
  }
  return n;
}

// Appends the Shift-JIS form of `run`, well-formed characters outside
// ASCII: at once where every one has a form, else one by one. Escaped all
// the same, though no Shift-JIS character holds a byte that needs it.
void AppendShiftJisRun(std::string_view run, Encoder* encoder,
                       std::string* out) {
  std::string converted;
  if (encoder->ToShiftJis(run, &converted)) {
    AppendEscaped(converted, out);
    return;
  }
  while (!run.empty()) {
    const std::string_view c = run.substr(0, Utf8CharBytes(run));
    AppendEscaped(encoder->ToShiftJis(c, &converted) ? converted : c, out);
    run.remove_prefix(c.size());
  }
}

}  // namespace

void AppendShiftJisPath(std::string_view path, Encoder* encoder,
                        std::string* out) {
  while (!path.empty()) {
    size_t run = 0;
    for (size_t n; (n = Utf8CharBytes(path.substr(run))) > 0;) run += n;
    if (run > 0) {
      AppendShiftJisRun(path.substr(0, run), encoder, out);
      path.remove_prefix(run);
      continue;
    }
    // ASCII, and bytes of no well-formed character, up to the next run.
    size_t other = 1;
    while (other < path.size() && Utf8CharBytes(path.substr(other)) == 0) {
      ++other;
    }
    AppendEscaped(path.substr(0, other), out);
    path.remove_prefix(other);
  }
}

PageBuilder::PageBuilder(const PageText& text, Encoder* path_encoder)
    : text_(text), path_encoder_(path_encoder) {
  page_.reserve(kPageReserveBytes);
}

void PageBuilder::Put(Text t, std::initializer_list<Arg> args) {
  std::string_view s = text_[t];
  const Arg* next = args.begin();
  size_t pos = 0;
  for (size_t pct; (pct = s.find('%', pos)) != std::string_view::npos;) {
    page_.append(s.substr(pos, pct - pos));
    size_t end = s.find_first_of("dfs", pct + 1);
    assert(end != std::string_view::npos && next != args.end());
    if (end == std::string_view::npos) return;
    if (next != args.end()) PutArg(s.substr(pct, end + 1 - pct), *next++);
    pos = end + 1;
  }
  page_.append(s.substr(pos));
  assert(next == args.end());
}

void PageBuilder::PutArg(std::string_view conversion, const Arg& arg) {
  switch (conversion.back()) {
    case 'd': {  // "%d" and "%ld" alike: the values are 64-bit here
      assert(arg.kind_ == Arg::Kind::kInteger);
      char buf[kMaxDecimalBytes];
      page_.append(buf, AppendDecimal(buf, arg.integer_));
      return;
    }
    case 's':
      assert(arg.kind_ == Arg::Kind::kOwnText ||
             arg.kind_ == Arg::Kind::kLogText ||
             arg.kind_ == Arg::Kind::kLogPath);
      if (arg.kind_ == Arg::Kind::kOwnText) {
        page_.append(arg.text_);
      } else if (arg.kind_ == Arg::Kind::kLogPath && path_encoder_ != nullptr) {
        AppendShiftJisPath(arg.text_, path_encoder_, &page_);
      } else {
        AppendEscaped(arg.text_, &page_);
      }
      return;
    case 'f': {
      assert(arg.kind_ == Arg::Kind::kReal);
      // Formats stay literal so the compiler checks them; the table holds
      // only these two.
      char buf[64];
      int n = conversion == "%6.1f"
                  ? std::snprintf(buf, sizeof(buf), "%6.1f", arg.real_)
                  : std::snprintf(buf, sizeof(buf), "%4.2f", arg.real_);
      assert(conversion == "%6.1f" || conversion == "%4.2f");
      if (n > 0) {
        page_.append(buf, std::min(static_cast<size_t>(n), sizeof(buf) - 1));
      }
      return;
    }
  }
  assert(false && "unknown conversion");
}

void PageBuilder::BarCell(int64_t bars) {
  Put(Text::kBarStart);
  for (int64_t i = 0; i < bars; ++i) page_.append(text_[Text::kBar]);
  if (bars <= 0) page_.append(text_[Text::kBarBlank]);
  Put(Text::kBarEnd);
}

}  // namespace tovex
