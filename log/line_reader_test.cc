#include "log/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/string_file_testutil.h"

namespace tovex {
namespace {

using Lines = std::vector<std::string>;

Lines ReadAll(const std::string& content, size_t max_line,
              size_t buffer_bytes = LineReader::kDefaultBufferBytes,
              size_t chunk = SIZE_MAX) {
  StringFile file(content, chunk);
  LineReader reader(&file, max_line, buffer_bytes);
  Lines lines;
  std::string_view line;
  while (reader.Next(&line)) lines.emplace_back(line);
  return lines;
}

// What the reader must hand out, computed the obvious way: split after each
// "\n", keep the first `max_line` bytes of each piece, stop at a NUL.
Lines Expected(const std::string& content, size_t max_line) {
  Lines lines;
  size_t pos = 0;
  while (pos < content.size()) {
    size_t nl = content.find('\n', pos);
    size_t next = nl == std::string::npos ? content.size() : nl + 1;
    std::string line = content.substr(pos, std::min(next - pos, max_line));
    lines.push_back(line.substr(0, line.find('\0')));
    pos = next;
  }
  return lines;
}

std::string Filled(size_t bytes_with_line_end) {
  std::string line(bytes_with_line_end - 1, 'x');
  for (size_t i = 0; i < line.size(); i += 10) line[i] = '0' + (i / 10) % 10;
  return line + "\n";
}

TEST(LineReaderTest, Table) {
  using namespace std::string_literals;
  const std::string l510 = Filled(510), l511 = Filled(511), l512 = Filled(512);
  const std::string l2000 = Filled(2000);
  struct Case {
    const char* name;
    std::string content;
    Lines lines;
  } cases[] = {
      {"empty file", "", {}},
      {"one blank line", "\n", {"\n"}},
      {"last line without line end", "a\nbc", {"a\n", "bc"}},
      {"CR LF kept", "a\r\nb\r\n", {"a\r\n", "b\r\n"}},
      {"510 bytes", l510 + "next\n", {l510, "next\n"}},
      {"511 bytes", l511 + "next\n", {l511, "next\n"}},
      {"512 bytes", l512 + "next\n", {l512.substr(0, 511), "next\n"}},
      {"2000 bytes", l2000 + "next\n", {l2000.substr(0, 511), "next\n"}},
      {"over-long last line without line end",
       "a\n" + std::string(600, 'y'),
       {"a\n", std::string(511, 'y')}},
      {"511 bytes without line end",
       std::string(511, 'y'),
       {std::string(511, 'y')}},
      {"NUL cuts the content", "ab\0cd\nef\n"s, {"ab", "ef\n"}},
      {"NUL first", "\0x\ny\n"s, {"", "y\n"}},
      {"NUL in a dropped tail",
       l2000.substr(0, 600) + "\0z\nq\n"s,
       {l2000.substr(0, 511), "q\n"}},
      {"NUL in the head of a long line",
       "ab\0"s + std::string(700, 'c') + "\nq\n",
       {"ab", "q\n"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadAll(c.content, 511), c.lines) << c.name;
    // The reference split must agree, or the table itself is wrong.
    EXPECT_EQ(Expected(c.content, 511), c.lines) << c.name;
  }
}

// Every combination of a small buffer and short reads moves the line ends
// across buffer and read boundaries.
TEST(LineReaderTest, SmallBuffersAndShortReads) {
  using namespace std::string_literals;
  const std::string content =
      "abc\n\nabcdefgh\nabcdefghi\nabcdefghijklmnopq\r\n"
      "x\0yz\n"s
      "abcdefghijklmnopqrstuvwxyz0123456789\n"
      "tail";
  for (size_t max_line : {1, 2, 8, 9}) {
    for (size_t buffer : {max_line, max_line + 1, 2 * max_line, 64ul}) {
      for (size_t chunk : {1ul, 3ul, 7ul, SIZE_MAX}) {
        EXPECT_EQ(ReadAll(content, max_line, buffer, chunk),
                  Expected(content, max_line))
            << "max_line " << max_line << " buffer " << buffer << " chunk "
            << chunk;
      }
    }
  }
}

TEST(LineReaderTest, BytesReadCountsDroppedTails) {
  const std::string content = Filled(2000) + "a\nb";
  StringFile file(content, 100);
  LineReader reader(&file, 511, 1024);
  EXPECT_EQ(reader.bytes_read(), 0u);
  std::string_view line;
  ASSERT_TRUE(reader.Next(&line));
  EXPECT_GE(reader.bytes_read(), 511u);
  EXPECT_LE(reader.bytes_read(), 1024u);
  while (reader.Next(&line)) {
  }
  EXPECT_EQ(reader.bytes_read(), content.size());
  EXPECT_FALSE(reader.Next(&line));
}

}  // namespace
}  // namespace tovex
