// Run records: row page (4 bytes), row (1), order (8), leaf page (4),
// flags (1), key size (4), reason size (4), then the key and the reason.

#include "jet/check/entry_runs.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/error.h"
#include "jet/io/write_failure.h"

namespace jet {
namespace {

constexpr std::size_t kHeadBytes = 4 + 1 + 8 + 4 + 1 + 4 + 4;
constexpr std::size_t kWriteChunk = std::size_t{1} << 20;
constexpr std::uint8_t kCovered = 1;
constexpr std::uint8_t kAllNull = 2;

void Put(std::vector<std::uint8_t>& out, std::uint64_t value, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t Get(const std::uint8_t* at, std::size_t bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < bytes; ++i) value |= std::uint64_t{at[i]} << (8 * i);
  return value;
}

[[noreturn]] void FailReadBack() {
  io::ThrowWriteFailure(errno, "cannot read back the temporary file that sorts index entries");
}

}  // namespace

bool WriteEntryRun(io::RawFile& file, std::uint64_t offset, const std::vector<CheckEntry>& entries, EntryRun& run) {
  run.begin = offset;
  std::vector<std::uint8_t> chunk;
  chunk.reserve(kWriteChunk);
  auto flush = [&] {
    if (!chunk.empty() && !file.WriteAt(offset, chunk.data(), chunk.size())) return false;
    offset += chunk.size();
    chunk.clear();
    return true;
  };
  for (const CheckEntry& e : entries) {
    Put(chunk, e.row.page, 4);
    Put(chunk, e.row.row, 1);
    Put(chunk, e.order, 8);
    Put(chunk, e.page, 4);
    Put(chunk, (e.covered ? kCovered : 0) | (e.all_null ? kAllNull : 0), 1);
    Put(chunk, e.key.size(), 4);
    Put(chunk, e.reason.size(), 4);
    chunk.insert(chunk.end(), e.key.begin(), e.key.end());
    chunk.insert(chunk.end(), e.reason.begin(), e.reason.end());
    if (chunk.size() >= kWriteChunk && !flush()) return false;
  }
  if (!flush()) return false;
  run.end = offset;
  return true;
}

EntryRunReader::EntryRunReader(const io::RawFile& file, EntryRun run, std::size_t buffer_bytes)
    : file_(file), run_(run), file_offset_(run.begin), buffer_(std::max<std::size_t>(buffer_bytes, kHeadBytes)) {}

void EntryRunReader::Need(std::size_t size) {
  if (filled_ - position_ >= size) return;
  std::memmove(buffer_.data(), buffer_.data() + position_, filled_ - position_);
  filled_ -= position_;
  position_ = 0;
  if (buffer_.size() < size) buffer_.resize(size);
  while (filled_ < size) {
    const std::uint64_t left = run_.end - file_offset_;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size() - filled_, left));
    if (want == 0) FailReadBack();  // a record runs past the end of its run
    const std::ptrdiff_t got = file_.ReadAt(file_offset_, buffer_.data() + filled_, want);
    if (got <= 0) FailReadBack();
    filled_ += static_cast<std::size_t>(got);
    file_offset_ += static_cast<std::uint64_t>(got);
  }
}

bool EntryRunReader::Next(CheckEntry& out) {
  if (position_ == filled_ && file_offset_ == run_.end) return false;
  Need(kHeadBytes);
  const std::uint8_t* head = buffer_.data() + position_;
  out.row.page = static_cast<std::uint32_t>(Get(head, 4));
  out.row.row = head[4];
  out.order = Get(head + 5, 8);
  out.page = static_cast<std::uint32_t>(Get(head + 13, 4));
  out.covered = (head[17] & kCovered) != 0;
  out.all_null = (head[17] & kAllNull) != 0;
  const std::size_t key_size = static_cast<std::size_t>(Get(head + 18, 4));
  const std::size_t reason_size = static_cast<std::size_t>(Get(head + 22, 4));
  if (key_size + reason_size > run_.end - run_.begin) FailReadBack();
  position_ += kHeadBytes;
  Need(key_size + reason_size);
  const std::uint8_t* body = buffer_.data() + position_;
  out.key.assign(body, body + key_size);
  out.reason.assign(reinterpret_cast<const char*>(body) + key_size, reason_size);
  position_ += key_size + reason_size;
  return true;
}

}  // namespace jet
