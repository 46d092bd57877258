// The keys under which the job counts names: a name with the period and the
// day it fell on, as far as the run level needs them, laid out so that byte
// order is the order the pages need: by period, hosts before contents, by
// name, by day.

#ifndef TOVEX_JOB_NAME_KEYS_H_
#define TOVEX_JOB_NAME_KEYS_H_

#include <cstdint>
#include <string_view>

#include "work/run_file.h"

namespace tovex {

enum class NameKind : uint8_t { kHost = 0, kContent = 1 };

// Which parts a key holds besides the kind and the name.
struct KeyLayout {
  bool period = false;  // the period table's index
  bool day = false;     // the day of the month
  // The day right after the period, so that each day's names come
  // together (a history's day sets), not each name's days.
  bool day_first = false;
};

struct NameKey {
  int period = 0;
  NameKind kind = NameKind::kHost;
  std::string_view name;
  int day = 0;
};

// Room for the longest key of any layout.
inline constexpr size_t kNameKeyBytes = kMaxKeyBytes;

// Writes the key of `key` in `layout` into `buf` and returns it. The name
// ends in a blank, which sorts a name before every longer name that starts
// with it (the order the rankings' ties are broken in).
// REQUIRES: key.name.size() <= kNameKeyBytes - 4 (period, kind, blank and
// day), no white space in it.
std::string_view MakeKey(KeyLayout layout, const NameKey& key, char* buf);

// Splits a key made by MakeKey with the same layout. `name` points into
// `bytes`. False for bytes that are not such a key.
bool ParseKey(KeyLayout layout, std::string_view bytes, NameKey* key);

}  // namespace tovex

#endif  // TOVEX_JOB_NAME_KEYS_H_
