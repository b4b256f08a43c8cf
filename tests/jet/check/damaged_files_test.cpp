// Thousands of damaged copies of sample databases (bit flips, zeroed pages,
// pages of random bytes, swapped pages, truncation at any length; seeds fixed)
// are opened, checked and read row by row in memory. Each must end in a full
// read or in vondrel::Error with a number and a description naming the file:
// no crash, no other exception, no sanitizer report, and bounded time.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "base/error.h"
#include "jet/check/checker.h"
#include "jet/read/database.h"
#include "support/damage.h"
#include "support/samples.h"

namespace vondrel::testing {
namespace {

using Clock = std::chrono::steady_clock;

// Small samples of both versions covering memo/OLE values, indexes, deleted
// and moved rows, deleted columns, Decimal and GUID columns.
const char* const kSamples[] = {
    "jet3_jackcess_delColTest.mdb",   "jet3_jackcess_overflowTest.mdb", "jet3_jackcess_test2.mdb",
    "jet3_jackcess_testV1997.mdb",    "jet3_jackcess_compIndexTest.mdb", "jet3_vb_tombrennfleck_blob.mdb",
    "jet4_jackcess_delTest2003.mdb",  "jet4_jackcess_overflowTest.mdb", "jet4_jackcess_test2.mdb",
    "jet4_jackcess_testUnicodeComp.mdb", "jet4_ucanaccess_functionsV2000_old.mdb",
    "jet4_jackcess_compIndexTest2003.mdb",
};
constexpr int kCopiesPerSample = 500;  // plus the truncation sweep
constexpr auto kLimitPerCopy = std::chrono::seconds(60);
const char kCopyName[] = "damaged-copy.mdb";

struct Figures {
  int copies = 0, read_fully = 0, refused = 0, tables_read = 0, tables_failed = 0;
  long long rows = 0;
  double slowest_ms = 0;
};

// Aborts the process, naming the damage, when one copy takes too long: a
// hang must fail the test rather than stall the suite.
class Watchdog {
 public:
  Watchdog() : thread_([this] { Watch(); }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void Start(const std::string& what) {
    std::lock_guard lock(mutex_);
    what_ = what;
    started_ = Clock::now();
    busy_ = true;
  }
  void Stop() {
    std::lock_guard lock(mutex_);
    busy_ = false;
  }

 private:
  void Watch() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      wake_.wait_for(lock, std::chrono::seconds(1));
      if (busy_ && Clock::now() - started_ > kLimitPerCopy) {
        std::fprintf(stderr, "damaged copy took longer than %llds: %s\n",
                     static_cast<long long>(kLimitPerCopy.count()), what_.c_str());
        std::abort();
      }
    }
  }
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false, busy_ = false;
  std::string what_;
  Clock::time_point started_;
  std::thread thread_;
};

void ExpectReportable(const vondrel::Error& error, const std::string& context) {
  EXPECT_NE(error.number(), 0) << context;
  EXPECT_FALSE(error.description().empty()) << context;
  EXPECT_NE(error.description().find(kCopyName), std::string::npos)
      << context << ": the description does not name the file: " << error.description();
}

void ReadEverything(const DamagedCopy& copy, Figures& figures) {
  const std::string context = copy.description;
  try {
    auto database = jet::Database::FromBytes(copy.bytes, kCopyName);
    jet::CheckReport report = jet::CheckDatabase(*database);
    for (const auto& finding : report.findings) EXPECT_FALSE(finding.message.empty()) << context;
    bool all_tables = true;
    for (const auto& entry : database->Tables()) {
      try {
        jet::TableDefinition table = database->ReadTableDefinition(entry);
        database->ScanRows(table, [&](const jet::Row&) {
          ++figures.rows;
          return true;
        });
        ++figures.tables_read;
      } catch (const vondrel::Error& error) {
        ExpectReportable(error, context + ", table " + entry.name);
        ++figures.tables_failed;
        all_tables = false;
      }
    }
    if (all_tables) ++figures.read_fully;
  } catch (const vondrel::Error& error) {
    ExpectReportable(error, context);
    ++figures.refused;
  } catch (const std::exception& error) {
    ADD_FAILURE() << context << ": an exception that is not vondrel::Error: " << error.what();
  }
}

std::vector<std::size_t> TruncationLengths(std::size_t size, std::size_t page_size, std::uint64_t seed) {
  std::vector<std::size_t> lengths{0, 1, 0x14, 0x15, 0x18, 0x80, page_size - 1, page_size, page_size + 1,
                                   2 * page_size, 3 * page_size - 7, size - 1};
  SeededRandom random(seed);
  for (int i = 0; i < 8; ++i) lengths.push_back(random.Below(size));
  return lengths;
}

TEST(DamagedFiles, EveryCopyIsReadOrRefusedWithAnError) {
  VONDREL_REQUIRE_SAMPLES();
  Watchdog watchdog;
  Figures figures;
  const std::optional<PageRole> kTargets[] = {std::nullopt,          PageRole::Header, PageRole::Catalog,
                                              PageRole::TableDefinition, PageRole::UsageMap, PageRole::Data,
                                              PageRole::LongValue,   PageRole::Index};
  int samples = 0;
  for (const char* name : kSamples) {
    auto path = Sample(name);
    if (!path) continue;
    ++samples;
    DamageGenerator generator(ReadFileBytes(path->string()));
    ASSERT_GT(generator.page_count(), 2u) << name;
    std::vector<DamagedCopy> copies;
    for (int seed = 0; seed < kCopiesPerSample; ++seed) {
      copies.push_back(generator.Random(1000u * static_cast<unsigned>(samples) + static_cast<unsigned>(seed),
                                        kTargets[seed % std::size(kTargets)]));
    }
    for (std::size_t length : TruncationLengths(generator.original().size(), generator.page_size(), samples))
      copies.push_back(generator.Truncate(length));
    for (auto& copy : copies) {
      copy.description = std::string(name) + ": " + copy.description;
      watchdog.Start(copy.description);
      auto started = Clock::now();
      ReadEverything(copy, figures);
      double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
      watchdog.Stop();
      figures.slowest_ms = std::max(figures.slowest_ms, ms);
      ++figures.copies;
      if (::testing::Test::HasFailure() && figures.copies > 0 && figures.copies % 50 == 0) break;
    }
  }
  if (samples == 0) GTEST_SKIP() << "none of the chosen samples is here";
  std::cout << "damaged copies " << figures.copies << " of " << samples << " samples: read fully "
            << figures.read_fully << ", refused at open " << figures.refused << ", tables read "
            << figures.tables_read << ", tables refused " << figures.tables_failed << ", rows read " << figures.rows
            << ", slowest copy " << static_cast<long>(figures.slowest_ms) << " ms\n";
  EXPECT_GT(figures.copies, 1000);
}

}  // namespace
}  // namespace vondrel::testing
