// The log check and the opening of inputs: LooksLikeLogLine on arbitrary
// bytes, and OpenLog on up to three inputs cut from the input at each
// "%%\n", read once as files and once with the first one on standard input
// (a stream that cannot rewind).
//
// Checks: LooksLikeLogLine agrees with a byte-by-byte match count; OpenLog
// refuses, warns, orders and hands out exactly what log_reference.h works
// out from the whole texts, whichever way each input is read.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "fuzz/log_reference.h"
#include "log/gzip_file.h"
#include "log/log_check.h"
#include "log/log_input.h"

namespace tovex::fuzz {
namespace {

bool ReferenceLooksLikeLog(std::string_view line) {
  size_t matched = 0;
  for (char c : line) {
    if (matched < LogLinePattern.size() && c == LogLinePattern[matched]) {
      ++matched;
    }
  }
  return matched == LogLinePattern.size();
}

// Read sizes around the line limit and far below it.
const std::vector<size_t> kReadSizes = {1, 4096, 13, 512, 511};

}  // namespace
}  // namespace tovex::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovex;
  using namespace tovex::fuzz;
  const std::string_view text = AsText(data, size);
  FUZZ_CHECK(LooksLikeLogLine(text) == ReferenceLooksLikeLog(text));

  std::vector<std::string_view> pieces = Split(text, "%%\n", 3);
  // Compressed inputs are the gzip target's; here every input is plain.
  for (std::string_view piece : pieces) {
    if (piece.starts_with(kGzipMagic)) return -1;  // not added to the corpus
  }
  for (bool first_on_stdin : {false, true}) {
    std::vector<std::string> names;
    std::vector<NamedText> inputs;
    for (size_t i = 0; i < pieces.size(); ++i) {
      if (i == 0 && first_on_stdin) {
        Env().fs.standard_input = std::string(pieces[i]);
        names.emplace_back(kStandardInputName);
      } else {
        names.push_back(PutFile("in" + std::to_string(i) + ".log", pieces[i]));
      }
      inputs.push_back({names.back(), pieces[i]});
    }
    CheckSame(ReadLog(names, kReadSizes), ExpectedLog(inputs));
  }
  return 0;
}
