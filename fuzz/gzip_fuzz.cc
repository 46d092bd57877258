// The gzip input path: GzipFile on its own, against zlib, and OpenLog on a
// compressed input as a file (read again from its start) and on standard
// input.
//
// Input: four control bytes, then a plain text. The control bytes are a
// read size for the compressed bytes (fuzz_util.h ReadSizes), a damage
// position (two bytes) and a damage byte. The text, cut at each "%%\n" into
// at most four pieces, is compressed one gzip member per piece (concatenated,
// as `cat a.gz b.gz` makes them), followed by none, one or 600 zero bytes of
// padding (by the input's size), then read intact, and read again either cut
// short at the damage position (damage byte 0) or with the byte there
// changed by the damage byte. A text that starts with the gzip magic is
// taken as the compressed stream itself instead, so that headers with every
// flag and broken deflate blocks are reached too.
//
// Checks: every stream GzipFile reads, it reads as zlib does (a reference
// decoder below, under the same rule for what may follow a member): the
// same text where zlib decodes it, corrupt where zlib refuses it. Intact,
// GzipFile gives the text back without an error and OpenLog makes of it
// what log_reference.h makes of the text. Cut short, GzipFile gives a
// prefix of the text and reports the stream corrupt, unless the cut falls
// between two members or in the padding; OpenLog either refuses the input
// (corrupt, or not a log) or hands out a prefix of the intact reading and
// then fails as corrupt: a damaged stream never passes for a whole log.
// Changed, a stream that still decodes gives the text back exactly (the CRC
// sees to that), and one that lost its gzip magic reads as plain text.

#include <zlib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "fuzz/log_reference.h"
#include "log/gzip_file.h"
#include "log/log_input.h"

namespace tovex::fuzz {
namespace {

// Compresses `text` into one gzip member at `level` (0: stored blocks).
std::string Compress(std::string_view text, int level) {
  z_stream z{};
  FUZZ_CHECK(deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 8,
                          Z_DEFAULT_STRATEGY) == Z_OK);
  std::string out(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  FUZZ_CHECK(deflate(&z, Z_FINISH) == Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

struct Decoded {
  std::string text;
  std::string error;
  bool corrupt = false;
};

// zlib's reading of a whole stream: members one after the other, ended by
// the end of the bytes or by zero bytes up to it (not before the first
// member); anything else where a member may start is decoded as one, and
// refused when it is none.
Decoded ZlibReference(std::string_view bytes) {
  Decoded out;
  z_stream z{};
  FUZZ_CHECK(inflateInit2(&z, 15 + 16) == Z_OK);
  for (bool first = true;; first = false) {
    if (!first && bytes.find_first_not_of('\0') == bytes.npos) break;
    FUZZ_CHECK(inflateReset(&z) == Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    int r;
    do {
      char buf[4096];
      z.next_out = reinterpret_cast<Bytef*>(buf);
      z.avail_out = sizeof buf;
      r = inflate(&z, Z_NO_FLUSH);
      out.text.append(buf, sizeof buf - z.avail_out);
    } while (r == Z_OK);
    if (r != Z_STREAM_END) {  // Z_BUF_ERROR: cut short
      out.error = z.msg != nullptr ? z.msg : "cut short";
      out.corrupt = true;
      break;
    }
    bytes.remove_prefix(bytes.size() - z.avail_in);
  }
  inflateEnd(&z);
  return out;
}

// GzipFile's reading, checked against zlib's.
Decoded Decompress(const std::string& compressed,
                   const std::vector<size_t>& sizes) {
  GzipFile gz(std::make_unique<StringFile>(compressed, sizes));
  Decoded out;
  char buf[4096];
  for (size_t k = 0;; ++k) {
    const size_t n = k % 3 == 0 ? sizeof buf : k % 3 == 1 ? 1 : 100;
    const size_t got = gz.Read(buf, n);
    FUZZ_CHECK(got <= n);
    if (got == 0) break;
    out.text.append(buf, got);
  }
  FUZZ_CHECK(gz.Read(buf, 1) == 0);  // stays at the end
  out.error = gz.error();
  out.corrupt = gz.corrupt();
  // The source never fails, so every error is the decoder's.
  FUZZ_CHECK(out.corrupt == !out.error.empty());
  // The two decoders may stop at different points of a broken member, but
  // what both gave is the same.
  const Decoded want = ZlibReference(compressed);
  FUZZ_CHECK(out.corrupt == want.corrupt);
  if (!want.corrupt) FUZZ_CHECK(out.text == want.text);
  const size_t both = std::min(out.text.size(), want.text.size());
  FUZZ_CHECK(out.text.compare(0, both, want.text, 0, both) == 0);
  return out;
}

// The outcomes of OpenLog on `compressed` as a file and on standard input.
std::vector<LogOutcome> OpenBothWays(const std::string& compressed,
                                     std::string* file_name) {
  *file_name = PutFile("in.gz", compressed);
  Env().fs.standard_input = compressed;
  const std::vector<size_t> sizes = {4096, 1, 13, 512};
  return {ReadLog({*file_name}, sizes), ReadLog({"-"}, sizes)};
}

void CheckIntact(const std::string& compressed, std::string_view text,
                 const std::vector<size_t>& sizes) {
  const Decoded d = Decompress(compressed, sizes);
  FUZZ_CHECK(d.error.empty());
  FUZZ_CHECK(d.text == text);
  std::string file;
  const std::vector<LogOutcome> got = OpenBothWays(compressed, &file);
  CheckSame(got[0], ExpectedLog({{file, text}}));
  CheckSame(got[1], ExpectedLog({{"-", text}}));
}

// A damaged stream read through OpenLog: refused, or read and then a
// failure; when the stream was cut short, what was read is a prefix of the
// intact reading.
void CheckRefused(const LogOutcome& got, const std::string& name,
                  const LogOutcome& intact, bool cut_short) {
  if (got.open != Status::Code::kOk) {
    FUZZ_CHECK(got.open == Status::Code::kCorruptInput ||
               got.open == Status::Code::kNotAccessLog);
    FUZZ_CHECK(got.path == name);
    return;
  }
  FUZZ_CHECK(got.read == Status::Code::kCorruptInput);
  if (cut_short) {
    FUZZ_CHECK(intact.open == Status::Code::kOk);
    FUZZ_CHECK(std::string_view(intact.bytes).starts_with(got.bytes));
  }
}

// A stream whose gzip magic is gone is read as the plain text it is.
bool CheckPlain(const std::string& bytes, const Decoded& d) {
  if (std::string_view(bytes).starts_with(kGzipMagic)) return false;
  FUZZ_CHECK(d.corrupt);
  std::string file;
  const std::vector<LogOutcome> got = OpenBothWays(bytes, &file);
  CheckSame(got[0], ExpectedLog({{file, bytes}}));
  CheckSame(got[1], ExpectedLog({{"-", bytes}}));
  return true;
}

// A stream as it stands, not made here: GzipFile agrees with zlib, and
// OpenLog reads what zlib decodes or refuses the input.
void CheckRaw(const std::string& bytes, const std::vector<size_t>& sizes) {
  const Decoded d = Decompress(bytes, sizes);
  std::string file;
  const std::vector<LogOutcome> got = OpenBothWays(bytes, &file);
  if (!d.corrupt) {
    CheckSame(got[0], ExpectedLog({{file, d.text}}));
    CheckSame(got[1], ExpectedLog({{"-", d.text}}));
    return;
  }
  CheckRefused(got[0], file, LogOutcome(), false);
  CheckRefused(got[1], "-", LogOutcome(), false);
}

}  // namespace
}  // namespace tovex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovex;
  using namespace tovex::fuzz;
  if (size < 4) return -1;
  const std::vector<size_t> sizes = ReadSizes(AsText(data, 1));
  const size_t damage_at = size_t{data[1]} << 8 | data[2];
  const auto damage = static_cast<char>(data[3]);
  const std::string_view input = AsText(data + 4, size - 4);
  if (input.starts_with(kGzipMagic)) {
    CheckRaw(std::string(input), sizes);
    return 0;
  }

  // One member per piece; where each member ends, and the text so far.
  std::string compressed, text;
  std::vector<std::pair<size_t, size_t>> member_ends;
  const int level = static_cast<int>(size % 10);
  for (std::string_view piece : Split(input, "%%\n", 4)) {
    compressed += Compress(piece, level);
    text += piece;
    member_ends.emplace_back(compressed.size(), text.size());
  }
  const size_t members_end = compressed.size();
  constexpr size_t kPadding[] = {0, 0, 1, 600};
  compressed.append(kPadding[size / 10 % 4], '\0');
  CheckIntact(compressed, text, sizes);

  std::string file;
  if (damage == 0) {
    const size_t cut = damage_at % compressed.size();  // never whole
    const std::string shorter = compressed.substr(0, cut);
    const Decoded d = Decompress(shorter, sizes);
    FUZZ_CHECK(std::string_view(text).starts_with(d.text));
    if (CheckPlain(shorter, d)) return 0;
    size_t whole = cut >= members_end ? text.size() : std::string::npos;
    for (const auto& [end, text_end] : member_ends) {
      if (end == cut) whole = text_end;
    }
    if (whole != std::string::npos) {
      FUZZ_CHECK(d.error.empty() && d.text.size() == whole);
      const std::vector<LogOutcome> got = OpenBothWays(shorter, &file);
      const std::string_view kept = std::string_view(text).substr(0, whole);
      CheckSame(got[0], ExpectedLog({{file, kept}}));
      CheckSame(got[1], ExpectedLog({{"-", kept}}));
      return 0;
    }
    FUZZ_CHECK(d.corrupt);
    const std::vector<LogOutcome> got = OpenBothWays(shorter, &file);
    CheckRefused(got[0], file, ExpectedLog({{file, text}}), true);
    CheckRefused(got[1], "-", ExpectedLog({{"-", text}}), true);
    return 0;
  }

  std::string changed = compressed;
  changed[damage_at % changed.size()] ^= damage;
  const Decoded d = Decompress(changed, sizes);
  if (CheckPlain(changed, d)) return 0;
  const std::vector<LogOutcome> got = OpenBothWays(changed, &file);
  if (d.error.empty()) {
    FUZZ_CHECK(d.text == text);
    CheckSame(got[0], ExpectedLog({{file, text}}));
    CheckSame(got[1], ExpectedLog({{"-", text}}));
    return 0;
  }
  CheckRefused(got[0], file, ExpectedLog({{file, text}}), false);
  CheckRefused(got[1], "-", ExpectedLog({{"-", text}}), false);
  return 0;
}
