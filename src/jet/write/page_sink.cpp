#include "jet/write/page_sink.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

#include "base/error.h"
#include "jet/format/page_cipher_encode.h"
#include "jet/io/error_numbers.h"
#include "jet/io/write_failure.h"

namespace jet::write {
namespace {
constexpr std::uint32_t kWindowPages = 256;  // 1 MiB of Jet 4 pages
// Windows handed over and not yet written. Deep enough that the caller goes
// on building pages while the thread waits for the kernel.
constexpr std::size_t kMaxQueued = 4;
}  // namespace

PageSink::PageSink(const std::filesystem::path& path, FormatVersion version, std::uint32_t database_key)
    : path_(path), version_(version), page_size_(ConstantsFor(version).page_size), database_key_(database_key) {
  file_ = io::RawFile::CreateNew(path);
  if (!file_.is_open()) {
    if (errno == EEXIST) throw vondrel::Error(errors::kAlreadyExists, "Database " + path.string() + " already exists.");
    Fail("cannot create the file");
  }
  file_.WriteDirect();
  newest_ = NewWindow();
  older_ = NewWindow();
  try {
    writer_ = std::thread([this] { WriteWindows(); });
  } catch (const std::system_error&) {
    // No thread to be had: Flush writes each window itself.
  }
}

PageSink::~PageSink() {
  if (writer_.joinable()) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    writer_.join();
  }
  file_.Close();
  if (!committed_) {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
}

void PageSink::Fail(const std::string& what) const {
  io::ThrowWriteFailure(errno, path_.string() + ": " + what);
}

std::uint32_t PageSink::Allocate(std::uint32_t count) {
  const std::uint32_t first = page_count_;
  const std::uint64_t limit = (std::uint64_t{1} << 31) / page_size_;  // 2 GiB (Jet 4), 1 GiB for Jet 3 pages
  if (page_count_ + std::uint64_t{count} > limit) {
    throw vondrel::Error(errors::kCorrupt, path_.string() + ": the database would exceed the largest file Jet supports");
  }
  page_count_ += count;
  return first;
}

void PageSink::AlignedDelete::operator()(std::uint8_t* bytes) const {
  ::operator delete[](bytes, std::align_val_t{io::RawFile::kDirectAlignment});
}

PageSink::Window PageSink::NewWindow() {
  Window window;
  window.bytes.reset(static_cast<std::uint8_t*>(
      ::operator new[](std::size_t{kWindowPages} * page_size_, std::align_val_t{io::RawFile::kDirectAlignment})));
  window.present.assign(kWindowPages, 0);
  return window;
}

void PageSink::Write(std::uint32_t page, const encode::Bytes& bytes) {
  if (bytes.size() != page_size_ || page >= page_count_) throw std::logic_error("bad page write");
  Window& window = WindowFor(page);
  if (written_.size() < page_count_) written_.resize(page_count_, false);
  written_[page] = true;
  const std::uint32_t slot = page - window.first;
  std::uint8_t* at = window.bytes.get() + std::size_t{slot} * page_size_;
  std::memcpy(at, bytes.data(), page_size_);
  encode::ApplyPageCipher(at, page_size_, page, database_key_);
  window.present[slot] = 1;
}

PageSink::Window& PageSink::WindowFor(std::uint32_t page) {
  const std::uint32_t first = page - page % kWindowPages;
  if (!newest_.empty && newest_.first == first) return newest_;
  if (!older_.empty && older_.first == first) return older_;
  if (newest_.empty || first > newest_.first) {
    // Pages move on: the older window is done with, the newest becomes the older.
    HandOver(older_);
    std::swap(older_, newest_);
  } else {
    // A page below the newest window and outside the older one: rare, and
    // handing both over keeps the order of writes simple.
    HandOver(older_);
    HandOver(newest_);
  }
  newest_.first = first;
  newest_.empty = false;
  return newest_;
}

void PageSink::HandOver(Window& window) {
  if (window.empty) return;
  if (!writer_.joinable()) {
    if (!WriteWindow(window)) Fail("cannot write");
    std::fill(window.present.begin(), window.present.end(), 0);
    window.empty = true;
    return;
  }
  Window next;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return queue_.size() < kMaxQueued || write_errno_ != 0; });
    ThrowIfWriteFailed();
    queue_.push_back(std::move(window));
    if (!spare_.empty()) {
      next = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  changed_.notify_one();
  if (!next.bytes) next = NewWindow();
  window = std::move(next);
}

void PageSink::Flush() {
  HandOver(older_);
  HandOver(newest_);
}

void PageSink::Drain() {
  Flush();
  if (!writer_.joinable()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return (queue_.empty() && !busy_) || write_errno_ != 0; });
  ThrowIfWriteFailed();
}

void PageSink::ThrowIfWriteFailed() {
  if (write_errno_ == 0) return;
  errno = write_errno_;
  Fail("cannot write");
}

void PageSink::WriteWindows() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return !queue_.empty() || stopping_; });
    if (queue_.empty()) return;  // stopping, and nothing is left to write
    Window window = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    lock.unlock();
    // After a failure the rest is dropped: the file is removed anyway.
    const bool ok = write_errno_ == 0 && WriteWindow(window);
    // The device starts on a cached window now rather than all at once in Commit().
    if (ok && !file_.writes_direct())
      file_.StartWriteBack(std::uint64_t{window.first} * page_size_, std::size_t{kWindowPages} * page_size_);
    const int error = ok ? 0 : errno;
    std::fill(window.present.begin(), window.present.end(), 0);
    window.empty = true;
    lock.lock();
    busy_ = false;
    if (!ok && write_errno_ == 0) write_errno_ = error != 0 ? error : EIO;
    spare_.push_back(std::move(window));
    changed_.notify_one();
  }
}

bool PageSink::WriteWindow(const Window& window) {
  for (std::uint32_t i = 0; i < kWindowPages;) {
    if (!window.present[i]) {
      ++i;
      continue;
    }
    std::uint32_t run = 1;
    while (i + run < kWindowPages && window.present[i + run]) ++run;
    if (!WriteAt(std::uint64_t{window.first + i} * page_size_, window.bytes.get() + std::size_t{i} * page_size_,
                 std::size_t{run} * page_size_))
      return false;
    i += run;
  }
  return true;
}

bool PageSink::WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  ++writes_made_;
  return file_.WriteAt(offset, data, size);
}

void PageSink::Rewind(std::uint32_t page_count) {
  if (page_count > page_count_) throw std::logic_error("rewind past the end");
  // Windows already handed over are still written; the pages written again
  // later are queued after them, so the later bytes win.
  for (Window* window : {&older_, &newest_}) {
    if (window->empty) continue;
    for (std::uint32_t i = 0; i < kWindowPages; ++i)
      if (window->first + std::uint64_t{i} >= page_count) window->present[i] = 0;
  }
  if (stale_end_ == stale_begin_) stale_begin_ = page_count;
  stale_begin_ = std::min(stale_begin_, page_count);
  stale_end_ = std::max(stale_end_, page_count_);
  if (written_.size() < page_count_) written_.resize(page_count_, false);
  for (std::uint32_t p = page_count; p < page_count_; ++p) written_[p] = false;
  page_count_ = page_count;
}

void PageSink::Commit() {
  Drain();
  // Pages given up by a rewind and never written again would still hold
  // their old bytes, where a file written in one go has zeros. They are
  // written from an (aligned) open window, empty after Drain().
  std::uint8_t* zeros = newest_.bytes.get();
  std::memset(zeros, 0, page_size_);
  for (std::uint32_t p = stale_begin_; p < std::min(stale_end_, page_count_); ++p) {
    if (!written_[p] && !WriteAt(std::uint64_t{p} * page_size_, zeros, page_size_)) Fail("cannot write");
  }
  if (!file_.Resize(std::uint64_t{page_count_} * page_size_)) Fail("cannot size the file");
  if (!file_.Flush()) Fail("cannot flush to disk");
  if (!file_.Close()) Fail("cannot close");
  committed_ = true;
}

}  // namespace jet::write
