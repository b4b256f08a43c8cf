#include "jet/write/page_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/error.h"
#include "jet/format/page_cipher_encode.h"
#include "jet/io/error_numbers.h"

namespace jet::write {
namespace {
constexpr std::size_t kPendingLimit = 1 << 20;  // gather up to 1 MiB of consecutive pages
}

PageSink::PageSink(const std::filesystem::path& path, FormatVersion version, std::uint32_t database_key)
    : path_(path), version_(version), page_size_(ConstantsFor(version).page_size), database_key_(database_key) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    if (errno == EEXIST) throw vondrel::Error(errors::kAlreadyExists, "Database " + path.string() + " already exists.");
    Fail("cannot create the file");
  }
  pending_.reserve(kPendingLimit);
}

PageSink::~PageSink() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
}

void PageSink::Fail(const std::string& what) const {
  throw vondrel::Error(errors::kCorrupt, path_.string() + ": " + what + " (" + std::strerror(errno) + ")");
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

void PageSink::Write(std::uint32_t page, const encode::Bytes& bytes) {
  if (bytes.size() != page_size_ || page >= page_count_) throw std::logic_error("bad page write");
  const std::size_t pending_pages = pending_.size() / page_size_;
  if (pending_pages == 0 || page != pending_first_ + pending_pages || pending_.size() + page_size_ > kPendingLimit) {
    Flush();
    pending_first_ = page;
  }
  if (written_.size() < page_count_) written_.resize(page_count_, false);
  written_[page] = true;
  const std::size_t at = pending_.size();
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
  encode::ApplyPageCipher(pending_.data() + at, page_size_, page, database_key_);
}

void PageSink::Flush() {
  if (pending_.empty()) return;
  WriteAt(std::uint64_t{pending_first_} * page_size_, pending_.data(), pending_.size());
  pending_.clear();
}

void PageSink::WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("cannot write");
    }
    data += n;
    size -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
}

void PageSink::Rewind(std::uint32_t page_count) {
  if (page_count > page_count_) throw std::logic_error("rewind past the end");
  const std::size_t pending_pages = pending_.size() / page_size_;
  if (pending_pages > 0 && pending_first_ + pending_pages > page_count) {
    pending_.resize(pending_first_ >= page_count ? 0 : std::size_t{page_count - pending_first_} * page_size_);
  }
  if (stale_end_ == stale_begin_) stale_begin_ = page_count;
  stale_begin_ = std::min(stale_begin_, page_count);
  stale_end_ = std::max(stale_end_, page_count_);
  if (written_.size() < page_count_) written_.resize(page_count_, false);
  for (std::uint32_t p = page_count; p < page_count_; ++p) written_[p] = false;
  page_count_ = page_count;
}

void PageSink::Commit() {
  Flush();
  // Pages given up by a rewind and never written again would still hold
  // their old bytes, where a file written in one go has zeros.
  const std::vector<std::uint8_t> zeros(page_size_, 0);
  for (std::uint32_t p = stale_begin_; p < std::min(stale_end_, page_count_); ++p) {
    if (!written_[p]) WriteAt(std::uint64_t{p} * page_size_, zeros.data(), zeros.size());
  }
  if (::ftruncate(fd_, static_cast<off_t>(std::uint64_t{page_count_} * page_size_)) != 0) Fail("cannot size the file");
  if (::fsync(fd_) != 0) Fail("cannot flush to disk");
  if (::close(fd_) != 0) {
    fd_ = -1;
    Fail("cannot close");
  }
  fd_ = -1;
  committed_ = true;
}

}  // namespace jet::write
