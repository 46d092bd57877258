#include "filter/request_filter.h"

#include <algorithm>
#include <utility>

#include "base/bytes.h"
#include "filter/list_items.h"

namespace tovex {
namespace {

bool IsTokenByte(char c) {
  return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

}  // namespace

std::string StatusFilter::Add(std::string_view list) {
  const std::string_view whole = list;
  std::string_view item;
  while (NextItem(&list, &item)) {
    if (item.empty()) return EmptyItemError(whole);
    const bool is_class = item.size() == 3 && IsDigit(item[0]) &&
                          (item[1] == 'x' || item[1] == 'X') &&
                          (item[2] == 'x' || item[2] == 'X');
    const bool is_code = item.size() == 3 && IsDigit(item[0]) &&
                         IsDigit(item[1]) && IsDigit(item[2]);
    if (!is_class && !is_code) {
      return Quoted(item) + ": not a status (404) or class (4xx)";
    }
    const int first = is_class ? (item[0] - '0') * 100
                               : (item[0] - '0') * 100 + (item[1] - '0') * 10 +
                                     (item[2] - '0');
    const int last = is_class ? first + 99 : first;
    if (first < kFirstStatus || last > kLastStatus) {
      return Quoted(item) + ": status out of range 100..599";
    }
    for (int s = first; s <= last; ++s) allowed_[static_cast<size_t>(s)] = true;
  }
  return std::string();
}

std::string MethodFilter::Add(std::string_view list) {
  const std::string_view whole = list;
  std::string_view item;
  while (NextItem(&list, &item)) {
    if (item.empty()) return EmptyItemError(whole);
    if (!std::all_of(item.begin(), item.end(), IsTokenByte)) {
      return Quoted(item) + ": not an HTTP method";
    }
    methods_.emplace_back(item);
  }
  return std::string();
}

bool MethodFilter::Allows(std::string_view method) const {
  return std::find(methods_.begin(), methods_.end(), method) != methods_.end();
}

std::string StatusFilter::CanonicalText() const {
  constexpr int kClassCodes = 100;
  std::vector<std::string> items;
  for (int first = kFirstStatus; first <= kLastStatus; first += kClassCodes) {
    int allowed = 0;
    for (int s = first; s < first + kClassCodes; ++s) allowed += Allows(s);
    if (allowed == kClassCodes) {
      items.push_back(std::to_string(first / kClassCodes) + "xx");
      continue;
    }
    for (int s = first; s < first + kClassCodes && allowed > 0; ++s) {
      if (Allows(s)) items.push_back(std::to_string(s));
    }
  }
  return SortedList(std::move(items));
}

std::string MethodFilter::CanonicalText() const { return SortedList(methods_); }

}  // namespace tovex
