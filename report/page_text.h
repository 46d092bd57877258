// Every fixed text of the report pages, kept as UTF-8 in one table and
// converted once per run to Shift-JIS (code page 932), the pages' only
// encoding. Text from the log is never converted: it keeps its bytes.
//
// A text may hold the conversions "%d" and "%ld" (integers), "%s" (a text)
// and "%6.1f", "%4.2f" (reals); PageBuilder fills them in.

#ifndef TOVEX_REPORT_PAGE_TEXT_H_
#define TOVEX_REPORT_PAGE_TEXT_H_

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace tovex {

enum class Text {
  kPageStart,
  kTitle,
  kTitleLabel,  // %s: period label
  kTitleDate,   // %d-%d-%d: year, month, day
  kPageBody,
  kTitleTableStart,
  kHeading,
  kHeadingLabel,
  kHeadingDate,
  kTableEnd,
  kCountTableStart,
  kTotalHeading,  // index page
  kCountHeading,  // month and day pages
  kCountCell,     // %ld: total
  kVisitorTable,  // %ld: visitors, %6.1f: average
  kCalendarHead,
  kHourHead,
  kWeekdayHead,
  kMonthHead,
  kRowStart,
  kCenteredNumberCell,  // %d
  kCenteredTextCell,    // %s
  kDayLinkCell,         // %s: the day's page name, %d: day
  kMonthLinkCell,       // %s: the month's page name, %s: label
  kValueCell,           // %ld
  kRowEnd,
  kBarStart,
  kBar,
  kBarBlank,
  kBarEnd,
  kOrganisationHead,  // %d: rows
  kDomainHead,        // %d: rows
  kContentHead,       // %d: rows
  kRankRow,           // %d: rank, %s: text, %ld: count, %4.2f: share
  kBreak,
  kPageFoot,
  kSunday,  // the weekday names follow in order, 0 = Sunday
  kMonday,
  kTuesday,
  kWednesday,
  kThursday,
  kFriday,
  kSaturday,
};
inline constexpr size_t kTextCount = static_cast<size_t>(Text::kSaturday) + 1;

// The page texts in Shift-JIS.
class PageText {
 public:
  // Converts every text with `encoder`, which need not outlive this.
  explicit PageText(Encoder* encoder);

  // False when the texts could not be converted (no Shift-JIS converter);
  // no page can be written then.
  bool ok() const { return ok_; }

  std::string_view operator[](Text t) const {
    return texts_[static_cast<size_t>(t)];
  }

  // The UTF-8 source of a text, for checks.
  static std::string_view Utf8(Text t);

 private:
  std::array<std::string, kTextCount> texts_;
  bool ok_ = true;
};

}  // namespace tovex

#endif  // TOVEX_REPORT_PAGE_TEXT_H_
