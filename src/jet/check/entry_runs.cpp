// Records: row page (4 bytes), row (1), order (8), leaf page (4), flags (1),
// key size (4), reason size (4), then the key and the reason. The same
// records are held in memory and written to the runs.

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

void Put(std::uint8_t* at, std::uint64_t value, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t Get(const std::uint8_t* at, std::size_t bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < bytes; ++i) value |= std::uint64_t{at[i]} << (8 * i);
  return value;
}

std::size_t KeySize(const std::uint8_t* head) { return static_cast<std::size_t>(Get(head + 18, 4)); }
std::size_t ReasonSize(const std::uint8_t* head) { return static_cast<std::size_t>(Get(head + 22, 4)); }
std::size_t RecordSize(const std::uint8_t* head) { return kHeadBytes + KeySize(head) + ReasonSize(head); }

// Reads the record at `at`, all of which is there.
void ReadRecord(const std::uint8_t* at, CheckEntry& out) {
  out.row.page = static_cast<std::uint32_t>(Get(at, 4));
  out.row.row = at[4];
  out.order = Get(at + 5, 8);
  out.page = static_cast<std::uint32_t>(Get(at + 13, 4));
  out.covered = (at[17] & kCovered) != 0;
  out.all_null = (at[17] & kAllNull) != 0;
  const std::uint8_t* key = at + kHeadBytes;
  const std::size_t key_size = KeySize(at);
  out.key.assign(key, key + key_size);
  out.reason.assign(reinterpret_cast<const char*>(key) + key_size, ReasonSize(at));
}

[[noreturn]] void FailReadBack() {
  io::ThrowWriteFailure(errno, "cannot read back the temporary file that sorts index entries");
}

}  // namespace

void EntryRecords::Add(const CheckEntry& e) {
  const std::size_t at = records_.size();
  records_.resize(at + kHeadBytes + e.key.size() + e.reason.size());
  std::uint8_t* head = records_.data() + at;
  Put(head, e.row.page, 4);
  Put(head + 4, e.row.row, 1);
  Put(head + 5, e.order, 8);
  Put(head + 13, e.page, 4);
  Put(head + 17, (e.covered ? kCovered : 0) | (e.all_null ? kAllNull : 0), 1);
  Put(head + 18, e.key.size(), 4);
  Put(head + 22, e.reason.size(), 4);
  if (!e.key.empty()) std::memcpy(head + kHeadBytes, e.key.data(), e.key.size());
  if (!e.reason.empty()) std::memcpy(head + kHeadBytes + e.key.size(), e.reason.data(), e.reason.size());
  places_.push_back(Place{(std::uint64_t{e.row.page} << 8) | e.row.row, e.order, at});
}

// Entries mostly arrive in order already (a scan meets rows in row pointer
// order, and so does a tree walk of most primary keys): that case costs one
// pass.
void EntryRecords::Sort() {
  if (!std::is_sorted(places_.begin(), places_.end())) std::sort(places_.begin(), places_.end());
}

void EntryRecords::Clear() {
  records_.clear();
  places_.clear();
}

void EntryRecords::Read(std::size_t i, CheckEntry& out) const { ReadRecord(records_.data() + places_[i].record, out); }

bool EntryRecords::WriteRun(io::RawFile& file, std::uint64_t offset, EntryRun& run) const {
  run.begin = offset;
  std::vector<std::uint8_t> chunk;
  chunk.reserve(kWriteChunk);
  auto flush = [&] {
    if (!chunk.empty() && !file.WriteAt(offset, chunk.data(), chunk.size())) return false;
    offset += chunk.size();
    chunk.clear();
    return true;
  };
  for (const Place& place : places_) {
    const std::uint8_t* record = records_.data() + place.record;
    const std::size_t size = RecordSize(record);
    if (chunk.size() + size > kWriteChunk && !flush()) return false;
    chunk.insert(chunk.end(), record, record + size);
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
  const std::uint64_t body = std::uint64_t{KeySize(head)} + ReasonSize(head);
  if (body > run_.end - run_.begin) FailReadBack();
  Need(kHeadBytes + static_cast<std::size_t>(body));
  ReadRecord(buffer_.data() + position_, out);
  position_ += kHeadBytes + static_cast<std::size_t>(body);
  return true;
}

}  // namespace jet
