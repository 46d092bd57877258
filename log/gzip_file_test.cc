#include "log/gzip_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/gzip_testutil.h"
#include "platform/testing/fake_platform.h"
#include "platform/testing/string_file.h"

namespace tovex {
namespace {

// Past the decoder's 32 KB window, so that its history is carried across
// short reads.
std::string Lines(const char* tag) {
  std::string text;
  for (int i = 0; i < 3000; ++i) {
    text += tag;
    text += std::to_string(i * 7919);
    text += '\n';
  }
  return text;
}

struct Reading {
  std::string text;
  bool failed = false;
  bool corrupt = false;
};

Reading ReadAll(ReadableFile* source, size_t read_size) {
  GzipFile gz{std::unique_ptr<ReadableFile>(source)};
  Reading r;
  std::vector<char> buf(read_size);
  while (size_t got = gz.Read(buf.data(), buf.size()))
    r.text.append(buf.data(), got);
  r.failed = !gz.error().empty();
  r.corrupt = gz.corrupt();
  return r;
}

// Every case is read from a source that gives its bytes in one piece, one
// at a time and in odd pieces, with reads as short and as long as the job's,
// so that headers, trailers and padding straddle every boundary.
TEST(GzipFileTest, MembersPaddingAndDamage) {
  const std::string t1 = Lines("a"), t2 = Lines("b");
  const std::string a = Gzip(t1), b = Gzip(t2);
  const std::string zeros(70000, '\0');  // more than one input block
  std::string flagged = a, length = a;
  flagged[3] = '\x20';             // a reserved flag
  length[length.size() - 1] ^= 1;  // the length, not the CRC, is off
  struct Case {
    std::string bytes;
    std::string text;  // read whole, or the text a corrupt prefix is of
    bool ok;
  } cases[] = {
      {a + Gzip("") + b, t1 + t2, true},
      {a + std::string(1, '\0'), t1, true},
      {a + b + zeros, t1 + t2, true},
      {a + zeros.substr(0, 3) + b, t1 + t2, false},  // padding only at the end
      {a + zeros + "x", t1, false},
      {a + b.substr(0, 3), t1 + t2, false},    // cut in the magic and method
      {a + b.substr(0, 12), t1 + t2, false},   // cut in the header
      {a.substr(0, a.size() - 3), t1, false},  // cut in the trailer
      {zeros, "", false},
      {"", "", false},
      {flagged, t1, false},
      {length, t1, false},
  };
  const std::pair<size_t, size_t> reads[] = {
      {SIZE_MAX, 7}, {1, 256 * 1024}, {13, 4096}, {4096, 1}};
  for (const Case& c : cases) {
    for (const auto& [chunk, read_size] : reads) {
      const Reading r = ReadAll(new StringFile(c.bytes, chunk), read_size);
      SCOPED_TRACE(testing::Message() << c.bytes.size() << " bytes, " << chunk
                                      << " a read, " << read_size);
      EXPECT_EQ(r.failed, !c.ok);
      EXPECT_EQ(r.corrupt, !c.ok);
      if (c.ok) {
        EXPECT_EQ(r.text, c.text);
      } else {
        EXPECT_EQ(c.text.substr(0, r.text.size()), r.text);
      }
    }
  }
}

// A rewound file reads from the start as new; a source that fails is a
// read error, not a corrupt stream.
TEST(GzipFileTest, RewindAndReadErrors) {
  FakeEnvironment env;
  const std::string t1 = Lines("a"), gz = Gzip(t1) + "x";
  WriteFileOrDie(env.dir.path() + "a.gz", gz);
  std::string error;
  GzipFile file(env.fs.OpenRead(env.dir.path() + "a.gz", &error));
  char buf[4096];
  ASSERT_EQ(file.Read(buf, sizeof buf), sizeof buf);
  ASSERT_TRUE(file.Rewind());
  std::string text;
  while (size_t got = file.Read(buf, sizeof buf)) text.append(buf, got);
  EXPECT_EQ(text, t1);
  EXPECT_TRUE(file.corrupt());
  ASSERT_TRUE(file.Rewind());
  EXPECT_EQ(file.Read(buf, sizeof buf), sizeof buf);
  EXPECT_TRUE(file.error().empty());

  env.fs.fail_read = "a.gz";
  env.fs.fail_after = static_cast<int64_t>(gz.size() / 2);
  const Reading r =
      ReadAll(env.fs.OpenRead(env.dir.path() + "a.gz", &error).release(), 4096);
  EXPECT_TRUE(r.failed);
  EXPECT_FALSE(r.corrupt);
}

}  // namespace
}  // namespace tovex
