#include "log/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/testing/string_file.h"

namespace tovex {
namespace {

using Lines = std::vector<std::string>;

Lines ReadAll(const std::string& content, size_t max_line, LongLines policy,
              size_t buffer_bytes = LineReader::kDefaultBufferBytes,
              size_t chunk = SIZE_MAX) {
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

std::string Filled(size_t bytes_with_line_end) {
  std::string line(bytes_with_line_end - 1, 'x');
  for (size_t i = 0; i < line.size(); i += 10) {
    line[i] = static_cast<char>('0' + (i / 10) % 10);
  }
  return line + "\n";
}

TEST(LineReaderTest, LogLines) {
  using namespace std::string_literals;
  const std::string l511 = Filled(511), l512 = Filled(512);
  const std::string l2000 = Filled(2000);
  struct Case {
    std::string content;
    Lines lines;
  } cases[] = {
      {"", {}},
      {"\n", {"\n"}},
      {"a\nbc", {"a\n", "bc"}},
      {"a\r\nb\r\n", {"a\r\n", "b\r\n"}},
      {l511 + "next\n", {l511, "next\n"}},
      {l512 + "next\n", {l512.substr(0, 511), "next\n"}},
      {l2000 + "next\n", {l2000.substr(0, 511), "next\n"}},
      {"a\n" + std::string(600, 'y'), {"a\n", std::string(511, 'y')}},
      {"ab\0cd\nef\n"s, {"ab", "ef\n"}},
      {l2000.substr(0, 600) + "\0z\nq\n"s, {l2000.substr(0, 511), "q\n"}},
      {"ab\0"s + std::string(700, 'c') + "\nq\n", {"ab", "q\n"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadAll(c.content, 511, LongLines::kDropRest), c.lines);
    // The reference split must agree, or the table itself is wrong.
    EXPECT_EQ(Expected(c.content, 511, LongLines::kDropRest), c.lines);
  }
}

// Every combination of a small buffer and short reads moves the line ends
// across buffer and read boundaries, under both policies.
TEST(LineReaderTest, SmallBuffersAndShortReads) {
  using namespace std::string_literals;
  const std::string content =
      "abc\n\nabcdefgh\nabcdefghi\nabcdefghijklmnopq\r\n"
      "x\0yz\n"s
      "abcdefghijklmnopqrstuvwxyz0123456789\n"
      "tail";
  for (LongLines policy : {LongLines::kDropRest, LongLines::kSplit}) {
    for (size_t max_line : {1ul, 2ul, 8ul, 9ul}) {
      for (size_t buffer : {max_line, max_line + 1, 2 * max_line, 64ul}) {
        for (size_t chunk : {1ul, 3ul, 7ul, SIZE_MAX}) {
          EXPECT_EQ(ReadAll(content, max_line, policy, buffer, chunk),
                    Expected(content, max_line, policy))
              << "max_line " << max_line << " buffer " << buffer << " chunk "
              << chunk;
        }
      }
    }
  }
}

}  // namespace
}  // namespace tovex
