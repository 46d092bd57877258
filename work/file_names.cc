#include "work/file_names.h"

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
