#include "jet/compact/row_sorter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "base/sort_by_head.h"
#include "jet/format/index_key.h"
#include "jet/io/write_failure.h"

namespace jet::compact {
namespace {

constexpr std::size_t kReadBuffer = std::size_t{64} << 10;
constexpr std::size_t kWriteBuffer = std::size_t{1} << 20;

[[noreturn]] void FailTemporary(const char* what) {
  io::ThrowWriteFailure(errno, std::string("cannot ") + what + " the temporary file that sorts rows");
}

// A key's first 8 bytes, big-endian, zero padded: most comparisons of two
// keys end there.
std::uint64_t KeyHead(const std::uint8_t* key, std::size_t size) {
  std::uint64_t head = 0;
  for (std::size_t i = 0; i < 8; ++i) head = head << 8 | (i < size ? key[i] : 0);
  return head;
}

}  // namespace

void RowSorter::Spool::Put(const void* data, std::size_t length) {
  if (buffered + length > kWriteBuffer) Flush();
  if (length >= kWriteBuffer) {  // a large record goes straight to the file
    if (!file.WriteAt(size, static_cast<const std::uint8_t*>(data), length)) FailTemporary("write");
  } else {
    std::memcpy(buffer.get() + buffered, data, length);
    buffered += length;
  }
  size += length;
}

void RowSorter::Spool::Flush() {
  if (buffered == 0) return;
  if (!file.WriteAt(size - buffered, buffer.get(), buffered)) FailTemporary("write");
  buffered = 0;
}

// Reads one run's records back in order, through a buffer of its own.
class RowSorter::RunReader {
 public:
  RunReader(const io::RawFile& file, std::uint64_t begin, std::uint64_t end)
      : file_(file),
        at_(begin),
        end_(end),
        capacity_(static_cast<std::size_t>(std::min<std::uint64_t>(kReadBuffer, end - begin))),
        buffer_(new std::uint8_t[capacity_]) {}

  // The next `size` bytes, valid until the next call; throws when the run
  // ends before them.
  const std::uint8_t* Take(std::size_t size) {
    if (filled_ - used_ < size) [[unlikely]]
      Fill(size);
    const std::uint8_t* data = buffer_.get() + used_;
    used_ += size;
    return data;
  }
  bool AtEnd() const { return used_ == filled_ && at_ == end_; }

 private:
  // Out of line, so that Take() stays a few instructions: it runs several
  // times per record, Fill() once per buffer.
  [[gnu::noinline]] void Fill(std::size_t size) {
    const std::size_t kept = filled_ - used_;
    if (size > capacity_) {  // a record larger than the buffer
      std::unique_ptr<std::uint8_t[]> larger(new std::uint8_t[size]);
      std::memcpy(larger.get(), buffer_.get() + used_, kept);
      buffer_ = std::move(larger);
      capacity_ = size;
    } else {
      std::memmove(buffer_.get(), buffer_.get() + used_, kept);
    }
    used_ = 0;
    filled_ = kept;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(capacity_ - filled_, end_ - at_));
    for (std::size_t goal = filled_ + want; filled_ < goal;) {
      const std::ptrdiff_t n = file_.ReadAt(at_, buffer_.get() + filled_, goal - filled_);
      if (n == 0) errno = EIO;  // the file is shorter than what was written to it
      if (n <= 0) FailTemporary("read back");
      filled_ += static_cast<std::size_t>(n);
      at_ += static_cast<std::uint64_t>(n);
    }
    if (filled_ < size) {  // a record cut short
      errno = EIO;
      FailTemporary("read back");
    }
  }

  const io::RawFile& file_;
  std::uint64_t at_, end_;
  std::size_t capacity_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t filled_ = 0, used_ = 0;
};

RowSorter::RowSorter(std::size_t memory_budget) : batch_budget_(std::max<std::size_t>(memory_budget / 2, 1)) {}

RowSorter::~RowSorter() {
  if (writer_.joinable()) writer_.join();
}

std::uint8_t* RowSorter::Arena::Extend(std::size_t size) {
  if (capacity_ - size_ < size) Reserve(std::max(size_ + size, capacity_ * 2));
  std::uint8_t* at = bytes_.get() + size_;
  size_ += size;
  return at;
}

void RowSorter::Arena::Reserve(std::size_t capacity) {
  if (capacity <= capacity_) return;
  std::unique_ptr<std::uint8_t[]> larger = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
  if (size_ > 0) std::memcpy(larger.get(), bytes_.get(), size_);
  bytes_ = std::move(larger);
  capacity_ = capacity;
}

void RowSorter::Add(Bytes key, Bytes payload) {
  Add(key, payload.size(), [&](std::uint8_t* at) {
    if (!payload.empty()) std::memcpy(at, payload.data(), payload.size());
  });
}

void RowSorter::Add(Bytes key, std::size_t payload_size, const std::function<void(std::uint8_t*)>& write) {
  if (key.size() > 0xFFFF) throw std::length_error("sort key too long");
  Arena& arena = gathering_.arena;
  // Reserved once (address space only until used), so that neither grows
  // past the budget by doubling, nor touches memory twice as it grows.
  arena.Reserve(batch_budget_);
  if (gathering_.entries.capacity() == 0) gathering_.entries.reserve(batch_budget_ / Batch::kEntryBytes + 1);
  const std::size_t key_at = arena.size();
  std::uint8_t* at = arena.Extend(key.size() + payload_size);
  if (!key.empty()) std::memcpy(at, key.data(), key.size());
  write(at + key.size());
  Added(key_at, key.size());
}

void RowSorter::Added(std::size_t key_at, std::size_t key_size) {
  const Arena& arena = gathering_.arena;
  std::vector<Entry>& entries = gathering_.entries;
  const Entry entry{KeyHead(arena.data() + key_at, key_size), key_at, key_at + key_size, static_cast<std::uint32_t>(key_size),
                    static_cast<std::uint32_t>(arena.size() - key_at - key_size), count_++};
  const Bytes key{arena.data() + key_at, key_size};
  if (!entries.empty()) {
    const Entry& last = entries.back();
    if (gathering_.sorted || in_added_order_) {
      const int order = CompareKeys({arena.data() + last.key_at, last.key_size}, key);
      gathering_.sorted = gathering_.sorted && order < 0;
      in_added_order_ = in_added_order_ && order <= 0;
    }
  } else if (in_added_order_ && batches_spilled_ > 0) {
    in_added_order_ = CompareKeys(last_spilled_key_, key) <= 0;
  }
  entries.push_back(entry);
  if (gathering_.bytes() >= batch_budget_) Spill();
}

void RowSorter::Batch::Sort() {
  if (sorted) return;
  // By head first, in linear time; equal heads keep the order added, which
  // is the order of their sequence numbers.
  const std::size_t n = entries.size();
  order.reserve(entries.capacity());
  spare.reserve(entries.capacity());
  order.resize(n);
  spare.resize(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = {entries[i].head, i};
  vondrel::StableSortByHead(order.data(), spare.data(), n);
  // Then runs of equal heads by their whole keys, still stably.
  const auto key_of = [this](const SortItem& item) {
    const Entry& e = entries[item.entry];
    return Bytes(arena.data() + e.key_at, e.key_size);
  };
  for (std::size_t first = 0; first < n;) {
    std::size_t last = first + 1;
    while (last < n && order[last].head == order[first].head) ++last;
    if (last - first > 1) {
      std::stable_sort(order.begin() + static_cast<std::ptrdiff_t>(first),
                       order.begin() + static_cast<std::ptrdiff_t>(last),
                       [&](const SortItem& a, const SortItem& b) { return CompareKeys(key_of(a), key_of(b)) < 0; });
    }
    first = last;
  }
  by_order = true;
  sorted = true;
}

void RowSorter::Batch::Clear() {
  entries.clear();
  order.clear();
  spare.clear();
  arena.clear();
  sorted = true;
  by_order = false;
}

void RowSorter::Spill() {
  if (gathering_.entries.empty()) return;
  FinishWriting();
  if (!keys_.file.is_open()) {
    keys_.file = io::RawFile::CreateTemporary();
    payloads_.file = io::RawFile::CreateTemporary();
    if (!keys_.file.is_open() || !payloads_.file.is_open()) FailTemporary("create");
    // Runs are written in large pieces.
    keys_.buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kWriteBuffer);
    payloads_.buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kWriteBuffer);
  }
  if (in_added_order_) {
    const Entry& last = gathering_.entries.back();
    last_spilled_key_.assign(gathering_.arena.data() + last.key_at, gathering_.arena.data() + last.key_at + last.key_size);
  }
  // The batch just written lends its buffers to the next one.
  std::swap(gathering_, writing_);
  ++batches_spilled_;
  writer_ = std::thread([this] {
    try {
      WriteRun(writing_);
    } catch (...) {
      writer_failure_ = std::current_exception();
    }
  });
}

void RowSorter::FinishWriting() {
  if (writer_.joinable()) writer_.join();
  if (writer_failure_) std::rethrow_exception(std::exchange(writer_failure_, nullptr));
}

void RowSorter::WriteRun(Batch& batch) {
  batch.Sort();
  Run run{keys_.size, 0, payloads_.size, 0};
  const std::uint8_t* arena = batch.arena.data();
  const std::size_t count = batch.entries.size();
  for (std::size_t i = 0; i < count; ++i) {
    // Sorted records lie anywhere in the arena: ask for the one a few
    // places ahead before it is needed.
    constexpr std::size_t kAhead = 8;
    if (i + kAhead < count) __builtin_prefetch(arena + batch.InKeyOrder(i + kAhead).key_at);
    const Entry& e = batch.InKeyOrder(i);
    const auto key_size = static_cast<std::uint16_t>(e.key_size);
    keys_.Put(&key_size, sizeof key_size);
    keys_.Put(arena + e.key_at, e.key_size);
    keys_.Put(&e.sequence, sizeof e.sequence);
    payloads_.Put(&e.payload_size, sizeof e.payload_size);
    payloads_.Put(arena + e.payload_at, e.payload_size);
  }
  keys_.Flush();
  payloads_.Flush();
  run.keys_end = keys_.size;
  run.payloads_end = payloads_.size;
  runs_.push_back(run);
  batch.Clear();
}

void RowSorter::Merge(const Visit& visit) {
  if (batches_spilled_ == 0) {
    gathering_.Sort();
    const std::uint8_t* arena = gathering_.arena.data();
    for (std::size_t i = 0; i < gathering_.entries.size(); ++i) {
      const Entry& e = gathering_.InKeyOrder(i);
      visit({arena + e.key_at, e.key_size}, e.sequence, {arena + e.payload_at, e.payload_size});
    }
    return;
  }
  if (!gathering_.entries.empty()) {  // the records still in memory become the last run
    FinishWriting();
    std::swap(gathering_, writing_);
    ++batches_spilled_;
    WriteRun(writing_);
  }
  FinishWriting();
  gathering_ = Batch();
  writing_ = Batch();
  keys_.buffer.reset();
  payloads_.buffer.reset();
  MergeRuns(visit);
}

void RowSorter::MergeRuns(const Visit& visit) {
  // Each run's next record. Its key is viewed in the run reader's buffer,
  // where it stays until that run is advanced.
  struct Head {
    std::uint64_t prefix = 0;  // KeyHead of key
    Bytes key;
    std::uint64_t sequence = 0;
    std::unique_ptr<RunReader> keys, payloads;
  };
  std::vector<Head> heads(runs_.size());
  const auto advance = [](Head& head) {
    if (head.keys->AtEnd()) return false;
    std::uint16_t size;
    std::memcpy(&size, head.keys->Take(sizeof size), sizeof size);
    // The key and its sequence number in one piece, so that the key stays in
    // the buffer while the number is read.
    const std::uint8_t* key = head.keys->Take(size + sizeof head.sequence);
    head.key = Bytes(key, size);
    head.prefix = KeyHead(key, size);
    std::memcpy(&head.sequence, key + size, sizeof head.sequence);
    return true;
  };
  const auto before = [&heads](std::uint32_t a, std::uint32_t b) {
    const Head& x = heads[a];
    const Head& y = heads[b];
    if (x.prefix != y.prefix) return x.prefix < y.prefix;
    const int order = CompareKeys(x.key, y.key);
    return order != 0 ? order < 0 : x.sequence < y.sequence;
  };
  // A binary min-heap of runs. The run on top is advanced in place and sunk
  // to its level: one pass down per record rather than a pop and a push.
  std::vector<std::uint32_t> heap;
  heap.reserve(runs_.size());
  const auto sink = [&](std::size_t at) {
    const std::uint32_t moving = heap[at];
    for (;;) {
      std::size_t child = 2 * at + 1;
      if (child >= heap.size()) break;
      if (child + 1 < heap.size() && before(heap[child + 1], heap[child])) ++child;
      if (!before(heap[child], moving)) break;
      heap[at] = heap[child];
      at = child;
    }
    heap[at] = moving;
  };
  for (std::size_t r = 0; r < runs_.size(); ++r) {
    heads[r].keys = std::make_unique<RunReader>(keys_.file, runs_[r].keys_begin, runs_[r].keys_end);
    heads[r].payloads = std::make_unique<RunReader>(payloads_.file, runs_[r].payloads_begin, runs_[r].payloads_end);
    if (advance(heads[r])) heap.push_back(static_cast<std::uint32_t>(r));
  }
  for (std::size_t at = heap.size() / 2; at-- > 0;) sink(at);
  while (!heap.empty()) {
    Head& head = heads[heap.front()];
    std::uint32_t size;
    std::memcpy(&size, head.payloads->Take(sizeof size), sizeof size);
    visit(head.key, head.sequence, Bytes(head.payloads->Take(size), size));
    if (!advance(head)) {
      heap.front() = heap.back();
      heap.pop_back();
      if (heap.empty()) break;
    }
    sink(0);
  }
}

}  // namespace jet::compact
