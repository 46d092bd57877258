// What OpenLog must make of a set of inputs, worked out from their whole
// texts at once (no streams, no rewinds, no read-ahead), and what it did
// make of them: the log-check and gzip targets compare the two.

#ifndef TOVEX_FUZZ_LOG_REFERENCE_H_
#define TOVEX_FUZZ_LOG_REFERENCE_H_

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/status.h"
#include "fuzz/fuzz_util.h"
#include "log/line_reader.h"
#include "log/log_check.h"
#include "log/log_input.h"
#include "log/log_line.h"

namespace tovex::fuzz {

struct LogOutcome {
  Status::Code open = Status::Code::kOk;  // OpenLog's answer
  std::string path;                       // the input it names
  Status::Code read = Status::Code::kOk;  // ReadFailure after reading
  std::string bytes;                      // what the log read gave
  int64_t passed_over = 0;
  size_t empties = 0;  // warnings about empty inputs
};

struct NamedText {
  std::string name;
  std::string_view text;  // what the input holds, decompressed
};

// OpenLog's rule on whole texts: inputs are judged in the order given
// (empty ones noted and left out, the first that fails the five-line check
// refuses the log); each one's first counted line dates it; the dated ones
// follow oldest first (ties in the order given), each from that line on,
// with a line end added where its last line lacks one.
inline LogOutcome ExpectedLog(const std::vector<NamedText>& inputs) {
  LogOutcome out;
  std::vector<std::pair<InputDate, std::string_view>> dated;
  for (size_t i = 0; i < inputs.size(); ++i) {
    const std::string_view text = inputs[i].text;
    if (text.empty()) {
      ++out.empties;
      continue;
    }
    LineReader lines(text, kMaxLogLineBytes);
    std::string_view line;
    std::optional<InputDate> date;
    int checked = 0;
    LogRecord r;
    while ((checked < kLinesChecked || !date) && lines.Next(&line)) {
      if (checked < kLinesChecked && !LooksLikeLogLine(line)) {
        return {.open = Status::Code::kNotAccessLog,
                .path = inputs[i].name,
                .empties = out.empties};
      }
      ++checked;
      if (date) continue;
      if (IsPageRequest(line) && ParseLogLine(line, &r)) {
        date = InputDate{r.year, r.month, r.day, r.hour};
        dated.emplace_back(*date, text.substr(lines.line_start()));
      } else {
        ++out.passed_over;
      }
    }
  }
  if (out.empties == inputs.size()) {
    out.open = Status::Code::kNotAccessLog;
    return out;
  }
  std::stable_sort(
      dated.begin(), dated.end(),
      [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [date, rest] : dated) {
    out.bytes.append(rest);
    if (rest.back() != '\n') out.bytes.push_back('\n');
  }
  return out;
}

// Opens `names` in the scratch environment and reads the log to its end
// in reads whose sizes cycle through `sizes`.
inline LogOutcome ReadLog(const std::vector<std::string>& names,
                          const std::vector<size_t>& sizes) {
  FakeEnvironment& env = Env();
  env.messages.warnings.clear();
  LogOutcome out;
  std::unique_ptr<InputLog> log;
  const Status st = OpenLog(env.context(), names, &log);
  out.empties = env.messages.warnings.size();
  if (!st.ok()) {
    out.open = st.code();
    out.path = st.path();
    return out;
  }
  std::string buf(4096, '\0');
  for (size_t k = 0;; ++k) {
    const size_t n = std::min(buf.size(), sizes[k % sizes.size()]);
    const size_t got = log->Read(buf.data(), n);
    FUZZ_CHECK(got <= n);
    if (got == 0) break;
    out.bytes.append(buf.data(), got);
  }
  FUZZ_CHECK(log->Read(buf.data(), 1) == 0);  // stays at the end
  out.read = ReadFailure(*log).code();
  FUZZ_CHECK(out.read == Status::Code::kOk || !log->error().empty());
  out.passed_over = log->lines_passed_over();
  return out;
}

// `bytes` as the log's lines are judged: a line longer than a log line is
// one line, judged by its head, and a stream read ahead keeps only the
// head of such a line (one byte more than is judged, so it is still too
// long), to keep its memory fixed.
inline std::string AsJudged(std::string_view bytes) {
  constexpr size_t kHead = kMaxLogLineBytes + 1;
  std::string out;
  while (!bytes.empty()) {
    const size_t nl = bytes.find('\n');
    const size_t len = nl == std::string_view::npos ? bytes.size() : nl;
    out.append(bytes.substr(0, std::min(len, kHead)));
    if (nl == std::string_view::npos) break;
    out.push_back('\n');
    bytes.remove_prefix(nl + 1);
  }
  return out;
}

// Stops the run, telling both outcomes, when they differ.
inline void CheckSame(const LogOutcome& got, const LogOutcome& want) {
  if (got.open == want.open && got.path == want.path && got.read == want.read &&
      AsJudged(got.bytes) == AsJudged(want.bytes) &&
      got.passed_over == want.passed_over && got.empties == want.empties) {
    return;
  }
  for (const LogOutcome* o : {&got, &want}) {
    std::fprintf(stderr,
                 "%s: open %d '%s', read %d, %zu bytes, %lld passed over, "
                 "%zu empty\n",
                 o == &got ? "got" : "want", static_cast<int>(o->open),
                 o->path.c_str(), static_cast<int>(o->read), o->bytes.size(),
                 static_cast<long long>(o->passed_over), o->empties);
  }
  FUZZ_CHECK(false && "OpenLog differs from the whole-text reading");
}

}  // namespace tovex::fuzz

#endif  // TOVEX_FUZZ_LOG_REFERENCE_H_
