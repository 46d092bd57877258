#include "history/streams.h"

#include <algorithm>

#include "base/hash.h"

namespace tovex {

InputStart PlanInput(const InputHead& head, const HistoryState& state,
                     int* stream) {
  *stream = -1;
  uint32_t best = 0;
  for (size_t i = 0; i < state.streams.size(); ++i) {
    const StreamRecord& s = state.streams[i];
    // The longest known head that this input begins with.
    if (s.head_size == 0 || s.head_size > head.first_bytes.size() ||
        s.head_size < best ||
        Hash64(std::string_view(head.first_bytes).substr(0, s.head_size)) !=
            s.head_hash) {
      continue;
    }
    best = s.head_size;
    *stream = static_cast<int>(i);
  }
  InputStart start;
  if (*stream < 0) return start;
  const StreamRecord& s = state.streams[static_cast<size_t>(*stream)];
  if (head.has_trailer && s.offset > 0 && head.trailer_crc == s.crc &&
      head.trailer_size == static_cast<uint32_t>(s.offset)) {
    start.skip = true;
    return start;
  }
  start.offset = s.offset;
  start.crc = s.crc;
  start.check = s.check;
  return start;
}

std::string RecordInput(const InputHead& head, const InputEnd& end,
                        int stream, int first_month, int last_month,
                        HistoryState* state) {
  std::string note;
  const bool fresh = stream < 0 || end.restarted;
  if (fresh && first_month >= 0) {
    for (const StreamRecord& s : state->streams) {
      if (s.name == head.name && s.first_month >= 0 &&
          s.first_month <= last_month && first_month <= s.last_month) {
        note = head.name;
      }
    }
  }
  if (stream < 0) {
    state->streams.emplace_back();
    stream = static_cast<int>(state->streams.size()) - 1;
  }
  StreamRecord& s = state->streams[static_cast<size_t>(stream)];
  if (fresh) {
    s = StreamRecord();
    s.date = head.date;
  }
  // A head that has grown since identifies the stream better.
  const size_t size = std::min(head.first_bytes.size(), kIdentityBytes);
  if (size > s.head_size && end.offset >= size) {
    s.head_size = static_cast<uint32_t>(size);
    s.head_hash = Hash64(std::string_view(head.first_bytes).substr(0, size));
  }
  if (s.head_size == 0 && end.offset > 0) {
    const size_t known = static_cast<size_t>(
        std::min<uint64_t>(end.offset, head.first_bytes.size()));
    s.head_size = static_cast<uint32_t>(known);
    s.head_hash = Hash64(std::string_view(head.first_bytes).substr(0, known));
  }
  s.offset = end.offset;
  s.crc = end.crc;
  s.check = end.check;
  s.name = head.name;
  if (first_month >= 0) {
    s.first_month = s.first_month < 0 ? first_month
                                      : std::min(s.first_month, first_month);
    s.last_month = std::max(s.last_month, last_month);
  }
  return note;
}

}  // namespace tovex
