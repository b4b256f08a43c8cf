// Salvage of damaged definitions and catalog rows: a catalog definition that
// names its object columns wrongly is replaced by the standard layout,
// catalog rows overwritten by zeros are dropped rather than carried over as
// nameless objects, a text column whose flags claim fixed bytes over another
// column is read as the variable column it was, a lost table takes its
// catalog row along even when the row's Id is damaged, a moved catalog
// row whose pointer was destroyed is read where it lies, and a definition
// without a readable column loses its table. The damage is
// done to a database the engine builds; most of it was first found by the
// compaction fuzz target or the salvage bench.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "base/error.h"
#include "jet/compact/compactor.h"
#include "jet/format/catalog_layout.h"
#include "jet/format/format_constants.h"
#include "support/damaged_people_test.h"
#include "support/salvage_corpus.h"
#include "support/salvage_readback.h"
#include "support/samples.h"

namespace {

using namespace vondrel::testing;

class SalvageDefinitions : public DamagedPeopleTest {
 protected:
  void SetUp() override { BuildPeople(); }

  // Where People's one text column's descriptor lies in bytes_.
  std::size_t NameDescriptor() const {
    const jet::FormatConstants& constants = original_->constants();
    const jet::TableDefinition people = original_->ReadTableDefinition(*original_->FindTable("People"));
    const std::size_t first = people.tdef_page * page_size_ + constants.tdef_body +
                              people.real_index_count * constants.real_index_stats_size;
    std::vector<std::size_t> text;
    for (std::size_t c = 0; c < people.column_count; ++c) {
      const std::size_t descriptor = first + c * constants.column_descriptor_size;
      if (bytes_.at(descriptor) == static_cast<std::uint8_t>(jet::ColumnType::Text)) text.push_back(descriptor);
    }
    EXPECT_EQ(text.size(), 1u);
    return text.at(0);
  }

  static std::size_t Count(const std::vector<std::string>& errors, const std::string& text) {
    return static_cast<std::size_t>(std::count_if(errors.begin(), errors.end(), [&](const std::string& error) {
      return error.find(text) != std::string::npos;
    }));
  }
};

TEST_P(SalvageDefinitions, ACatalogDefinitionMissingAnObjectColumnIsReadWithTheStandardLayout) {
  // One letter of the column name ParentId changes: the definition still
  // decodes, but no longer says where the objects' parents are.
  const bool wide_names = GetParam() == jet::FormatVersion::Jet4;
  std::string pattern;
  for (char c : std::string("ParentId")) {
    pattern += c;
    if (wide_names) pattern += '\0';
  }
  const auto page = bytes_.begin() + static_cast<std::ptrdiff_t>(jet::kCatalogTdefPage * page_size_);
  const auto found = std::search(page, page + static_cast<std::ptrdiff_t>(page_size_), pattern.begin(), pattern.end());
  ASSERT_NE(found, page + static_cast<std::ptrdiff_t>(page_size_));
  found[wide_names ? 2 : 1] = 'c';  // "PcrentId"

  const auto out = Compact();
  EXPECT_EQ(ReadRows(*out, "People"), ReadRows(*original_, "People"));
  EXPECT_EQ(ReadRows(*out, "Wide"), ReadRows(*original_, "Wide"));
  const std::vector<std::string> errors = CompactErrors(*out);
  EXPECT_EQ(Count(errors, "standard layout"), 1u);
  EXPECT_EQ(Count(errors, "lacks the column ParentId"), 1u);
}

TEST_P(SalvageDefinitions, CatalogRowsOverwrittenByZerosAreDroppedNotCarriedOverNameless) {
  // Two objects that are no tables and contain nothing lose their rows' bytes.
  std::set<std::int32_t> parents;
  for (const jet::CatalogEntry& entry : original_->catalog()) parents.insert(entry.parent_id);
  std::vector<jet::CatalogEntry> victims;
  for (const jet::CatalogEntry& entry : original_->catalog()) {
    if (!entry.IsTable() && !parents.count(entry.id) && victims.size() < 2) victims.push_back(entry);
  }
  ASSERT_EQ(victims.size(), 2u);
  for (const jet::CatalogEntry& victim : victims) {
    const std::size_t start = RowStart(victim.row), end = RowEnd(victim.row);
    ASSERT_LT(start, end);
    std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(start), bytes_.begin() + static_cast<std::ptrdiff_t>(end), 0);
  }

  const auto out = Compact();
  std::set<std::string> names;
  for (const jet::CatalogEntry& entry : out->catalog()) {
    EXPECT_FALSE(entry.name.empty()) << "an object without a name, Id " << entry.id;
    names.insert(entry.name);
  }
  for (const jet::CatalogEntry& entry : original_->catalog()) {
    const bool victim = entry.name == victims[0].name || entry.name == victims[1].name;
    EXPECT_EQ(names.count(entry.name), victim ? 0u : 1u) << entry.name;
  }
  EXPECT_EQ(ReadRows(*out, "People"), ReadRows(*original_, "People"));
  EXPECT_GE(Count(CompactErrors(*out), "holds no columns"), 2u);
}

TEST_P(SalvageDefinitions, ATextColumnMarkedFixedIsReadAsVariableAndEveryRowKept) {
  // Set the fixed flag of People.Name, the table's one text column.
  const std::size_t flags_at = GetParam() == jet::FormatVersion::Jet3 ? 13 : 15;
  bytes_.at(NameDescriptor() + flags_at) |= jet::column_flags::kFixed;
  // The damage reads as a definition whose Name lies over the Id's bytes.
  const auto damaged = jet::Database::FromBytes(bytes_, "damaged");
  const jet::TableDefinition read = damaged->ReadTableDefinition(*damaged->FindTable("People"));
  const jet::ColumnDefinition* name = read.FindColumn(std::string("Name"));
  ASSERT_NE(name, nullptr);
  ASSERT_TRUE(name->IsFixed());
  ASSERT_LT(name->fixed_offset, 4);

  const auto out = Compact();
  EXPECT_EQ(ReadRows(*out, "People"), ReadRows(*original_, "People"));
  const std::vector<std::string> errors = CompactErrors(*out);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("Name was marked fixed"), std::string::npos) << errors[0];
}

TEST_P(SalvageDefinitions, ColumnsNamingOneVariableSlotAreWrittenToSlotsOfTheirOwn) {
  // People.Name names the slot of People.Notes: both read the memo's bytes,
  // Name as text. Written under one slot, one of the two values would be
  // dropped and the Name index would not match its rows.
  const jet::TableDefinition people = original_->ReadTableDefinition(*original_->FindTable("People"));
  const std::uint16_t notes_slot = people.FindColumn(std::string("Notes"))->var_index;
  const std::size_t slot_at = NameDescriptor() + (GetParam() == jet::FormatVersion::Jet3 ? 3 : 7);
  bytes_.at(slot_at) = static_cast<std::uint8_t>(notes_slot);
  bytes_.at(slot_at + 1) = static_cast<std::uint8_t>(notes_slot >> 8);
  const auto damaged = jet::Database::FromBytes(bytes_, "damaged", jet::OpenOptions{.salvage = true});
  EXPECT_EQ(Count(CheckProblems(*damaged), "columns 'Name' and 'Notes' share variable slot"), 1u);
  const RowsById read = ReadRows(*damaged, "People");
  ASSERT_NE(read, ReadRows(*original_, "People"));

  // The checker in Compact holds the Name index to the Name values written.
  // Names read from memo headers repeat, and the unique index drops those rows.
  const auto out = Compact();
  const std::vector<std::string> errors = CompactErrors(*out);
  const RowsById written = ReadRows(*out, "People");
  EXPECT_EQ(written.size() + Count(errors, "repeats a key of unique index"), read.size());
  for (const auto& [id, row] : written) EXPECT_TRUE(read.count(id) && read.at(id) == row) << "row " << id;
  const jet::TableDefinition kept = out->ReadTableDefinition(*out->FindTable("People"));
  EXPECT_NE(kept.FindColumn(std::string("Notes"))->var_index, kept.FindColumn(std::string("Name"))->var_index);
  EXPECT_EQ(Count(errors, "its columns Name and Notes both named variable slot " + std::to_string(notes_slot)), 1u);
}

TEST_P(SalvageDefinitions, AColumnNamingASlotPastWhatARowHoldsIsWrittenToOneWithin) {
  // People.Name names slot 300: no row has it, so Name reads as null, and
  // rows written with 301 slots would not fit a Jet 3 row's one-byte count
  // (nor, in Jet 4, their 602 bytes of offsets a short row's size).
  const std::size_t slot_at = NameDescriptor() + (GetParam() == jet::FormatVersion::Jet3 ? 3 : 7);
  bytes_.at(slot_at) = 300 & 0xFF;
  bytes_.at(slot_at + 1) = 300 >> 8;
  const auto damaged = jet::Database::FromBytes(bytes_, "damaged", jet::OpenOptions{.salvage = true});
  const RowsById read = ReadRows(*damaged, "People");

  const auto out = Compact();
  EXPECT_EQ(ReadRows(*out, "People"), read);
  const jet::TableDefinition kept = out->ReadTableDefinition(*out->FindTable("People"));
  EXPECT_EQ(kept.var_slots, 2u);
  EXPECT_EQ(Count(CompactErrors(*out), "more than a row holds"), 1u);
}

TEST_P(SalvageDefinitions, ATableWhoseColumnNamesCannotBeReadKeepsItsRowsUnderMadeUpNames) {
  if (GetParam() == jet::FormatVersion::Jet3)
    GTEST_SKIP() << "a Jet 3 name length is one byte and cannot reach past the definition";
  // A damaged length of People's first column name runs past the definition:
  // every name and everything after them is lost, the descriptors are not.
  const jet::FormatConstants& constants = original_->constants();
  const jet::TableDefinition people = original_->ReadTableDefinition(*original_->FindTable("People"));
  const std::size_t names = people.tdef_page * page_size_ + constants.tdef_body +
                            people.real_index_count * constants.real_index_stats_size +
                            people.column_count * constants.column_descriptor_size;
  bytes_.at(names) = 0xFF;
  bytes_.at(names + 1) = 0x7F;
  const auto damaged = jet::Database::FromBytes(bytes_, "damaged");
  EXPECT_THROW(damaged->ReadTableDefinition(*damaged->FindTable("People")), vondrel::Error);

  const auto out = Compact();
  const RowsById rows = ReadRows(*original_, "People");
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(ReadRows(*out, "People"), rows);
  const jet::TableDefinition kept = out->ReadTableDefinition(*out->FindTable("People"));
  ASSERT_EQ(kept.columns.size(), people.columns.size());
  for (const jet::ColumnDefinition& column : kept.columns)
    EXPECT_EQ(column.name, "Field" + std::to_string(column.number + 1));
  EXPECT_TRUE(kept.real_indexes.empty());
  const std::vector<std::string> errors = CompactErrors(*out);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("the names of its columns could not be read"), std::string::npos) << errors[0];
  EXPECT_NE(errors[0].find("its indexes could not be read and are left out"), std::string::npos) << errors[0];
}

TEST_P(SalvageDefinitions, ADefinitionWithoutAReadableColumnLosesItsTableRatherThanKeepingRowsOfNothing) {
  // People's column count drops to zero: the damaged definition names no
  // column, so none of its rows has a value to keep.
  const jet::FormatConstants& constants = original_->constants();
  const jet::CatalogEntry people = *original_->FindTable("People");
  const std::size_t count_at = people.TdefPage() * page_size_ + constants.tdef_column_count;
  bytes_.at(count_at) = 0;
  bytes_.at(count_at + 1) = 0;
  const auto damaged = jet::Database::FromBytes(bytes_, "damaged");
  EXPECT_THROW(damaged->ReadTableDefinition(*damaged->FindTable("People")), vondrel::Error);

  const auto out = Compact();
  EXPECT_EQ(out->FindTable("People"), nullptr);
  EXPECT_EQ(ReadRows(*out, "Wide"), ReadRows(*original_, "Wide"));
  const std::vector<std::string> errors = CompactErrors(*out);
  EXPECT_EQ(Count(errors, "People"), 1u);
}

TEST_P(SalvageDefinitions, ALostTableTakesItsCatalogRowAlongWhenTheRowsIdIsDamaged) {
  const jet::CatalogEntry people = *original_->FindTable("People");
  const std::size_t id_at = RowStart(people.row) + (GetParam() == jet::FormatVersion::Jet3 ? 1 : 2);
  ASSERT_EQ(bytes_.at(id_at), people.id & 0xFF);
  bytes_.at(id_at + 3) ^= 0x11;  // the Id's high byte
  for (std::uint32_t page : original_->ReadTableDefinition(people).pages) ZeroPage(bytes_, page_size_, page);

  const auto out = Compact();
  EXPECT_EQ(out->FindTable("People"), nullptr);
  // The checker (in Compact) holds every table row to a definition; no row keeps the damaged Id either.
  for (const jet::CatalogEntry& entry : out->catalog()) {
    if (!entry.IsTable()) continue;
    EXPECT_EQ(static_cast<std::uint32_t>(entry.id) & 0xFF000000u, 0u) << entry.name;
  }
  EXPECT_EQ(ReadRows(*out, "Wide"), ReadRows(*original_, "Wide"));
}

TEST_P(SalvageDefinitions, AMovedCatalogRowWhosePointerWasDestroyedIsReadWhereItLies) {
  // People's catalog row as the target of a move: its slot marked deleted,
  // and the slot of another object turned into a pointer whose bytes are
  // destroyed (it leads past the end of the file).
  const jet::CatalogEntry people = *original_->FindTable("People");
  std::set<std::int32_t> parents;
  for (const jet::CatalogEntry& entry : original_->catalog()) parents.insert(entry.parent_id);
  const jet::CatalogEntry* pointer = nullptr;
  for (const jet::CatalogEntry& entry : original_->catalog())
    if (!pointer && !entry.IsTable() && !parents.count(entry.id)) pointer = &entry;
  ASSERT_NE(pointer, nullptr);
  bytes_.at(RowEntry(people.row) + 1) |= 0x80;
  bytes_.at(RowEntry(pointer->row) + 1) |= 0x40;
  std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(RowStart(pointer->row)),
            bytes_.begin() + static_cast<std::ptrdiff_t>(RowStart(pointer->row) + 4), 0xEE);

  const auto out = Compact();
  ASSERT_NE(out->FindTable("People"), nullptr);
  EXPECT_EQ(ReadRows(*out, "People"), ReadRows(*original_, "People"));
  EXPECT_EQ(out->FindTable(pointer->name), nullptr);
  EXPECT_EQ(Count(CompactErrors(*out), "catalog row of the table People at page " + std::to_string(people.row.page)),
            1u);
}

TEST_P(SalvageDefinitions, ADeletedTableRowStaysDeletedWhenNoCatalogRowIsDamaged) {
  // Only the slot's deleted mark: nothing says a pointer to it was lost.
  const jet::CatalogEntry people = *original_->FindTable("People");
  bytes_.at(RowEntry(people.row) + 1) |= 0x80;
  const auto damaged = jet::Database::FromBytes(bytes_, "damaged", jet::OpenOptions{.salvage = true});
  EXPECT_EQ(damaged->FindTable("People"), nullptr);
  EXPECT_TRUE(damaged->moved_catalog_rows().empty());
  EXPECT_NE(damaged->FindTable("Wide"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Versions, SalvageDefinitions, ::testing::Values(jet::FormatVersion::Jet3, jet::FormatVersion::Jet4),
                         [](const auto& info) { return info.param == jet::FormatVersion::Jet3 ? "Jet3" : "Jet4"; });

}  // namespace
