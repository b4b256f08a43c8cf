#include "jet/compact/sorted_row_reader.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "base/error.h"

namespace jet::compact {
namespace {

// Few enough batches that the rows read ahead stay a few MiB.
constexpr std::size_t kBatches = 3;

bool Within(const io::ByteView& view, std::span<const std::uint8_t> bytes) {
  const std::less_equal<const std::uint8_t*> at_or_before;
  return at_or_before(bytes.data(), view.data()) && at_or_before(view.data() + view.size(), bytes.data() + bytes.size());
}

}  // namespace

std::size_t SortedRowReader::Batch::size() const {
  return bytes.size() + fields.size() * sizeof(StoredField) + rows.size() * sizeof(Placed);
}

void SortedRowReader::Batch::Clear() {
  if (bytes.capacity() > kBatchBytes) {  // grown for one large row: not kept
    bytes = {};
    bytes.reserve(kBatchBytes);
  }
  // Nor are the lists of one row with more fields than a batch holds.
  if (fields.capacity() * sizeof(StoredField) > kBatchBytes) fields = {};
  bytes.clear();
  fields.clear();
  events.clear();
  damage.clear();
  rows.clear();
}

SortedRowReader::SortedRowReader(RowSorter& sorter, const Database& source, const TableDefinition& table,
                                 bool read_long_values, bool report_damage)
    : sorter_(sorter),
      source_(source),
      table_(table),
      read_long_values_(read_long_values),
      report_damage_(report_damage),
      thread_([this] { Read(); }) {}

SortedRowReader::~SortedRowReader() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

const SortedRow* SortedRowReader::Next() {
  for (;;) {
    if (reading_ && next_row_ < reading_->rows.size()) {
      const Placed& placed = reading_->rows[next_row_++];
      row_.pointer = placed.pointer;
      row_.listed_at = placed.listed_at;
      row_.events = std::span(reading_->events).subspan(placed.events_at, placed.event_count);
      row_.long_value_damage = std::span(reading_->damage).subspan(placed.damage_at, placed.damage_count);
      row_.fields = std::span(reading_->fields).subspan(placed.fields_at, placed.field_count);
      return &row_;
    }
    std::unique_lock lock(mutex_);
    if (reading_) {
      empty_.push_back(std::move(reading_));
      changed_.notify_all();
    }
    changed_.wait(lock, [&] { return !full_.empty() || ended_; });
    if (full_.empty()) {
      if (end_failure_) std::rethrow_exception(end_failure_);
      return nullptr;
    }
    reading_ = std::move(full_.front());
    full_.pop_front();
    next_row_ = 0;
  }
}

void SortedRowReader::Read() {
  std::exception_ptr failure;
  try {
    ScanOptions options;  // the long-value reads consult only the damage report
    if (report_damage_) {
      options.on_damaged_value = [this](RowPointer, const ColumnDefinition& column, const vondrel::Error& error) {
        const auto position = static_cast<std::uint16_t>(&column - table_.columns.data());
        row_damage_.push_back({position, error.number(), error.description()});
      };
    }
    sorter_.Merge([&](RowSorter::Bytes, std::uint64_t, RowSorter::Bytes payload) {
      DecodeRowRecord(payload, record_);
      row_damage_.clear();
      if (read_long_values_)
        source_.AssembleLongValuesApart(table_, record_.pointer, record_.fields, long_values_, options);
      Place(payload);
    });
  } catch (const Stopped&) {
    return;
  } catch (...) {
    failure = std::current_exception();
  }
  if (filling_) largest_batch_ = std::max(largest_batch_.load(), filling_->size());
  std::lock_guard lock(mutex_);
  if (filling_) full_.push_back(std::move(filling_));
  ended_ = true;
  end_failure_ = failure;
  changed_.notify_all();
}

// Copies the decoded row into the batch being filled: the record's bytes,
// then each long value read apart from them, with the fields made to view
// the copies.
void SortedRowReader::Place(std::span<const std::uint8_t> payload) {
  std::size_t needed = payload.size();
  for (const StoredField& field : record_.fields)
    if (field.bytes.size() > 0 && !Within(field.bytes, payload)) needed += field.bytes.size();
  const std::size_t cost = needed + record_.fields.size() * sizeof(StoredField) + sizeof(Placed);
  if (filling_ && !filling_->rows.empty() && filling_->size() + cost > kBatchBytes) HandOver(std::move(filling_));
  if (!filling_) filling_ = TakeEmptyBatch();
  Batch& batch = *filling_;
  // Within its size the bytes never outgrow the capacity reserved; only a
  // batch that holds no row yet grows for a row larger than a batch.
  if (batch.bytes.size() + needed > batch.bytes.capacity()) batch.bytes.reserve(needed);

  const std::size_t copy_at = batch.bytes.size();
  batch.bytes.insert(batch.bytes.end(), payload.begin(), payload.end());
  const std::uint8_t* copy = batch.bytes.data() + copy_at;
  batch.rows.push_back({record_.pointer, record_.listed_at, batch.fields.size(), record_.fields.size(),
                        batch.events.size(), record_.events.size(), batch.damage.size(), row_damage_.size()});
  for (const StoredField& field : record_.fields) {
    StoredField& placed = batch.fields.emplace_back(field);
    const io::ByteView& view = field.bytes;
    if (view.size() == 0) {
      placed.bytes = io::ByteView(copy, 0, view.source());
    } else if (Within(view, payload)) {
      placed.bytes = io::ByteView(copy + (view.data() - payload.data()), view.size(), view.source());
    } else {
      const std::size_t at = batch.bytes.size();
      batch.bytes.insert(batch.bytes.end(), view.data(), view.data() + view.size());
      placed.bytes = io::ByteView(batch.bytes.data() + at, view.size(), view.source());
    }
  }
  batch.events.insert(batch.events.end(), record_.events.begin(), record_.events.end());
  batch.damage.insert(batch.damage.end(), std::make_move_iterator(row_damage_.begin()),
                      std::make_move_iterator(row_damage_.end()));
}

std::unique_ptr<SortedRowReader::Batch> SortedRowReader::TakeEmptyBatch() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return stopping_ || !empty_.empty() || batches_made_ < kBatches; });
  if (stopping_) throw Stopped{};
  if (!empty_.empty()) {
    std::unique_ptr<Batch> batch = std::move(empty_.back());
    empty_.pop_back();
    lock.unlock();
    batch->Clear();
    return batch;
  }
  ++batches_made_;
  lock.unlock();
  auto batch = std::make_unique<Batch>();
  // Address space until used: the lists never move, and no memory is
  // touched twice as they grow.
  batch->bytes.reserve(kBatchBytes);
  batch->fields.reserve(kBatchBytes / sizeof(StoredField));
  batch->rows.reserve(kBatchBytes / sizeof(Placed));
  return batch;
}

void SortedRowReader::HandOver(std::unique_ptr<Batch> batch) {
  largest_batch_ = std::max(largest_batch_.load(), batch->size());
  {
    std::lock_guard lock(mutex_);
    full_.push_back(std::move(batch));
  }
  changed_.notify_all();
}

}  // namespace jet::compact
