// Moved rows of Access-written samples whose pointers went with a destroyed
// or cut-off page: every copy taken back must be the very row that the
// undamaged file's pointer at the lost slot leads to, and the compaction
// keeps and records each. The damaged copies are those on which mdbtools
// once read more of the original rows than the repair kept.

#include <map>

#include <gtest/gtest.h>

#include "jet/compact/compactor.h"
#include "jet/read/moved_rows.h"
#include "support/damage.h"
#include "support/file_bytes.h"
#include "support/salvage_readback.h"
#include "support/samples.h"

namespace {

using namespace vondrel::testing;

struct MovedRowCase {
  const char* sample;
  const char* table;
  std::uint32_t zeroed_page;  // or 0
  std::size_t cut_length;     // or 0
  std::size_t copies;         // the moved rows the search takes back
};

class SalvageMovedRowsInSamples : public ::testing::TestWithParam<MovedRowCase> {};

TEST_P(SalvageMovedRowsInSamples, EveryCopyTakenIsWhereTheLostPointerLed) {
  VONDREL_REQUIRE_SAMPLES();
  const MovedRowCase& c = GetParam();
  const auto path = Sample(c.sample);
  if (!path) GTEST_SKIP() << c.sample << " is absent";
  const std::vector<std::uint8_t> bytes = ReadFileBytes(*path);
  const DamageGenerator generator(bytes);
  const DamagedCopy copy = c.zeroed_page ? generator.ZeroPage(c.zeroed_page) : generator.Truncate(c.cut_length);

  // Where each slot of the table led in the undamaged file.
  const auto original = jet::Database::FromBytes(bytes, "original");
  const jet::TableDefinition table = original->ReadTableDefinition(*original->FindTable(c.table));
  std::map<jet::RowPointer, jet::RowPointer> led_to;
  original->ScanRows(table, [&](const jet::Row& row) {
    led_to[row.listed_at] = row.pointer;
    return true;
  });

  const auto damaged = jet::Database::FromBytes(copy.bytes, "damaged", jet::OpenOptions{.salvage = true});
  const jet::TableDefinition read = damaged->ReadTableDefinition(*damaged->FindTable(c.table));
  const std::vector<jet::MovedRow> found = jet::FindMovedRows(*damaged, read, damaged->SalvageDataPages(read));
  EXPECT_EQ(found.size(), c.copies);
  for (const jet::MovedRow& row : found) {
    ASSERT_EQ(led_to.count(row.lost), 1u) << "page " << row.lost.page << ", row " << +row.lost.row;
    EXPECT_NE(led_to.at(row.lost), row.lost);  // the slot held a pointer
    EXPECT_EQ(led_to.at(row.lost), row.at);
  }

  ScratchDir dir;
  EXPECT_TRUE(WriteFileBytes(dir / "damaged.mdb", copy.bytes));
  jet::compact::CompactDatabase(dir / "damaged.mdb", dir / "output.mdb");
  const auto out = jet::Database::Open(dir / "output.mdb");
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
  std::size_t notes = 0;
  for (const std::string& error : CompactErrors(*out)) notes += error.find("was moved there from") != std::string::npos;
  EXPECT_EQ(notes, c.copies);
}

INSTANTIATE_TEST_SUITE_P(Samples, SalvageMovedRowsInSamples,
                         ::testing::Values(MovedRowCase{"jet4_fcorpus_reviews.mdb", "Reviews", 36, 0, 4},
                                           MovedRowCase{"jet4_fcorpus_reviews.mdb", "Reviews", 0, 145839, 1},
                                           MovedRowCase{"jet4_jackcess_testIndexCodes.mdb", "Table1", 0, 316133, 1}),
                         [](const auto& info) {
                           return std::string(info.param.zeroed_page ? "ZeroedPage" : "Cut") + std::to_string(info.index);
                         });

}  // namespace
