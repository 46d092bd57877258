#include "report/page_builder.h"

#include <algorithm>
#include <cassert>
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

PageBuilder::PageBuilder(const PageText& text) : text_(text) {
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
             arg.kind_ == Arg::Kind::kLogText);
      if (arg.kind_ == Arg::Kind::kLogText) {
        AppendEscaped(arg.text_, &page_);
      } else {
        page_.append(arg.text_);
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
