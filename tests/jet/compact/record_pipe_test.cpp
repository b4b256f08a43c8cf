// Records cross from one thread to another whole and in order, across
// batches and past a record larger than a batch; a writer's failure arrives
// after its records; a reader that stops early releases a writer that waits.
#include "jet/compact/record_pipe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace jet::compact {
namespace {

// Record n: n bytes of (n & 0xFF), its number first; record 700 is 3 MiB.
std::size_t RecordSize(std::uint32_t n) { return n == 700 ? std::size_t{3} << 20 : 4 + n * 7; }

void WriteRecord(RecordPipe& pipe, std::uint32_t n) {
  const std::size_t size = RecordSize(n);
  std::uint8_t* out = pipe.Append(size);
  std::memcpy(out, &n, 4);
  std::memset(out + 4, static_cast<int>(n & 0xFF), size - 4);
}

bool IsRecord(std::span<const std::uint8_t> record, std::uint32_t n) {
  if (record.size() != RecordSize(n)) return false;
  std::uint32_t number;
  std::memcpy(&number, record.data(), 4);
  if (number != n) return false;
  for (std::size_t i = 4; i < record.size(); ++i)
    if (record[i] != (n & 0xFF)) return false;
  return true;
}

TEST(RecordPipe, RecordsArriveWholeAndInOrderThenTheWritersFailure) {
  RecordPipe pipe;
  constexpr std::uint32_t kRecords = 2000;  // about 14 MiB: many batches
  std::thread writer([&] {
    for (std::uint32_t n = 0; n < kRecords; ++n) WriteRecord(pipe, n);
    pipe.Close(std::make_exception_ptr(std::runtime_error("disk gone")));
  });
  std::uint32_t read = 0;
  bool intact = true;
  std::string failure;
  try {
    std::span<const std::uint8_t> record;
    while (pipe.Next(record)) intact = intact && IsRecord(record, read++);
  } catch (const std::runtime_error& e) {
    failure = e.what();
  }
  writer.join();
  EXPECT_EQ(read, kRecords);
  EXPECT_TRUE(intact);
  EXPECT_EQ(failure, "disk gone");
}

TEST(RecordPipe, AWriterWaitsForRoomAndIsReleasedWhenTheReaderStops) {
  RecordPipe pipe;
  std::atomic<std::uint32_t> written = 0;
  bool abandoned = false;
  std::thread writer([&] {
    try {
      for (;; ++written) WriteRecord(pipe, written % 600);  // never closes of itself
    } catch (const RecordPipe::Abandoned&) {
      abandoned = true;
    }
  });
  // Nothing is read: the writer fills the batches it may and waits.
  std::uint32_t seen = 0;
  do {
    seen = written;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  } while (written != seen);
  EXPECT_GT(seen, 1000u);  // three batches of 1 MiB, records of 2 KiB on average
  EXPECT_LT(seen, 2500u);
  pipe.Abandon();
  writer.join();
  EXPECT_TRUE(abandoned);
  EXPECT_EQ(written, seen);
}

TEST(RecordPipe, ClosingWithoutRecordsEndsTheReader) {
  RecordPipe pipe;
  pipe.Close();
  std::span<const std::uint8_t> record;
  EXPECT_FALSE(pipe.Next(record));
}

}  // namespace
}  // namespace jet::compact
