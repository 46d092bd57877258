#include "work/file_names.h"

#include "base/calendar.h"
#include "base/decimal.h"

namespace tovex {

std::string NumberedName(int number, std::string_view suffix) {
  std::string name = DecimalText(number);
  name += '.';
  name += suffix;
  return name;
}

std::string PeriodLabel(int year, int month) {
  return DecimalText(year) + "-" + DecimalText(month);
}

std::string MonthPageName(int year, int month) {
  return PeriodLabel(year, month) + ".html";
}

std::string DayPageName(int year, int month, int day) {
  return PeriodLabel(year, month) + "-" + DecimalText(day) + ".html";
}

}  // namespace tovex

namespace tovex {
namespace {

// Takes a number of 1 to `max` written as DecimalText writes it (no sign,
// no leading zero) from the front of `*s`.
bool TakeNumber(std::string_view* s, int max, int* value) {
  size_t n = 0;
  while (n < s->size() && (*s)[n] >= '0' && (*s)[n] <= '9') ++n;
  if (n == 0 || n > 4 || (*s)[0] == '0') return false;
  *value = DecimalValue(s->substr(0, n));
  s->remove_prefix(n);
  return *value <= max;
}

}  // namespace

bool IsReportPageName(std::string_view name) {
  if (name == kIndexPageName) return true;
  constexpr std::string_view kHtml = ".html";
  if (!name.ends_with(kHtml)) return false;
  name.remove_suffix(kHtml.size());
  int year, month, day;
  if (!TakeNumber(&name, 9999, &year) || !name.starts_with('-')) return false;
  name.remove_prefix(1);
  if (!TakeNumber(&name, 12, &month)) return false;
  if (name.empty()) return true;
  if (!name.starts_with('-')) return false;
  name.remove_prefix(1);
  return TakeNumber(&name, DaysInMonth(year, month), &day) && name.empty();
}

}  // namespace tovex
