// The items of an option's comma-separated list ("2xx, 3xx,404").

#ifndef TOVEX_FILTER_LIST_ITEMS_H_
#define TOVEX_FILTER_LIST_ITEMS_H_

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace tovex {

// Takes the next item off `*list`, blanks and tabs around it dropped.
// False when `*list` is used up. An empty item (",,", a trailing ",") is
// handed out as empty, for the caller to refuse.
inline bool NextItem(std::string_view* list, std::string_view* item) {
  if (list->data() == nullptr) return false;
  const size_t comma = list->find(',');
  *item = list->substr(0, comma);
  *list = comma == list->npos ? std::string_view() : list->substr(comma + 1);
  const size_t first = item->find_first_not_of(" \t");
  *item = first == item->npos
              ? std::string_view()
              : item->substr(first, item->find_last_not_of(" \t") + 1 - first);
  return true;
}

// `item` in quotes, for an error text that names it.
inline std::string Quoted(std::string_view item) {
  std::string text(1, '"');
  text.append(item);
  text += '"';
  return text;
}

// The error text for an empty item of `list`.
inline std::string EmptyItemError(std::string_view list) {
  return "empty item in " + Quoted(list);
}

// `items` sorted, each once, comma-separated: a list's canonical text.
inline std::string SortedList(std::vector<std::string> items) {
  std::sort(items.begin(), items.end());
  items.erase(std::unique(items.begin(), items.end()), items.end());
  std::string text;
  for (const std::string& item : items) {
    if (!text.empty()) text += ',';
    text += item;
  }
  return text;
}

}  // namespace tovex

#endif  // TOVEX_FILTER_LIST_ITEMS_H_
