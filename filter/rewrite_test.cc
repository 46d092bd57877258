#include "filter/rewrite.h"

#include <gtest/gtest.h>

#include <string>

#include "base/bytes.h"

namespace tovex {
namespace {

// Applies `rewrite` to the target of a request line and returns the line.
template <typename Rewrite>
std::string Rewritten(std::string_view target, Rewrite rewrite) {
  std::string line =
      "h - - [x] \"GET " + std::string(target) + " HTTP/1.1\" 200 1\n";
  const size_t size_before = line.size();
  size_t size = line.size();
  const size_t saved = rewrite(
      line.data(), &size, std::string_view(line).substr(15, target.size()));
  EXPECT_EQ(size + saved, size_before);
  line.resize(size);
  return line.substr(
      15, line.size() - 15 - std::string_view(" HTTP/1.1\" 200 1\n").size());
}

TEST(RewriteTest, CutQuery) {
  struct Case {
    std::string target, want;
  } cases[] = {
      {"/?ref=tw", "/"},      {"/a.html#top", "/a.html"}, {"/a?b#c", "/a"},
      {"/a#b?c", "/a"},       {"/plain/", "/plain/"},     {"?", ""},
      {"/%3F", "/%3F"},        // an escaped "?" is part of the path
      {"/a\\#b?c", "/a\\#b"},  // so is one after a backslash
      {"/a\\\\?c", "/a\\\\"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Rewritten(c.target, CutQuery), c.want) << c.target;
  }
}

TEST(RewriteTest, DecodeUtf8Escapes) {
  struct Case {
    std::string target, want;
  } cases[] = {
      {"/%E3%83%96%E3%83%AD%E3%82%B0/", "/\u30d6\u30ed\u30b0/"},  // /ブログ/
      {"/%e3%83%96.html", "/\u30d6.html"},                        // either case
      {"/%C3%A9%F0%9F%98%80", "/\u00e9\U0001f600"},  // 2 and 4 bytes
      {"/%C2%A0", "/\u00a0"},            // the first after the C1 controls
      {"/%F4%8F%BF%BF", "/\U0010ffff"},  // the last code point
      {"/%ED%9F%BF", "/\ud7ff"},         // just below the surrogates
      // ASCII, controls, white space and "/" stay escaped.
      {"/%00%0A%20%2F%25%3F%7F", "/%00%0A%20%2F%25%3F%7F"},
      {"/%C2%85%C2%9F", "/%C2%85%C2%9F"},  // C1 controls
      {"/%C0%AF%C1%BF%E0%80%AF%F0%80%80%AF",
       "/%C0%AF%C1%BF%E0%80%AF%F0%80%80%AF"},
      {"/%ED%A0%80", "/%ED%A0%80"},                    // a surrogate
      {"/%F4%90%80%80%F5%80", "/%F4%90%80%80%F5%80"},  // past U+10FFFF
      {"/%E3%83", "/%E3%83"},                          // cut short
      {"/%E3%83%E3%83%96", "/%E3%83\u30d6"},  // a broken one before a good one
      {"/%83%96", "/%83%96"},                 // continuation bytes alone
      {"/%E3%8G%96", "/%E3%8G%96"},           // not hex
      {"/100%", "/100%"},                     // a stray "%"
      {"/\xe3\x83%96", "/\xe3\x83%96"},       // raw bytes are not joined
      {"/\\%E3%83%96", "/\\%E3%83%96"},       // "%" after a backslash stays
  };
  for (const Case& c : cases) {
    const std::string got = Rewritten(c.target, DecodeUtf8Escapes);
    EXPECT_EQ(got, c.want) << c.target;
    for (char b : got) {
      EXPECT_FALSE(IsSpace(b) || b == '\0') << c.target;
    }
  }
}

TEST(RewriteTest, StampsMoveAndRoundTrip) {
  struct Case {
    StampTime from;
    int32_t offset_seconds;
    std::string want;
  } cases[] = {
      {{2000, 10, 10, 13, 55, 36, -420},
       9 * 3600,
       "11/Oct/2000:05:55:36 +0900"},
      {{2024, 3, 1, 0, 30, 0, 0}, -3600, "29/Feb/2024:23:30:00 -0100"},
      {{1999, 12, 31, 23, 59, 59, 0}, 60, "01/Jan/2000:00:00:59 +0001"},
      // Seconds of an offset: written toward zero, as %z writes them.
      {{1887, 12, 31, 0, 0, 0, 0},
       9 * 3600 + 18 * 60 + 59,
       "31/Dec/1887:09:18:59 +0918"},
      {{1900, 1, 1, 0, 0, 0, 0},
       -(4 * 3600 + 56 * 60 + 2),
       "31/Dec/1899:19:03:58 -0456"},
      {{1, 1, 1, 0, 0, 0, 0}, 0, "01/Jan/0001:00:00:00 +0000"},
  };
  for (const Case& c : cases) {
    StampTime local;
    ASSERT_TRUE(UtcToStamp(StampToUtc(c.from), c.offset_seconds, &local));
    char out[kUsualStampBytes];
    WriteStamp(local, out);
    EXPECT_EQ(std::string(out, sizeof out), c.want);
  }
  StampTime t;
  EXPECT_FALSE(UtcToStamp(StampToUtc({9999, 12, 31, 23, 0, 0, 0}), 3600, &t));
  EXPECT_FALSE(UtcToStamp(StampToUtc({1, 1, 1, 0, 30, 0, 0}), -3600, &t));
}

}  // namespace
}  // namespace tovex
