#include "job/json_report.h"

#include "base/decimal.h"
#include "report/json_page.h"
#include "work/file_names.h"

namespace tovex {
namespace {

// Work files of the document are copied through a block of this size.
constexpr size_t kCopyBlockBytes = 64 * 1024;
// The suffix of the work files that hold waiting pages.
constexpr std::string_view kJsonSuffix = "json";

void Rows(std::string_view name, const RowGroup& rows, std::string* out) {
  out->append("\"").append(name).append("\":{\"domains\":");
  out->append(DecimalText(rows.domains)).append(",\"contents\":");
  out->append(DecimalText(rows.contents)).append(",\"organisations\":");
  out->append(DecimalText(rows.organisations)).append("}");
}

}  // namespace

std::string JsonReportHead(std::string_view program, int run_level,
                           int64_t lines_read, int64_t lines_counted,
                           const RowGroup& index, const RowGroup& month,
                           const RowGroup& day) {
  std::string head = "{\"format\":\"tovex-report\",\"version\":1,";
  head.append("\"program\":");
  AppendJsonString(program, &head);
  head.append(",\"run_level\":").append(DecimalText(run_level));
  head.append(",\n\"lines\":{\"read\":").append(DecimalText(lines_read));
  head.append(",\"counted\":").append(DecimalText(lines_counted));
  head.append(",\"not_counted\":")
      .append(DecimalText(lines_read - lines_counted));
  head.append("},\n\"rows\":{");
  Rows("index", index, &head);
  head.push_back(',');
  Rows("month", month, &head);
  head.push_back(',');
  Rows("day", day, &head);
  head.append("},\n");
  return head;
}

Status JsonTarget::Open(const Context& ctx, const std::string& setting,
                        WritableFile* standard_output, Folder* html,
                        PageFolder* pages,
                        std::unique_ptr<JsonTarget>* target) {
  target->reset(new JsonTarget());
  JsonTarget& t = **target;
  if (setting == kStandardOutputName) {
    t.standard_output_ = standard_output;
    return Status::Ok();
  }
  const std::string native = NativeDirectory(setting);
  t.path_ = !native.empty() && native[0] == kPathSeparator
                ? native
                : ctx.base_dir + native;
  const size_t cut = t.path_.rfind(kPathSeparator) + 1;
  t.name_ = t.path_.substr(cut);
  if (t.name_.empty() || IsReportPageName(t.name_) ||
      t.name_.starts_with(".tovex-") || t.name_.starts_with(kRunFolderPrefix)) {
    return Status::BadSetting("JSONFILE=" + setting,
                              "a name of the report's own");
  }
  std::unique_ptr<Folder> folder;
  TOVEX_RETURN_IF_ERROR(MakeFolder(ctx, t.path_.substr(0, cut), &folder));
  if (folder->id() == html->id()) {
    t.pages_ = pages;
  } else {
    t.folder_ = std::move(folder);
  }
  return Status::Ok();
}

Status JsonTarget::Stage(JsonReport* report, std::string_view head) {
  std::unique_ptr<WritableFile> file;
  if (pages_ != nullptr) {
    TOVEX_RETURN_IF_ERROR(pages_->CreateFile(name_, &file));
  } else if (folder_) {
    const std::string waiting = WaitingName();
    folder_->Delete(waiting);
    TOVEX_RETURN_IF_ERROR(CreateOrDie(folder_.get(), waiting, &file));
  } else {
    return Status::Ok();
  }
  return report->WriteTo(head, file.get(), path_);
}

Status JsonTarget::Finish(JsonReport* report, std::string_view head) {
  if (standard_output_ != nullptr) {
    return report->WriteTo(head, standard_output_, "stdout");
  }
  std::string error;
  if (folder_ &&
      !folder_->Rename(WaitingName(), folder_.get(), name_, &error)) {
    return Status::CannotWrite(path_, error);
  }
  return Status::Ok();
}

Status JsonReport::Append(std::unique_ptr<WritableFile>* file,
                          std::string* name, std::string_view text) {
  if (!*file) {
    *name = work_->NewFile(kJsonSuffix);
    TOVEX_RETURN_IF_ERROR(CreateOrDie(work_->folder(), *name, file));
  }
  if (!(*file)->Write(text.data(), text.size())) {
    return Status::CannotWrite(work_->dir() + *name, (*file)->error());
  }
  return Status::Ok();
}

Status JsonReport::Add(const PageModel& model) {
  std::string text = ",\n";
  AppendPageJson(model, &text);
  switch (model.kind) {
    case PageModel::Kind::kIndex:
      index_ = text.substr(2);
      return Status::Ok();
    case PageModel::Kind::kDay:
      return Append(&days_, &days_name_, text);
    case PageModel::Kind::kMonth:
      any_ = true;
      TOVEX_RETURN_IF_ERROR(Append(&body_, &body_name_, text));
      return FlushDays();
  }
  return Status::Ok();
}

Status JsonReport::FlushDays() {
  if (!days_) return Status::Ok();
  const std::string name = days_name_;
  if (!days_->Close()) {
    return Status::CannotWrite(work_->dir() + name, days_->error());
  }
  days_.reset();
  if (!body_) TOVEX_RETURN_IF_ERROR(Append(&body_, &body_name_, ""));
  any_ = true;
  return CopyAndDelete(name, body_.get(), work_->dir() + body_name_);
}

Status JsonReport::CopyAndDelete(const std::string& name, WritableFile* out,
                                 const std::string& out_path) {
  std::unique_ptr<ReadableFile> in;
  TOVEX_RETURN_IF_ERROR(OpenOrDie(work_->folder(), name, &in));
  std::unique_ptr<char[]> block(new char[kCopyBlockBytes]);
  while (size_t got = in->Read(block.get(), kCopyBlockBytes)) {
    if (!out->Write(block.get(), got)) {
      return Status::CannotWrite(out_path, out->error());
    }
  }
  if (!in->error().empty()) {
    return Status::CannotRead(work_->dir() + name, in->error());
  }
  work_->folder()->Delete(name);
  return Status::Ok();
}

Status JsonReport::WriteTo(std::string_view head, WritableFile* out,
                           const std::string& path) {
  TOVEX_RETURN_IF_ERROR(FlushDays());
  std::string front = std::string(head) + "\"pages\":[\n" + index_;
  if (!out->Write(front.data(), front.size())) {
    return Status::CannotWrite(path, out->error());
  }
  if (body_) {
    if (!body_->Close()) {
      return Status::CannotWrite(work_->dir() + body_name_, body_->error());
    }
    body_.reset();
    TOVEX_RETURN_IF_ERROR(CopyAndDelete(body_name_, out, path));
  }
  constexpr std::string_view kEnd = "\n]}\n";
  if (!out->Write(kEnd.data(), kEnd.size()) || !out->Close()) {
    return Status::CannotWrite(path, out->error());
  }
  return Status::Ok();
}

}  // namespace tovex
