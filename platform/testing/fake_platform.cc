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
  FileId id() const override { return inner_->id(); }

 private:
  std::unique_ptr<ReadableFile> inner_;
  int64_t budget_;
  bool cut_;
  bool failed_ = false;
};

// Whether the last component of `path` is `name`.
bool Named(std::string_view path, const std::string& name) {
  return !name.empty() && path.substr(path.rfind('/') + 1) == name;
}

template <typename T>
T Refuse(std::string* error, const char* reason, T result) {
  if (error != nullptr) *error = reason;
  return result;
}

std::unique_ptr<ReadableFile> FaultyRead(const FaultyFileSystem& fs,
                                         std::string_view name,
                                         std::unique_ptr<ReadableFile> file) {
  if (file && (Named(name, fs.fail_read) || Named(name, fs.cut_read))) {
    return std::make_unique<FailingReadableFile>(
        std::move(file), fs.fail_after, Named(name, fs.cut_read));
  }
  return file;
}

// A folder with the failures of its file system.
class FaultyFolder : public Folder {
 public:
  FaultyFolder(std::unique_ptr<Folder> inner, const FaultyFileSystem* fs)
      : inner_(std::move(inner)), fs_(fs) {}

  const std::string& path() const override { return inner_->path(); }
  FileId id() const override { return inner_->id(); }
  bool IsOwn() const override { return inner_->IsOwn(); }
  std::unique_ptr<ReadableFile> OpenRead(std::string_view name,
                                         std::string* error) override {
    if (Named(name, fs_->fail_open)) {
      return Refuse(error, "Permission denied", nullptr);
    }
    return FaultyRead(*fs_, name, inner_->OpenRead(name, error));
  }
  std::unique_ptr<WritableFile> CreateNew(std::string_view name,
                                          std::string* error) override {
    if (Named(name, fs_->fail_open)) {
      return Refuse(error, "Permission denied", nullptr);
    }
    auto file = inner_->CreateNew(name, error);
    if (file && Named(name, fs_->fail_write)) {
      return std::make_unique<FailingWritableFile>(std::move(file),
                                                   fs_->fail_after);
    }
    return file;
  }
  bool Rename(std::string_view name, Folder* to, std::string_view to_name,
              std::string* error) override {
    if (Named(name, fs_->fail_rename)) {
      return Refuse(error, "No space left on device", false);
    }
    auto* faulty = dynamic_cast<FaultyFolder*>(to);
    return inner_->Rename(name, faulty ? faulty->inner_.get() : to, to_name,
                          error);
  }
  bool Delete(std::string_view name) override { return inner_->Delete(name); }
  PathKind KindOf(std::string_view name, FileId* id) override {
    return inner_->KindOf(name, id);
  }
  std::vector<DirEntry> List(std::string_view pattern) override {
    return inner_->List(pattern);
  }
  std::unique_ptr<Folder> MakePrivate(std::string_view prefix,
                                      std::string* name,
                                      std::string* error) override {
    return Wrap(inner_->MakePrivate(prefix, name, error));
  }
  std::unique_ptr<Folder> OpenOwn(std::string_view name,
                                  std::string* error) override {
    return Wrap(inner_->OpenOwn(name, error));
  }
  bool RemoveFolder(std::string_view name) override {
    return inner_->RemoveFolder(name);
  }
  std::unique_ptr<FolderLock> Lock(bool* busy, std::string* error) override {
    return inner_->Lock(busy, error);
  }
  bool Sync(std::string* error) override { return inner_->Sync(error); }

 private:
  std::unique_ptr<Folder> Wrap(std::unique_ptr<Folder> folder) const {
    if (!folder) return nullptr;
    return std::make_unique<FaultyFolder>(std::move(folder), fs_);
  }

  std::unique_ptr<Folder> inner_;
  const FaultyFileSystem* fs_;
};

}  // namespace

std::unique_ptr<ReadableFile> FaultyFileSystem::OpenRead(
    const std::string& path, std::string* error,
    const std::atomic<int>* stop) {
  if (Named(path, fail_open)) {
    return Refuse(error, "Permission denied", nullptr);
  }
  return FaultyRead(*this, path, PosixFileSystem::OpenRead(path, error, stop));
}

std::unique_ptr<ReadableFile> FaultyFileSystem::OpenStandardInput(
    const std::atomic<int>*) {
  return std::make_unique<StringFile>(std::move(standard_input));
}

std::unique_ptr<Folder> FaultyFileSystem::OpenFolder(const std::string& path,
                                                     std::string* error) {
  auto folder = PosixFileSystem::OpenFolder(path, error);
  if (!folder) return nullptr;
  return std::make_unique<FaultyFolder>(std::move(folder), this);
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

std::vector<DirEntry> ListFolder(const std::string& path) {
  std::vector<DirEntry> entries;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(path, ec)) {
    entries.push_back({e.path().filename().string(),
                       e.is_directory() && !e.is_symlink()});
  }
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return entries;
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
