#include "platform/testing/fake_platform.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/testing/string_file.h"

namespace tovex {
namespace {

class FailingAfterWritableFile : public WritableFile {
 public:
  FailingAfterWritableFile(std::unique_ptr<WritableFile> inner, int64_t budget)
      : inner_(std::move(inner)), budget_(budget) {}
  bool Write(const char* data, size_t n) override {
    if (static_cast<int64_t>(n) > budget_) {
      inner_->Write(data, static_cast<size_t>(budget_));
      budget_ = 0;
      return false;
    }
    budget_ -= static_cast<int64_t>(n);
    return inner_->Write(data, n);
  }
  bool Close() override { return inner_->Close(); }

 private:
  std::unique_ptr<WritableFile> inner_;
  int64_t budget_;
};

}  // namespace

int64_t FakeClock::NowSeconds() {
  int64_t t = times_.front();
  if (times_.size() > 1) times_.pop_front();
  return t;
}

namespace {

std::string_view NameOf(const std::string& path) {
  std::string_view p = path;
  return p.substr(p.rfind('/') + 1);
}

}  // namespace

bool FaultyFileSystem::FailsOpen(const std::string& path) const {
  return !fail_open.empty() && NameOf(path) == fail_open;
}

std::unique_ptr<WritableFile> FaultyFileSystem::Wrap(
    const std::string& path, std::unique_ptr<WritableFile> file) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    opened_for_writing.push_back(path);
  }
  if (file && !fail_write.empty() && NameOf(path) == fail_write) {
    return std::make_unique<FailingAfterWritableFile>(std::move(file),
                                                      fail_write_after);
  }
  return file;
}

std::unique_ptr<ReadableFile> FaultyFileSystem::OpenRead(
    const std::string& path) {
  if (FailsOpen(path)) return nullptr;
  return real_.OpenRead(path);
}

std::unique_ptr<ReadableFile> FaultyFileSystem::OpenStandardInput() {
  return std::make_unique<StringFile>(std::move(standard_input));
}

std::unique_ptr<WritableFile> FaultyFileSystem::OpenWrite(
    const std::string& path) {
  if (FailsOpen(path)) return nullptr;
  return Wrap(path, real_.OpenWrite(path));
}

std::unique_ptr<WritableFile> FaultyFileSystem::OpenAppend(
    const std::string& path) {
  if (FailsOpen(path)) return nullptr;
  return Wrap(path, real_.OpenAppend(path));
}

TempDir::TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp && *tmp ? tmp : "/tmp") + "/tovex-test-XXXXXX";
  std::string buf = pattern;
  if (::mkdtemp(buf.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed for " + pattern);
  }
  path_ = BaseDirectoryFrom(buf);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

FakeEnvironment::FakeEnvironment() = default;

Context FakeEnvironment::context() const {
  Context ctx;
  ctx.base_dir = dir.path();
  auto* self = const_cast<FakeEnvironment*>(this);
  ctx.platform.fs = &self->fs;
  ctx.platform.clock = &self->clock;
  ctx.platform.shell = &self->shell;
  ctx.platform.beeper = &self->beeper;
  ctx.platform.messages = &self->messages;
  ctx.platform.encoder = &self->encoder;
  return ctx;
}

std::string ReadFileOrEmpty(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFileOrDie(const std::string& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace tovex
