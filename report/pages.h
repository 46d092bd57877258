// The HTML of a report page: a page model rendered into a PageBuilder, and
// nothing computed on the way. The pages know nothing of files: the job
// stores the bytes.

#ifndef TOVEX_REPORT_PAGES_H_
#define TOVEX_REPORT_PAGES_H_

#include "report/page_builder.h"
#include "report/page_model.h"

namespace tovex {

void RenderHtml(const PageModel& model, PageBuilder* page);

}  // namespace tovex

#endif  // TOVEX_REPORT_PAGES_H_
