#include "jet/write/leaf_pages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

#include "jet/io/write_failure.h"

namespace jet::write {
namespace {
constexpr std::size_t kPagesPerTransfer = 64;  // 256 KiB of Jet 4 pages per write or read
}  // namespace

void LeafPages::Append(std::vector<std::uint8_t> page) {
  if (page_size_ == 0) page_size_ = page.size();
  if (page.size() != page_size_) throw std::logic_error("leaf pages of different sizes");
  memory_.push_back(std::move(page));
}

void LeafPages::Spill() {
  if (memory_.empty() || !spill_possible_) return;
  if (!file_.is_open()) {
    file_ = io::RawFile::CreateTemporary();
    if (!file_.is_open()) {
      // No room for temporary files: the pages stay in memory, which costs
      // memory but not the result.
      spill_possible_ = false;
      return;
    }
  }
  std::vector<std::uint8_t> chunk(std::min(memory_.size(), kPagesPerTransfer) * page_size_);
  for (std::size_t from = 0; from < memory_.size(); from += kPagesPerTransfer) {
    const std::size_t count = std::min(kPagesPerTransfer, memory_.size() - from);
    for (std::size_t i = 0; i < count; ++i) std::memcpy(chunk.data() + i * page_size_, memory_[from + i].data(), page_size_);
    if (!file_.WriteAt(std::uint64_t{filed_ + from} * page_size_, chunk.data(), count * page_size_)) {
      // The disk is full: what was written of this batch is written again by
      // a later spill, or never read.
      spill_possible_ = false;
      return;
    }
  }
  filed_ += memory_.size();
  std::vector<std::vector<std::uint8_t>>().swap(memory_);
}

std::vector<std::uint8_t> LeafPages::Take(std::size_t i) {
  if (i >= size()) throw std::logic_error("no such leaf page");
  if (i >= filed_) return std::move(memory_[i - filed_]);
  if (i < buffer_first_ || i >= buffer_first_ + buffer_count_) ReadFiled(i, std::min(kPagesPerTransfer, filed_ - i));
  const std::uint8_t* bytes = read_buffer_.data() + (i - buffer_first_) * page_size_;
  return std::vector<std::uint8_t>(bytes, bytes + page_size_);
}

void LeafPages::ReadFiled(std::size_t first, std::size_t count) {
  read_buffer_.resize(count * page_size_);
  std::size_t filled = 0;
  while (filled < read_buffer_.size()) {
    const std::ptrdiff_t n =
        file_.ReadAt(std::uint64_t{first} * page_size_ + filled, read_buffer_.data() + filled, read_buffer_.size() - filled);
    if (n <= 0) {
      if (n == 0) errno = EIO;  // the file ends before the pages written to it
      io::ThrowWriteFailure(errno, "cannot read back the temporary index file");
    }
    filled += static_cast<std::size_t>(n);
  }
  buffer_first_ = first;
  buffer_count_ = count;
}

}  // namespace jet::write
