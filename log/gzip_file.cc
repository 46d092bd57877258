#include "log/gzip_file.h"

#include <algorithm>
#include <cstring>

#include "log/gzip_decoder.h"

namespace tovex {

GzipFile::GzipFile(std::unique_ptr<ReadableFile> source)
    : source_(std::move(source)),
      decoder_(std::make_unique<GzipDecoder>(source_.get())) {}

GzipFile::~GzipFile() { Stop(); }

void GzipFile::Stop() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stop_ = true;
  }
  changed_.notify_all();
  if (inflater_.joinable()) inflater_.join();
  std::lock_guard<std::mutex> lock(mu_);
  stop_ = false;
}

bool GzipFile::Rewind() {
  // The thread stops where it is; a source that cannot rewind goes on
  // from there.
  Stop();
  if (!source_->Rewind()) return false;
  decoder_->Reset();
  {
    std::lock_guard<std::mutex> lock(mu_);
    filled_ = given_back_ = 0;
    last_filled_ = false;
  }
  current_ = nullptr;
  taken_ = 0;
  inline_bytes_ = 0;
  finished_ = corrupt_ = false;
  error_.clear();
  return true;
}

// Block k is filled once the reader gave back block k - kGzipBlocks.
void GzipFile::InflateLoop(uint64_t first) {
  for (uint64_t k = first;; ++k) {
    {
      std::unique_lock<std::mutex> lock(mu_);
      changed_.wait(lock,
                    [&] { return stop_ || k - given_back_ < kGzipBlocks; });
      if (stop_) return;
    }
    Block& b = blocks_[k % kGzipBlocks];
    b.size = decoder_->Read(b.data.get(), kGzipBlockBytes);
    b.last = decoder_->done();
    if (b.last) {
      b.error = decoder_->error();
      b.corrupt = decoder_->corrupt();
    }
    {
      std::lock_guard<std::mutex> lock(mu_);
      filled_ = k + 1;
      last_filled_ = b.last;
    }
    changed_.notify_all();
    if (b.last) return;
  }
}

// The next block, once filled; starts the thread the first time.
GzipFile::Block* GzipFile::TakeBlock() {
  std::unique_lock<std::mutex> lock(mu_);
  if (!inflater_.joinable() && !last_filled_) {
    inflater_ = std::thread(&GzipFile::InflateLoop, this, filled_);
  }
  changed_.wait(lock, [&] { return filled_ > given_back_; });
  Block* b = &blocks_[given_back_ % kGzipBlocks];
  if (b->last) {
    error_ = b->error;
    corrupt_ = b->corrupt;
  }
  return b;
}

void GzipFile::GiveBack() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    ++given_back_;
  }
  changed_.notify_all();
  current_ = nullptr;
  taken_ = 0;
}

// Inflates straight into `buf` on the reader's thread.
size_t GzipFile::ReadInline(char* buf, size_t n) {
  const size_t got = decoder_->Read(buf, n);
  inline_bytes_ += got;
  if (decoder_->done()) {
    finished_ = true;
    error_ = decoder_->error();
    corrupt_ = decoder_->corrupt();
  }
  return got;
}

size_t GzipFile::Read(char* buf, size_t n) {
  if (finished_) return 0;
  if (inline_bytes_ < kGzipInlineBytes) return ReadInline(buf, n);
  if (!blocks_[0].data) {
    for (Block& b : blocks_) b.data.reset(new char[kGzipBlockBytes]);
  }
  size_t got = 0;
  while (got < n && !finished_) {
    if (current_ == nullptr) current_ = TakeBlock();
    const size_t take = std::min(n - got, current_->size - taken_);
    std::memcpy(buf + got, current_->data.get() + taken_, take);
    taken_ += take;
    got += take;
    if (taken_ < current_->size) continue;
    if (current_->last) {
      finished_ = true;
    } else {
      GiveBack();
    }
  }
  return got;
}

}  // namespace tovex
