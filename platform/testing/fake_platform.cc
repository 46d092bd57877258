#include "platform/testing/fake_platform.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/testing/string_file.h"

namespace tovex {
namespace {

class FailingWritableFile : public WritableFile {
 public:
  FailingWritableFile(std::unique_ptr<WritableFile> inner, int64_t budget)
      : inner_(std::move(inner)), budget_(budget) {}
  bool Write(const char* data, size_t n) override {
    if (static_cast<int64_t>(n) > budget_) {
      inner_->Write(data, static_cast<size_t>(budget_));
      budget_ = 0;
      failed_ = true;
      return false;
    }
    budget_ -= static_cast<int64_t>(n);
    return inner_->Write(data, n);
  }
  bool Close() override { return inner_->Close() && !failed_; }
  std::string error() const override {
    return failed_ ? "No space left on device" : inner_->error();
  }

 private:
  std::unique_ptr<WritableFile> inner_;
  int64_t budget_;
  bool failed_ = false;
};

// Ends after `budget` bytes: with a read error, or, `cut`, as if the file
// ended there.
class FailingReadableFile : public ReadableFile {
 public:
  FailingReadableFile(std::unique_ptr<ReadableFile> inner, int64_t budget,
                      bool cut)
      : inner_(std::move(inner)), budget_(budget), cut_(cut) {}
  size_t Read(char* buf, size_t n) override {
    if (budget_ <= 0) {
      failed_ = !cut_;
      return 0;
    }
    const size_t got =
        inner_->Read(buf, std::min(n, static_cast<size_t>(budget_)));
    budget_ -= static_cast<int64_t>(got);
    return got;
  }
  std::string error() const override {
    return failed_ ? "Input/output error" : inner_->error();
  }
  uint64_t Size() const override { return inner_->Size(); }

 private:
  std::unique_ptr<ReadableFile> inner_;
  int64_t budget_;
  bool cut_;
  bool failed_ = false;
};

// Whether the last component of `path` is `name`.
bool Named(const std::string& path, const std::string& name) {
  std::string_view p = path;
  return !name.empty() && p.substr(p.rfind('/') + 1) == name;
}

}  // namespace

std::unique_ptr<ReadableFile> FaultyFileSystem::OpenRead(
    const std::string& path, std::string* error) {
  if (Named(path, fail_open)) {
    if (error != nullptr) *error = "Permission denied";
    return nullptr;
  }
  auto file = PosixFileSystem::OpenRead(path, error);
  if (file && (Named(path, fail_read) || Named(path, cut_read))) {
    return std::make_unique<FailingReadableFile>(std::move(file), fail_after,
                                                 Named(path, cut_read));
  }
  return file;
}

std::unique_ptr<ReadableFile> FaultyFileSystem::OpenStandardInput() {
  return std::make_unique<StringFile>(std::move(standard_input));
}

std::unique_ptr<WritableFile> FaultyFileSystem::CreateNew(
    const std::string& path, std::string* error) {
  if (Named(path, fail_open)) {
    if (error != nullptr) *error = "Permission denied";
    return nullptr;
  }
  auto file = PosixFileSystem::CreateNew(path, error);
  if (file && Named(path, fail_write)) {
    return std::make_unique<FailingWritableFile>(std::move(file), fail_after);
  }
  return file;
}

TempDir::TempDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "tovex-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed for " + pattern);
  }
  path_ = BaseDirectoryFrom(pattern);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFileOrEmpty(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFileOrDie(const std::string& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace tovex
