#include "jet/compact/row_sorter.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <memory>
#include <queue>
#include <string>

#include "jet/format/index_key.h"
#include "jet/io/write_failure.h"

namespace jet::compact {
namespace {

constexpr std::size_t kReadBuffer = std::size_t{64} << 10;
constexpr std::size_t kWriteBuffer = std::size_t{1} << 20;

[[noreturn]] void FailTemporary(const char* what) {
  io::ThrowWriteFailure(errno, std::string("cannot ") + what + " the temporary file that sorts rows");
}

void Append(std::FILE* file, const void* data, std::size_t size) {
  if (size && std::fwrite(data, 1, size, file) != size) FailTemporary("write");
}

}  // namespace

// Reads one run's records back in order, through a buffer of its own.
class RowSorter::RunReader {
 public:
  RunReader(std::FILE* file, std::uint64_t begin, std::uint64_t end) : fd_(fileno(file)), at_(begin), end_(end) {}

  // The next `size` bytes, valid until the next call; false at the run's end.
  const std::uint8_t* Take(std::size_t size) {
    if (buffer_.size() - used_ < size) Fill(size);
    const std::uint8_t* data = buffer_.data() + used_;
    used_ += size;
    return data;
  }
  bool AtEnd() const { return used_ == buffer_.size() && at_ == end_; }

 private:
  void Fill(std::size_t size) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(used_));
    used_ = 0;
    const std::size_t want = std::max(size, kReadBuffer);
    std::size_t have = buffer_.size();
    buffer_.resize(std::max<std::uint64_t>(have, std::min<std::uint64_t>(want, have + (end_ - at_))));
    while (have < buffer_.size()) {
      const ssize_t n = pread(fd_, buffer_.data() + have, buffer_.size() - have, static_cast<off_t>(at_));
      if (n <= 0) FailTemporary("read back");
      have += static_cast<std::size_t>(n);
      at_ += static_cast<std::uint64_t>(n);
    }
    if (buffer_.size() < size) FailTemporary("read back");  // a record cut short
  }

  int fd_;
  std::uint64_t at_, end_;
  std::vector<std::uint8_t> buffer_;
  std::size_t used_ = 0;
};

RowSorter::RowSorter(std::size_t memory_budget) : budget_(memory_budget) {}

RowSorter::~RowSorter() {
  if (keys_file_) std::fclose(keys_file_);
  if (payloads_file_) std::fclose(payloads_file_);
}

void RowSorter::Add(Bytes key, Bytes payload) {
  Add(key, [&](std::vector<std::uint8_t>& out) { out.insert(out.end(), payload.begin(), payload.end()); });
}

void RowSorter::Add(Bytes key, const std::function<void(std::vector<std::uint8_t>&)>& append) {
  if (key.size() > 0xFFFF) throw std::length_error("sort key too long");
  // Reserved once (address space only until used), so that the arena does
  // not grow past the budget by doubling.
  if (arena_.capacity() < budget_) arena_.reserve(budget_);
  const std::size_t key_at = arena_.size();
  arena_.insert(arena_.end(), key.begin(), key.end());
  append(arena_);
  Added(key_at, key.size());
}

void RowSorter::Added(std::size_t key_at, std::size_t key_size) {
  std::uint64_t head = 0;
  for (std::size_t i = 0; i < 8; ++i) head = head << 8 | (i < key_size ? arena_[key_at + i] : 0);
  const Entry entry{head, key_at, key_at + key_size, static_cast<std::uint32_t>(key_size),
                    static_cast<std::uint32_t>(arena_.size() - key_at - key_size), count_++};
  if (!entries_.empty()) {
    const Entry& last = entries_.back();
    sorted_ = sorted_ && CompareKeys({arena_.data() + last.key_at, last.key_size}, {arena_.data() + key_at, key_size}) < 0;
  }
  entries_.push_back(entry);
  if (arena_.size() + entries_.size() * sizeof(Entry) >= budget_) Spill();
}

void RowSorter::SortInMemory() {
  if (sorted_) return;
  std::sort(entries_.begin(), entries_.end(), [this](const Entry& a, const Entry& b) {
    if (a.head != b.head) return a.head < b.head;
    const int order = CompareKeys({arena_.data() + a.key_at, a.key_size}, {arena_.data() + b.key_at, b.key_size});
    return order != 0 ? order < 0 : a.sequence < b.sequence;
  });
  sorted_ = true;
}

void RowSorter::Spill() {
  if (entries_.empty()) return;
  if (!keys_file_) {
    keys_file_ = std::tmpfile();
    payloads_file_ = std::tmpfile();
    if (!keys_file_ || !payloads_file_) FailTemporary("create");
    // Runs are written in large pieces (glibc ignores a size given without a buffer).
    for (auto& [file, buffer] : {std::pair{keys_file_, &keys_buffer_}, std::pair{payloads_file_, &payloads_buffer_}}) {
      buffer->reset(new char[kWriteBuffer]);
      std::setvbuf(file, buffer->get(), _IOFBF, kWriteBuffer);
    }
  }
  SortInMemory();
  Run run{keys_size_, 0, payloads_size_, 0};
  for (const Entry& e : entries_) {
    const auto key_size = static_cast<std::uint16_t>(e.key_size);
    Append(keys_file_, &key_size, sizeof key_size);
    Append(keys_file_, arena_.data() + e.key_at, e.key_size);
    Append(keys_file_, &e.sequence, sizeof e.sequence);
    Append(payloads_file_, &e.payload_size, sizeof e.payload_size);
    Append(payloads_file_, arena_.data() + e.payload_at, e.payload_size);
    keys_size_ += sizeof key_size + e.key_size + sizeof e.sequence;
    payloads_size_ += sizeof e.payload_size + e.payload_size;
  }
  if (std::fflush(keys_file_) != 0 || std::fflush(payloads_file_) != 0) FailTemporary("write");
  run.keys_end = keys_size_;
  run.payloads_end = payloads_size_;
  runs_.push_back(run);
  entries_.clear();
  arena_.clear();
  sorted_ = true;
}

void RowSorter::Merge(bool with_payloads, const Visit& visit) {
  if (runs_.empty()) {
    SortInMemory();
    for (const Entry& e : entries_)
      visit({arena_.data() + e.key_at, e.key_size}, e.sequence,
            with_payloads ? Bytes(arena_.data() + e.payload_at, e.payload_size) : Bytes());
    return;
  }
  Spill();  // the records still in memory become the last run
  std::vector<std::uint8_t>().swap(arena_);
  std::vector<Entry>().swap(entries_);
  MergeRuns(with_payloads, visit);
}

void RowSorter::MergeRuns(bool with_payloads, const Visit& visit) {
  struct Head {
    std::vector<std::uint8_t> key;
    std::uint64_t sequence = 0;
    std::unique_ptr<RunReader> keys, payloads;
  };
  std::vector<Head> heads(runs_.size());
  auto advance = [](Head& head) {
    if (head.keys->AtEnd()) return false;
    std::uint16_t size;
    std::memcpy(&size, head.keys->Take(sizeof size), sizeof size);
    const std::uint8_t* key = head.keys->Take(size);
    head.key.assign(key, key + size);
    std::memcpy(&head.sequence, head.keys->Take(sizeof head.sequence), sizeof head.sequence);
    return true;
  };
  const auto later = [&heads](std::size_t a, std::size_t b) {
    const int order = CompareKeys(heads[a].key, heads[b].key);
    return order != 0 ? order > 0 : heads[a].sequence > heads[b].sequence;
  };
  std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(later)> queue(later);
  for (std::size_t r = 0; r < runs_.size(); ++r) {
    heads[r].keys = std::make_unique<RunReader>(keys_file_, runs_[r].keys_begin, runs_[r].keys_end);
    if (with_payloads)
      heads[r].payloads = std::make_unique<RunReader>(payloads_file_, runs_[r].payloads_begin, runs_[r].payloads_end);
    if (advance(heads[r])) queue.push(r);
  }
  while (!queue.empty()) {
    const std::size_t r = queue.top();
    queue.pop();
    Head& head = heads[r];
    Bytes payload;
    if (with_payloads) {
      std::uint32_t size;
      std::memcpy(&size, head.payloads->Take(sizeof size), sizeof size);
      payload = Bytes(head.payloads->Take(size), size);
    }
    visit(head.key, head.sequence, payload);
    if (advance(head)) queue.push(r);
  }
}

}  // namespace jet::compact
