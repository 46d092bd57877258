// Builds one report page in memory from the page texts and the figures.
//
// Texts that come from the log (hosts, organisations, content paths) are
// escaped on the way in, so a request line cannot put markup into a page;
// everything else is written as given.

#ifndef TOVEX_REPORT_PAGE_BUILDER_H_
#define TOVEX_REPORT_PAGE_BUILDER_H_

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "log/log_line.h"
#include "platform/platform.h"
#include "report/page_text.h"

namespace tovex {

// Appends `text` to `*out` with & < > " written as &amp; &lt; &gt; &quot;.
// Every other byte is kept, so Shift-JIS bytes of the log pass unchanged.
void AppendEscaped(std::string_view text, std::string* out);

// AppendEscaped of `path` with each well-formed UTF-8 character outside
// ASCII (RFC 3629: shortest form, no surrogates) in Shift-JIS, converted by
// `encoder`, where it has a form there. A character without one, and every
// byte that is not part of a well-formed character (such as the head of a
// character cut off at the end), stays as written.
void AppendShiftJisPath(std::string_view path, Encoder* encoder,
                        std::string* out);

// One value for a conversion of a page text.
class Arg {
 public:
  Arg(int v) : kind_(Kind::kInteger), integer_(v) {}      // NOLINT
  Arg(int64_t v) : kind_(Kind::kInteger), integer_(v) {}  // NOLINT
  Arg(double v) : kind_(Kind::kReal), real_(v) {}         // NOLINT

  // A text from the log: escaped.
  Arg(LogText t) : kind_(Kind::kLogText), text_(t.bytes) {}  // NOLINT
  // A text the program made itself (a period label): written as it is.
  static Arg Own(std::string_view s) { return Arg(Kind::kOwnText, s); }
  // A content path from the log: escaped, and shown in Shift-JIS where the
  // builder converts paths.
  static Arg Path(LogText t) { return Arg(Kind::kLogPath, t.bytes); }

 private:
  friend class PageBuilder;
  enum class Kind { kInteger, kReal, kOwnText, kLogText, kLogPath };
  Arg(Kind kind, std::string_view s) : kind_(kind), text_(s) {}

  Kind kind_;
  int64_t integer_ = 0;
  double real_ = 0;
  std::string_view text_;
};

class PageBuilder {
 public:
  // `text` must outlive the builder and be ok(). With `path_encoder`,
  // which must outlive the builder too, content paths are shown as
  // AppendShiftJisPath makes them (the paths were decoded from UTF-8
  // escapes); without, they keep their bytes.
  explicit PageBuilder(const PageText& text, Encoder* path_encoder = nullptr);

  // Appends text `t` with its conversions filled from `args` in order.
  // REQUIRES: one Arg of the matching kind per conversion.
  void Put(Text t, std::initializer_list<Arg> args = {});

  // A graph cell of `bars` bar characters, or one full-width blank for
  // none.
  void BarCell(int64_t bars);

  const std::string& page() const { return page_; }
  // The Shift-JIS form of text `t`.
  std::string_view text(Text t) const { return text_[t]; }

 private:
  void PutArg(std::string_view conversion, const Arg& arg);

  const PageText& text_;
  Encoder* const path_encoder_;
  std::string page_;
};

}  // namespace tovex

#endif  // TOVEX_REPORT_PAGE_BUILDER_H_
