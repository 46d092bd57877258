#include "platform/platform.h"

namespace tovex {

Status OpenOrDie(Folder* folder, std::string_view name,
                 std::unique_ptr<ReadableFile>* file) {
  std::string error;
  *file = folder->OpenRead(name, &error);
  if (*file) return Status::Ok();
  return Status::CannotOpen(folder->path() + std::string(name), error);
}

Status CreateOrDie(Folder* folder, std::string_view name,
                   std::unique_ptr<WritableFile>* file) {
  std::string error;
  *file = folder->CreateNew(name, &error);
  if (*file) return Status::Ok();
  return Status::CannotOpen(folder->path() + std::string(name), error);
}

std::string NativeDirectory(std::string_view dir) {
  std::string out(dir);
#ifndef _WIN32
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
#endif
  return out;
}

std::string BaseDirectoryFrom(std::string_view current) {
  std::string base(current);
  // The root already ends in a separator; a second one would only look odd.
  if (base.empty() || base.back() != kPathSeparator) base += kPathSeparator;
  return base;
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  // Iterative match with one back-tracking point, enough for "*" and "?".
  size_t p = 0, n = 0;
  size_t star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace tovex
