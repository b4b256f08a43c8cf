#include "jet/compact/record_pipe.h"

#include <cstring>
#include <utility>

namespace jet::compact {
namespace {

// Enough records a batch that handing one over costs little beside them.
constexpr std::size_t kBatchBytes = std::size_t{1} << 20;
constexpr std::size_t kBatches = 3;

}  // namespace

std::uint8_t* RecordPipe::Append(std::size_t size) {
  if (abandoned_.load(std::memory_order_relaxed)) throw Abandoned{};
  const std::size_t needed = sizeof(std::uint64_t) + size;
  if (filling_ && filling_->size + needed > filling_->capacity) {
    {
      std::lock_guard lock(mutex_);
      full_.push_back(std::move(filling_));
    }
    changed_.notify_all();
  }
  if (!filling_) filling_ = TakeEmptyBatch();
  Batch& batch = *filling_;
  if (batch.size + needed > batch.capacity) {  // one record larger than a batch, which holds nothing yet
    batch.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(needed);
    batch.capacity = needed;
  }
  std::uint8_t* at = batch.bytes.get() + batch.size;
  batch.size += needed;
  const auto record_size = static_cast<std::uint64_t>(size);
  std::memcpy(at, &record_size, sizeof record_size);
  return at + sizeof record_size;
}

void RecordPipe::Close(std::exception_ptr failure) {
  {
    std::lock_guard lock(mutex_);
    if (filling_ && filling_->size > 0) full_.push_back(std::move(filling_));
    closed_ = true;
    failure_ = std::move(failure);
  }
  changed_.notify_all();
}

bool RecordPipe::Next(std::span<const std::uint8_t>& record) {
  for (;;) {
    if (reading_ && read_at_ < reading_->size) {
      std::uint64_t size;
      std::memcpy(&size, reading_->bytes.get() + read_at_, sizeof size);
      record = {reading_->bytes.get() + read_at_ + sizeof size, static_cast<std::size_t>(size)};
      read_at_ += sizeof size + record.size();
      return true;
    }
    std::unique_lock lock(mutex_);
    if (reading_) {
      empty_.push_back(std::move(reading_));
      changed_.notify_all();
    }
    changed_.wait(lock, [&] { return !full_.empty() || closed_; });
    if (full_.empty()) {
      if (failure_) std::rethrow_exception(failure_);
      return false;
    }
    reading_ = std::move(full_.front());
    full_.pop_front();
    read_at_ = 0;
  }
}

void RecordPipe::Abandon() {
  {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
  }
  changed_.notify_all();
}

std::unique_ptr<RecordPipe::Batch> RecordPipe::TakeEmptyBatch() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return abandoned_ || !empty_.empty() || batches_made_ < kBatches; });
  if (abandoned_) throw Abandoned{};
  std::unique_ptr<Batch> batch;
  if (!empty_.empty()) {
    batch = std::move(empty_.back());
    empty_.pop_back();
  } else {
    ++batches_made_;
    batch = std::make_unique<Batch>();
  }
  lock.unlock();
  if (batch->capacity != kBatchBytes) {  // new, or grown for one large record: not kept
    batch->bytes = std::make_unique_for_overwrite<std::uint8_t[]>(kBatchBytes);
    batch->capacity = kBatchBytes;
  }
  batch->size = 0;
  return batch;
}

}  // namespace jet::compact
