// Salvage of damaged structures: a zeroed header is rebuilt from the page
// layout, a table whose definition cannot be read is lost together with
// everything that names it, a catalog that cannot be found anywhere fails
// with a numbered error and leaves nothing, and a row whose key repeats a
// unique key after damage is dropped rather than written.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "base/error.h"
#include "jet/compact/compactor.h"
#include "jet/format/format_constants.h"
#include "support/file_bytes.h"
#include "support/salvage_corpus.h"
#include "support/salvage_readback.h"
#include "support/samples.h"

namespace {

using namespace vondrel::testing;
using vondrel::testing::ReadFileBytes;
using vondrel::testing::ScratchDir;

class SalvageStructure : public ::testing::TestWithParam<jet::FormatVersion> {
 protected:
  void SetUp() override {
    source_ = dir_ / "source.mdb";
    BuildPeopleDatabase(source_, GetParam());
    bytes_ = ReadFileBytes(source_);
    original_ = jet::Database::FromBytes(bytes_, "original");
    page_size_ = original_->constants().page_size;
  }

  std::filesystem::path WriteDamaged() {
    const auto damaged = dir_ / "damaged.mdb";
    std::filesystem::remove(damaged);
    EXPECT_TRUE(WriteFileBytes(damaged, bytes_));
    return damaged;
  }

  // The error number of a compaction expected to fail; the output must not exist.
  int FailingCompaction() {
    const auto output = dir_ / "output.mdb";
    try {
      jet::compact::CompactDatabase(WriteDamaged(), output);
    } catch (const vondrel::Error& error) {
      EXPECT_FALSE(std::filesystem::exists(output));
      EXPECT_FALSE(error.description().empty());
      return error.number();
    }
    ADD_FAILURE() << "the compaction succeeded";
    return 0;
  }

  ScratchDir dir_;
  std::filesystem::path source_;
  std::vector<std::uint8_t> bytes_;
  std::unique_ptr<jet::Database> original_;
  std::size_t page_size_ = 0;
};

TEST_P(SalvageStructure, AZeroedHeaderIsRebuiltFromThePageLayout) {
  ZeroPage(bytes_, page_size_, 0);
  const auto output = dir_ / "output.mdb";
  const jet::compact::CompactStatistics stats = jet::compact::CompactDatabase(WriteDamaged(), output);
  EXPECT_TRUE(stats.header_rebuilt);
  const auto out = jet::Database::Open(output);
  EXPECT_EQ(out->version(), GetParam());
  EXPECT_EQ(out->header().code_page, 1252);
  EXPECT_EQ(ReadRows(*out, "People"), ReadRows(*original_, "People"));
  const std::vector<std::string> errors = CompactErrors(*out);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("header"), std::string::npos) << errors[0];
  EXPECT_NE(errors[0].find("defaults of the version"), std::string::npos) << errors[0];
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
  // The rebuilt output is itself sound: compacting it again records nothing.
  const auto again = dir_ / "again.mdb";
  EXPECT_FALSE(jet::compact::CompactDatabase(output, again).Salvaged());
}

TEST_P(SalvageStructure, TheStateOfAnInterruptedWriteIsCleared) {
  // Commit slots left by a writer that never finished.
  const std::size_t commit = original_->constants().commit_area_offset;
  for (std::size_t slot = 3; slot < 9; ++slot) {
    bytes_[commit + 2 * slot] = 0x07;
    bytes_[commit + 2 * slot + 1] = 0x02;
  }
  const auto output = dir_ / "output.mdb";
  jet::compact::CompactDatabase(WriteDamaged(), output);
  const std::vector<std::uint8_t> written = ReadFileBytes(output);
  ASSERT_GE(written.size(), page_size_);
  EXPECT_EQ(written[commit], 0x01);
  EXPECT_EQ(written[commit + 1], 0x01);
  for (std::size_t slot = 1; slot < 256; ++slot) {
    EXPECT_EQ(written[commit + 2 * slot], 0x00) << slot;
    EXPECT_EQ(written[commit + 2 * slot + 1], 0x01) << slot;
  }
}

// A bit flipped into the high byte of a table's catalog Id: the table is
// still read from the page in the Id's low bits, and its catalog row must
// name the table's new definition page, not keep the damaged Id.
TEST_P(SalvageStructure, ADamagedHighByteOfATableIdStillNamesItsTable) {
  const jet::CatalogEntry people = *original_->FindTable("People");
  const jet::TableDefinition& catalog = original_->catalog_definition();
  std::size_t id_offset = 0;
  original_->ScanRows(catalog, [&](const jet::Row& row) {
    if (row.fields[0].is_null || row.fields[0].bytes.size() != 4) return true;
    std::int32_t id;
    std::memcpy(&id, row.fields[0].bytes.data(), 4);
    if (id != people.id) return true;
    const jet::io::ByteView page = original_->file().Page(row.pointer.page);
    id_offset = std::size_t{row.pointer.page} * page_size_ +
                static_cast<std::size_t>(row.fields[0].bytes.data() - page.data());
    return false;
  });
  ASSERT_NE(id_offset, 0u);
  bytes_[id_offset + 3] ^= 0x40;

  const auto output = dir_ / "output.mdb";
  jet::compact::CompactDatabase(WriteDamaged(), output);
  const auto out = jet::Database::Open(output);
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
  const jet::CatalogEntry* written = out->FindTable("People");
  ASSERT_NE(written, nullptr);
  EXPECT_EQ(static_cast<std::uint32_t>(written->id), written->TdefPage());
  EXPECT_EQ(ReadRows(*out, "People"), ReadRows(*original_, "People"));
}

TEST_P(SalvageStructure, ALostDefinitionTakesItsCatalogRowAndPermissionsWithIt) {
  const jet::CatalogEntry wide_entry = *original_->FindTable("Wide");
  const jet::TableDefinition wide = original_->ReadTableDefinition(wide_entry);
  ZeroPage(bytes_, page_size_, wide.pages[0]);

  const auto output = dir_ / "output.mdb";
  const jet::compact::CompactStatistics stats = jet::compact::CompactDatabase(WriteDamaged(), output);
  EXPECT_EQ(stats.tables_lost, 1u);
  const auto out = jet::Database::Open(output);
  EXPECT_EQ(out->FindTable("Wide"), nullptr);
  EXPECT_EQ(ReadRows(*out, "People"), ReadRows(*original_, "People"));
  // Every permission row names an object of the catalog.
  std::set<std::int32_t> ids;
  for (const jet::CatalogEntry& entry : out->catalog()) ids.insert(entry.id);
  for (const auto& [object, row] : ReadRows(*out, "MSysACEs")) EXPECT_EQ(ids.count(object), 1u) << object;
  const std::vector<std::string> errors = CompactErrors(*out);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("|Wide"), std::string::npos) << errors[0];
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
  ASSERT_NE(out->FindTable("MSysCompactError"), nullptr);
  EXPECT_TRUE(out->FindTable("MSysCompactError")->IsSystemObject());
}

TEST_P(SalvageStructure, ADefinitionWhoseLastPageIsLostKeepsTheColumnsItsFirstPageDescribes) {
  const jet::CatalogEntry wide_entry = *original_->FindTable("Wide");
  const jet::TableDefinition wide = original_->ReadTableDefinition(wide_entry);
  ASSERT_GE(wide.pages.size(), 2u) << "the definition must span pages";
  ZeroPage(bytes_, page_size_, wide.pages[1]);
  jet::DefinitionSalvage salvage;
  const auto damaged = jet::Database::FromBytes(bytes_, "damaged");
  bool columns_survive = true;
  try {
    damaged->ReadDamagedTableDefinition(wide.tdef_page, salvage);
  } catch (const vondrel::Error&) {
    columns_survive = false;  // the descriptors themselves reach the lost page
  }

  const auto output = dir_ / "output.mdb";
  const jet::compact::CompactStatistics stats = jet::compact::CompactDatabase(WriteDamaged(), output);
  const auto out = jet::Database::Open(output);
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
  EXPECT_EQ(ReadRows(*out, "People"), ReadRows(*original_, "People"));
  if (!columns_survive) {
    EXPECT_EQ(stats.tables_lost, 1u);
    EXPECT_EQ(out->FindTable("Wide"), nullptr);
    return;
  }
  // Kept with the rows as stored, the names read from the first page.
  EXPECT_EQ(stats.tables_lost, 0u);
  const RowsById rows = ReadRows(*original_, "Wide");
  EXPECT_EQ(ReadRows(*out, "Wide"), rows);
  const jet::TableDefinition kept = out->ReadTableDefinition(*out->FindTable("Wide"));
  ASSERT_EQ(kept.columns.size(), wide.columns.size());
  for (std::size_t k = 0; k < salvage.names_read; ++k)
    EXPECT_EQ(kept.columns[k].name, wide.columns[k].name);
  const std::vector<std::string> errors = CompactErrors(*out);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("The definition of Wide was damaged"), std::string::npos) << errors[0];
}

TEST_P(SalvageStructure, ACatalogWhoseDefinitionIsLostIsReadWithTheStandardLayout) {
  ZeroPage(bytes_, page_size_, jet::kCatalogTdefPage);
  const auto output = dir_ / "output.mdb";
  const jet::compact::CompactStatistics stats = jet::compact::CompactDatabase(WriteDamaged(), output);
  EXPECT_TRUE(stats.Salvaged());
  const auto out = jet::Database::Open(output);
  EXPECT_EQ(ReadRows(*out, "People"), ReadRows(*original_, "People"));
  EXPECT_EQ(ReadRows(*out, "Wide"), ReadRows(*original_, "Wide"));
  const std::vector<std::string> errors = CompactErrors(*out);
  ASSERT_FALSE(errors.empty());
  EXPECT_NE(errors[0].find("standard layout"), std::string::npos) << errors[0];
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
}

TEST_P(SalvageStructure, ACatalogThatCannotBeFoundAnywhereFailsWithANumber) {
  const std::vector<std::uint32_t> catalog_pages = DataPagesOf(*original_, "MSysObjects");
  ZeroPage(bytes_, page_size_, jet::kCatalogTdefPage);
  for (std::uint32_t page : catalog_pages) ZeroPage(bytes_, page_size_, page);
  EXPECT_EQ(FailingCompaction(), 3049);
}

TEST_P(SalvageStructure, ACatalogWithoutReadableRowsFailsWithANumber) {
  for (std::uint32_t page : DataPagesOf(*original_, "MSysObjects")) ZeroPage(bytes_, page_size_, page);
  EXPECT_EQ(FailingCompaction(), 3049);
}

TEST_P(SalvageStructure, AFileWithoutJetStructureIsNotADatabase) {
  for (std::size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = static_cast<std::uint8_t>(i * 131 + 7);
  EXPECT_EQ(FailingCompaction(), 3343);
}

TEST_P(SalvageStructure, ARepeatedUniqueKeyIsDroppedNotWritten) {
  // Damage gives a person the Id of person 1: person 2, next to it, so that
  // the keys still ascend; or the last person, so that the rows are sorted
  // by key and the twins meet only there.
  const jet::TableDefinition people = original_->ReadTableDefinition(*original_->FindTable("People"));
  const std::vector<std::uint8_t> undamaged = bytes_;
  for (const std::int32_t id : {2, 600}) {
    SCOPED_TRACE(id);
    bytes_ = undamaged;
    jet::RowPointer damaged;
    original_->ScanRows(people, [&](const jet::Row& row) {
      if (row.fields[0].bytes.I32(0) == id) damaged = row.pointer;
      return true;
    });
    const std::size_t entry = damaged.page * page_size_ + original_->constants().data_row_table_offset + 2 * damaged.row;
    const std::size_t start = (bytes_[entry] | (bytes_[entry + 1] << 8)) & 0x1FFF;
    const std::size_t id_at = damaged.page * page_size_ + start + (GetParam() == jet::FormatVersion::Jet3 ? 1 : 2);
    ASSERT_EQ(bytes_[id_at], id & 0xFF);
    ASSERT_EQ(bytes_[id_at + 1], id >> 8);
    bytes_[id_at] = 1;
    bytes_[id_at + 1] = 0;

    const auto output = dir_ / ("output" + std::to_string(id) + ".mdb");
    const jet::compact::CompactStatistics stats = jet::compact::CompactDatabase(WriteDamaged(), output);
    EXPECT_EQ(stats.rows_dropped, 1u);
    const auto out = jet::Database::Open(output);
    const RowsById rows = ReadRows(*out, "People");
    EXPECT_EQ(rows.size(), 599u);
    EXPECT_EQ(rows.count(id), 0u);
    EXPECT_EQ(rows.count(1), 1u);
    const std::vector<std::string> errors = CompactErrors(*out);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("3022|", 0), 0u) << errors[0];
    EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
  }
}

TEST_P(SalvageStructure, ARepeatedKeyOfASecondaryUniqueIndexIsDroppedNotWritten) {
  // Person 7's name becomes person 1's: the primary key is sound, and only
  // the unique index on Name receives a key twice.
  const jet::TableDefinition people = original_->ReadTableDefinition(*original_->FindTable("People"));
  jet::RowPointer seventh;
  original_->ScanRows(people, [&](const jet::Row& row) {
    if (row.fields[0].bytes.I32(0) == 7) seventh = row.pointer;
    return true;
  });
  const std::size_t entry = seventh.page * page_size_ + original_->constants().data_row_table_offset + 2 * seventh.row;
  const std::size_t start = seventh.page * page_size_ + ((bytes_[entry] | (bytes_[entry + 1] << 8)) & 0x1FFF);
  const std::string name = "person 7";
  const auto row = bytes_.begin() + static_cast<std::ptrdiff_t>(start);
  const auto found = std::search(row, row + 64, name.begin(), name.end());
  ASSERT_NE(found, row + 64) << "the name is stored one byte a character";
  found[7] = '1';

  const auto output = dir_ / "output.mdb";
  const jet::compact::CompactStatistics stats = jet::compact::CompactDatabase(WriteDamaged(), output);
  EXPECT_EQ(stats.rows_dropped, 1u);
  const auto out = jet::Database::Open(output);
  const RowsById rows = ReadRows(*out, "People");
  EXPECT_EQ(rows.size(), 599u);
  EXPECT_EQ(rows.count(1) + rows.count(7), 1u);
  const std::vector<std::string> errors = CompactErrors(*out);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("3022|", 0), 0u) << errors[0];
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Versions, SalvageStructure, ::testing::Values(jet::FormatVersion::Jet3, jet::FormatVersion::Jet4),
                         [](const auto& info) { return info.param == jet::FormatVersion::Jet3 ? "Jet3" : "Jet4"; });

}  // namespace
