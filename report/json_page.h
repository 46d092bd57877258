// The JSON of a report page: a page model as one JSON object, the form
// the report's JSON document (job/json_report.h) lists its pages in.
//
// Text from the log is bytes of any kind, while JSON is UTF-8: well-formed
// UTF-8 is kept as it is, and each ill-formed part (the longest start of a
// sequence that cannot be completed, or one byte) becomes U+FFFD, as a web
// browser decodes it; quotes, backslashes and control bytes are escaped.
// The output is valid UTF-8 and valid JSON whatever the log held.

#ifndef TOVEX_REPORT_JSON_PAGE_H_
#define TOVEX_REPORT_JSON_PAGE_H_

#include <string>
#include <string_view>

#include "report/page_model.h"

namespace tovex {

// Appends `bytes` as a JSON string, quotes included.
void AppendJsonString(std::string_view bytes, std::string* out);

// Appends the page as one JSON object on one line.
void AppendPageJson(const PageModel& model, std::string* out);

}  // namespace tovex

#endif  // TOVEX_REPORT_JSON_PAGE_H_
