#pragma once
// Byte records handed from one thread to another in order. The writing
// thread appends records to a batch of about 1 MiB; the reading thread takes
// whole batches. At most three batches exist, so a writer that runs ahead
// waits, and memory stays bounded whatever the two threads' speeds.
//
// Either side may end early: the reader by Abandon() (the writer's next
// Append throws Abandoned), the writer by Close() with the failure that
// stopped it (the reader rethrows it after the records before it).

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace jet::compact {

class RecordPipe {
 public:
  struct Abandoned {};  // thrown to the writer once the reader has stopped

  RecordPipe() = default;
  RecordPipe(const RecordPipe&) = delete;
  RecordPipe& operator=(const RecordPipe&) = delete;

  // On the writing thread. Room for a record of `size` bytes, to be written
  // before the next call.
  std::uint8_t* Append(std::size_t size);
  // Hands over what is left; `failure`, if any, reaches the reader after it.
  void Close(std::exception_ptr failure = nullptr);

  // On the reading thread. The next record, valid until the next call;
  // false after the last one, or rethrows the writer's failure there.
  bool Next(std::span<const std::uint8_t>& record);
  // The reader takes no more records.
  void Abandon();

 private:
  // Records back to back, each after its size (8 bytes). Not zeroed
  // first: each byte is written once, by the writer.
  struct Batch {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0, capacity = 0;
  };
  std::unique_ptr<Batch> TakeEmptyBatch();  // writer

  // Writer only.
  std::unique_ptr<Batch> filling_;
  // Reader only.
  std::unique_ptr<Batch> reading_;
  std::size_t read_at_ = 0;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Batch>> full_;
  std::vector<std::unique_ptr<Batch>> empty_;
  std::size_t batches_made_ = 0;
  bool closed_ = false;
  std::atomic<bool> abandoned_ = false;  // set under mutex_, read by Append without it
  std::exception_ptr failure_;
};

}  // namespace jet::compact
