#include "jet/write/entry_relay.h"

#include <utility>

namespace jet::write {

void EntryRelay::Start() {
  const std::lock_guard<std::mutex> lock(mutex_);
  started_ = true;
  producer_done_ = false;
}

void EntryRelay::Produce() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return full_.size() < kBatchesAhead || given_up_; });
    if (given_up_) break;
    Batch batch;
    if (!empty_.empty()) {
      batch = std::move(empty_.back());
      empty_.pop_back();
    }
    lock.unlock();
    bool more = true;
    std::exception_ptr failure;
    try {
      if (batch.entries.size() < kBatchEntries) batch.entries.resize(kBatchEntries);
      batch.size = 0;
      while (batch.size < kBatchEntries && (more = entries_.Next(batch.entries[batch.size]))) ++batch.size;
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    if (batch.size > 0) full_.push_back(std::move(batch));
    if (failure || !more) {
      failure_ = failure;
      ended_ = true;
      break;
    }
    changed_.notify_all();
  }
  producer_done_ = true;
  // Told under the lock: once the consumer sees this, it may destroy the relay.
  changed_.notify_all();
}

bool EntryRelay::Next(IndexEntry& out) {
  if (taken_ == taking_.size) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (taking_.size > 0) empty_.push_back(std::move(taking_));
    taking_ = Batch();
    taken_ = 0;
    changed_.wait(lock, [&] { return !full_.empty() || ended_; });
    if (full_.empty()) {
      if (failure_) std::rethrow_exception(failure_);
      return false;
    }
    taking_ = std::move(full_.front());
    full_.pop_front();
    changed_.notify_all();  // room for another batch
  }
  std::swap(out, taking_.entries[taken_++]);
  return true;
}

void EntryRelay::GiveUp() {
  std::unique_lock<std::mutex> lock(mutex_);
  given_up_ = true;
  changed_.notify_all();
  changed_.wait(lock, [&] { return producer_done_; });
}

}  // namespace jet::write
