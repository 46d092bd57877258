#include "log/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/testing/string_file.h"

namespace tovex {
namespace {

using Lines = std::vector<std::string>;

Lines ReadAll(const std::string& content, size_t max_line, LongLines policy,
              size_t buffer_bytes, size_t chunk) {
  StringFile file(content, chunk);
  LineReader reader(&file, max_line, policy, buffer_bytes);
  Lines lines;
  std::string_view line;
  while (reader.Next(&line)) lines.emplace_back(line);
  EXPECT_EQ(reader.bytes_read(), content.size());
  return lines;
}

// What the reader must hand out, computed the obvious way: split after each
// "\n"; keep the first `max_line` bytes of each piece or cut it into pieces
// of `max_line`; stop each line's content at a NUL.
Lines Expected(const std::string& content, size_t max_line, LongLines policy) {
  Lines lines;
  size_t pos = 0;
  while (pos < content.size()) {
    size_t nl = content.find('\n', pos);
    size_t next = nl == std::string::npos ? content.size() : nl + 1;
    for (size_t at = pos; at < next; at += max_line) {
      std::string line = content.substr(at, std::min(next - at, max_line));
      lines.push_back(line.substr(0, line.find('\0')));
      if (policy == LongLines::kDropRest) break;
    }
    pos = next;
  }
  return lines;
}

// Every combination of a small buffer and short reads moves the line ends
// across buffer and read boundaries, under both policies. The table pins
// the reference split itself; lines at the log limit of 511 bytes are read
// end to end by the reference check (tests/logs/long-line.log).
TEST(LineReaderTest, SmallBuffersAndShortReads) {
  using namespace std::string_literals;
  struct Case {
    std::string content;
    Lines lines;  // at most 4 bytes, the rest of a longer line dropped
  } cases[] = {
      {"", {}},
      {"\n", {"\n"}},
      {"ab\nc", {"ab\n", "c"}},
      {"abc\nabcd\nabcdefghij\r\nxy\n", {"abc\n", "abcd", "abcd", "xy\n"}},
      {"a\nbcdefg", {"a\n", "bcde"}},
      {"ab\0cd\nef\n"s, {"ab", "ef\n"}},
      {"abcdef\0z\nq\n"s, {"abcd", "q\n"}},
      {"ab\0cdefgh\nq\n"s, {"ab", "q\n"}},
      {"abc\n\nabcdefgh\nabcdefghi\nabcdefghijklmnopq\r\nx\0yz\n"
       "abcdefghijklmnopqrstuvwxyz0123456789\ntail"s,
       {"abc\n", "\n", "abcd", "abcd", "abcd", "x", "abcd", "tail"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Expected(c.content, 4, LongLines::kDropRest), c.lines);
    for (LongLines policy : {LongLines::kDropRest, LongLines::kSplit}) {
      for (size_t max_line : {1ul, 2ul, 4ul, 8ul, 9ul}) {
        for (size_t buffer : {max_line, max_line + 1, 2 * max_line, 64ul}) {
          for (size_t chunk : {1ul, 3ul, 7ul, SIZE_MAX}) {
            EXPECT_EQ(ReadAll(c.content, max_line, policy, buffer, chunk),
                      Expected(c.content, max_line, policy))
                << c.content << " max_line " << max_line << " buffer " << buffer
                << " chunk " << chunk;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace tovex
