// Salvage of damage confined to pages: a zeroed data page costs only its own
// rows, a broken long-value page only the values on it, a damaged usage map
// nothing, and a row that cannot be decoded only itself. Every loss is
// listed in MSysCompactError and the output passes the checker.

#include <gtest/gtest.h>

#include "base/error.h"
#include "jet/compact/compactor.h"
#include "jet/format/data_page_decode.h"
#include "jet/format/format_constants.h"
#include "support/file_bytes.h"
#include "support/salvage_corpus.h"
#include "support/salvage_readback.h"
#include "support/samples.h"

namespace {

using namespace vondrel::testing;
using vondrel::testing::ReadFileBytes;
using vondrel::testing::ScratchDir;

class SalvagePages : public ::testing::TestWithParam<jet::FormatVersion> {
 protected:
  void SetUp() override {
    source_ = dir_ / "source.mdb";
    BuildPeopleDatabase(source_, GetParam());
    bytes_ = ReadFileBytes(source_);
    original_ = jet::Database::FromBytes(bytes_, "original");
    page_size_ = original_->constants().page_size;
    people_ = ReadRows(*original_, "People");
    ASSERT_EQ(people_.size(), 600u);
  }

  // Writes the damaged bytes, compacts them and opens the output.
  std::unique_ptr<jet::Database> Salvage(jet::compact::CompactStatistics& stats) {
    const auto damaged = dir_ / "damaged.mdb";
    EXPECT_TRUE(WriteFileBytes(damaged, bytes_));
    const auto output = dir_ / "output.mdb";
    stats = jet::compact::CompactDatabase(damaged, output);
    return jet::Database::Open(output);
  }

  ScratchDir dir_;
  std::filesystem::path source_;
  std::vector<std::uint8_t> bytes_;
  std::unique_ptr<jet::Database> original_;
  std::size_t page_size_ = 0;
  RowsById people_;
};

TEST_P(SalvagePages, AZeroedDataPageCostsOnlyItsOwnRows) {
  const std::vector<std::uint32_t> pages = DataPagesOf(*original_, "People");
  ASSERT_GE(pages.size(), 3u);
  const std::uint32_t victim = pages[1];
  const std::set<std::int32_t> lost = IdsOnPages(*original_, "People", {victim});
  ASSERT_FALSE(lost.empty());
  ZeroPage(bytes_, page_size_, victim);

  jet::compact::CompactStatistics stats;
  const auto out = Salvage(stats);
  const RowsById salvaged = ReadRows(*out, "People");
  EXPECT_EQ(salvaged.size(), people_.size() - lost.size());
  for (const auto& [id, row] : people_) {
    if (lost.count(id)) {
      EXPECT_EQ(salvaged.count(id), 0u) << id;
    } else {
      ASSERT_EQ(salvaged.count(id), 1u) << id;
      EXPECT_EQ(salvaged.at(id), row) << id;
    }
  }
  EXPECT_EQ(ReadRows(*out, "Wide"), ReadRows(*original_, "Wide"));
  const std::vector<std::string> errors = CompactErrors(*out);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("Page " + std::to_string(victim)), std::string::npos) << errors[0];
  EXPECT_NE(errors[0].find("|People"), std::string::npos) << errors[0];
  EXPECT_EQ(stats.errors_recorded, 1u);
  EXPECT_FALSE(stats.header_rebuilt);
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
}

TEST_P(SalvagePages, ABrokenLongValuePageEmptiesOnlyTheValuesOnIt) {
  std::uint32_t victim = 0;
  for (std::uint32_t page = 3; page < original_->file().page_count() && !victim; ++page) {
    const auto view = original_->file().Page(page);
    if (view.U8(0) == 0x01 && view.U32(4) == jet::kLongValueOwner) victim = page;
  }
  ASSERT_NE(victim, 0u);
  ZeroPage(bytes_, page_size_, victim);

  jet::compact::CompactStatistics stats;
  const auto out = Salvage(stats);
  const RowsById salvaged = ReadRows(*out, "People");
  ASSERT_EQ(salvaged.size(), people_.size());  // every row is kept
  std::uint64_t emptied = 0;
  for (const auto& [id, row] : people_) {
    const std::string& now = salvaged.at(id);
    if (now == row) continue;
    ++emptied;
    EXPECT_EQ(id % 10, 0) << "only long notes live on LVAL pages: " << id;
    EXPECT_EQ(now.substr(now.size() - 2), "-,") << "the broken value becomes NULL: " << id;
  }
  EXPECT_GT(emptied, 0u);
  EXPECT_EQ(stats.values_emptied, emptied);
  EXPECT_EQ(stats.rows_dropped, 0u);
  EXPECT_EQ(CompactErrors(*out).size(), emptied);
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
}

TEST_P(SalvagePages, ADamagedUsageMapIsRebuiltFromTheOwnedPages) {
  const jet::TableDefinition people = original_->ReadTableDefinition(*original_->FindTable("People"));
  const std::uint32_t map_page = people.owned_map.page;
  ASSERT_NE(map_page, 0u);
  ZeroPage(bytes_, page_size_, map_page);

  jet::compact::CompactStatistics stats;
  const auto out = Salvage(stats);
  EXPECT_EQ(ReadRows(*out, "People"), people_);
  EXPECT_EQ(ReadRows(*out, "Wide"), ReadRows(*original_, "Wide"));
  EXPECT_EQ(stats.rows_dropped, 0u);
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
}

TEST_P(SalvagePages, ARowThatCannotBeDecodedIsDroppedWhole) {
  const std::vector<std::uint32_t> pages = DataPagesOf(*original_, "People");
  const std::uint32_t page = pages[0];
  const std::size_t table_offset = original_->constants().data_row_table_offset;
  // Row 5's offset entry points past the page.
  const std::size_t entry = page * page_size_ + table_offset + 2 * 5;
  bytes_[entry] = 0xFF;
  bytes_[entry + 1] = 0x1F;

  jet::compact::CompactStatistics stats;
  const auto out = Salvage(stats);
  const RowsById salvaged = ReadRows(*out, "People");
  EXPECT_GE(stats.rows_dropped, 1u);
  EXPECT_LE(stats.rows_dropped, 2u);  // the next row ends where the damaged one starts
  EXPECT_EQ(salvaged.size(), people_.size() - stats.rows_dropped);
  for (const auto& [id, row] : salvaged) EXPECT_EQ(row, people_.at(id)) << "no half-written row: " << id;
  EXPECT_EQ(CompactErrors(*out).size(), stats.rows_dropped);
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
}

TEST_P(SalvagePages, LossesOfRowsSortedIntoKeyOrderAreListedOnce) {
  const auto scrambled = dir_ / "scrambled.mdb";
  BuildPeopleDatabase(scrambled, GetParam(), 600, true);
  bytes_ = ReadFileBytes(scrambled);
  const auto db = jet::Database::FromBytes(bytes_, "scrambled");
  const std::vector<std::uint32_t> pages = DataPagesOf(*db, "People");
  const std::size_t entry = pages[1] * page_size_ + db->constants().data_row_table_offset + 2 * 3;
  bytes_[entry] = 0xFF;
  bytes_[entry + 1] = 0x1F;
  std::uint32_t lval = 0;
  for (std::uint32_t page = 3; page < db->file().page_count() && !lval; ++page) {
    const auto view = db->file().Page(page);
    if (view.U8(0) == 0x01 && view.U32(4) == jet::kLongValueOwner) lval = page;
  }
  ASSERT_NE(lval, 0u);
  ZeroPage(bytes_, page_size_, lval);

  jet::compact::CompactStatistics stats;
  const auto out = Salvage(stats);
  EXPECT_GE(stats.rows_dropped, 1u);
  EXPECT_GE(stats.values_emptied, 1u);
  EXPECT_EQ(CompactErrors(*out).size(), stats.rows_dropped + stats.values_emptied);
  EXPECT_EQ(ReadRows(*out, "People").size(), 600u - stats.rows_dropped);
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
}

TEST_P(SalvagePages, ARowWithOneDamagedOffsetIsKeptAsWritten) {
  // A row with a short note stored in it: the offset where the note starts
  // is flipped past the end of the row's data. The note's own header then
  // says where it starts, so the row reads in one way only.
  const std::uint32_t page = DataPagesOf(*original_, "People")[0];
  const jet::DataPage data(original_->file().Page(page), original_->constants());
  const bool jet3 = GetParam() == jet::FormatVersion::Jet3;
  const std::size_t count_size = original_->constants().row_count_size;
  std::size_t entry = 0;
  for (std::uint32_t r = 0; r < data.row_count() && !entry; ++r) {
    const jet::RowSlot slot = data.Slot(r);
    if (data.bytes().I32(slot.start + count_size) % 10 == 0) continue;
    // Jet 4: mask, V (2 bytes), then the entries of slots 0, 1 downwards.
    // Jet 3: mask, V (1 byte), then one byte per entry.
    entry = page * page_size_ + (jet3 ? slot.end - 4 : slot.end - 7 + 1);
  }
  ASSERT_NE(entry, 0u);
  bytes_[entry] |= jet3 ? 0xF0 : 0x10;

  jet::compact::CompactStatistics stats;
  const auto out = Salvage(stats);
  EXPECT_EQ(ReadRows(*out, "People"), people_);
  EXPECT_EQ(stats.rows_dropped, 0u);
  const std::vector<std::string> errors = CompactErrors(*out);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("kept as read in the only way its structure allows"), std::string::npos) << errors[0];
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
}

TEST_P(SalvagePages, AMendedCatalogRowListsTheObjectItCarriesOver) {
  // Each variable-column offset of People's catalog row in turn is flipped
  // out of order. Whether or not the row reads in one way only, the catalog
  // that is read and the catalog that is copied must agree: the output is
  // sound and holds People whole or not at all.
  const jet::CatalogEntry* entry = original_->FindTable("People");
  ASSERT_NE(entry, nullptr);
  const jet::DataPage page(original_->file().Page(entry->row.page), original_->constants());
  const jet::RowSlot slot = page.Slot(entry->row.row);
  const bool jet3 = GetParam() == jet::FormatVersion::Jet3;
  const jet::io::ByteView row = page.RowBytes(entry->row.row);
  const std::size_t columns = jet3 ? row.U8(0) : row.U16(0);
  const std::size_t count_at = slot.size() - (columns + 7) / 8 - (jet3 ? 1 : 2);
  const std::size_t entries = (jet3 ? row.U8(count_at) : row.U16(count_at)) + 1u;
  ASSERT_LT(slot.size(), 256u);  // no Jet 3 jump table
  const std::vector<std::uint8_t> sound = bytes_;
  int kept = 0;
  for (std::size_t i = 0; i < entries; ++i) {
    SCOPED_TRACE("entry " + std::to_string(i));
    bytes_ = sound;
    std::filesystem::remove(dir_ / "output.mdb");
    const std::size_t at = entry->row.page * page_size_ + slot.start + count_at - (jet3 ? 1 : 2) * (i + 1);
    bytes_[jet3 ? at : at + 1] |= jet3 ? 0xF0 : 0x10;
    jet::compact::CompactStatistics stats;
    const auto out = Salvage(stats);
    EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
    if (!out->FindTable("People")) continue;
    EXPECT_EQ(ReadRows(*out, "People"), people_);
    ++kept;
  }
  EXPECT_GT(kept, 0);
}

TEST_P(SalvagePages, ASoundSourceGetsNoErrorTable) {
  jet::compact::CompactStatistics stats;
  const auto out = Salvage(stats);
  EXPECT_FALSE(stats.Salvaged());
  EXPECT_EQ(out->FindTable("MSysCompactError"), nullptr);
  EXPECT_EQ(ReadRows(*out, "People"), people_);
}

INSTANTIATE_TEST_SUITE_P(Versions, SalvagePages, ::testing::Values(jet::FormatVersion::Jet3, jet::FormatVersion::Jet4),
                         [](const auto& info) { return info.param == jet::FormatVersion::Jet3 ? "Jet3" : "Jet4"; });

}  // namespace
