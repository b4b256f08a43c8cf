// Salvage of a table's moved rows whose pointer was lost: the copy of a row
// that moved lies in a slot marked deleted, and the table's indexes name the
// slot that held the pointer. The engine builds People (a primary key on Id,
// a unique index on Name); a move is made by marking a row's slot deleted
// and pointing its index entries at a slot of a page that is then destroyed.
// The copy must come back, recorded; a deleted row must not, nor a copy the
// indexes disagree on, nor one of two copies claiming the same slot.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "jet/compact/compactor.h"
#include "jet/format/format_constants.h"
#include "jet/read/index_reader.h"
#include "jet/read/moved_rows.h"
#include "support/damaged_people_test.h"
#include "support/salvage_corpus.h"
#include "support/salvage_readback.h"
#include "support/samples.h"

namespace {

using namespace vondrel::testing;

class SalvageMovedRows : public DamagedPeopleTest {
 protected:
  void SetUp() override {
    BuildPeople(300);
    people_ = original_->ReadTableDefinition(*original_->FindTable("People"));
    pages_ = DataPagesOf(*original_, "People");
    ASSERT_GE(pages_.size(), 3u);
    // The row that moved lies on the first page; its pointer's page is the last.
    moved_ = RowOn(pages_.front(), 5);
    lost_page_ = pages_.back();
    lost_slot_ = {lost_page_, 2};
  }

  // The slot of the row stored `n`-th on a page (rows in slot order).
  jet::RowPointer RowOn(std::uint32_t page, std::uint8_t n) const { return {page, n}; }

  void MarkDeleted(jet::RowPointer at) { bytes_.at(RowEntry(at) + 1) |= 0x80; }

  // Points the entry of index `index` that names `from` at `to`: an entry
  // ends with its row's page (3 bytes, high first) and slot.
  void Repoint(std::size_t index, jet::RowPointer from, jet::RowPointer to) {
    const jet::IndexTreeWalk walk = jet::ReadIndexEntries(*original_, people_, people_.real_indexes.at(index));
    ASSERT_TRUE(walk.problems.empty());
    std::size_t found = walk.entries.size();
    for (std::size_t k = 0; k < walk.entries.size(); ++k)
      if (walk.entries[k].data_page == from.page && walk.entries[k].row == from.row) found = k;
    ASSERT_LT(found, walk.entries.size());
    const jet::KeyBytes& key = walk.entries[found].key;
    ASSERT_GE(key.size(), 2u);
    const std::vector<std::uint8_t> tail{key[key.size() - 2],
                                         key[key.size() - 1],
                                         static_cast<std::uint8_t>(from.page >> 16),
                                         static_cast<std::uint8_t>(from.page >> 8),
                                         static_cast<std::uint8_t>(from.page),
                                         from.row};
    const auto page = bytes_.begin() + static_cast<std::ptrdiff_t>(walk.entry_pages[found] * page_size_);
    const auto end = page + static_cast<std::ptrdiff_t>(page_size_);
    const auto at = std::search(page, end, tail.begin(), tail.end());
    ASSERT_NE(at, end);
    ASSERT_EQ(std::search(at + 1, end, tail.begin(), tail.end()), end);  // one place only
    at[2] = static_cast<std::uint8_t>(to.page >> 16);
    at[3] = static_cast<std::uint8_t>(to.page >> 8);
    at[4] = static_cast<std::uint8_t>(to.page);
    at[5] = to.row;
  }
  void RepointAll(jet::RowPointer from, jet::RowPointer to) {
    for (std::size_t i = 0; i < people_.real_indexes.size(); ++i) Repoint(i, from, to);
  }


  // The original's People rows less those stored on the destroyed page.
  RowsById Surviving() const {
    RowsById rows = ReadRows(*original_, "People");
    for (std::int32_t id : IdsOnPages(*original_, "People", {lost_page_})) rows.erase(id);
    return rows;
  }
  std::int32_t IdAt(jet::RowPointer at) const {
    std::int32_t id = -1;
    original_->ScanRows(people_, [&](const jet::Row& row) {
      if (row.listed_at == at) id = row.fields[0].bytes.I32(0);
      return id < 0;
    });
    return id;
  }

  static std::size_t Count(const std::vector<std::string>& errors, const std::string& text) {
    return static_cast<std::size_t>(std::count_if(errors.begin(), errors.end(), [&](const std::string& error) {
      return error.find(text) != std::string::npos;
    }));
  }
  std::string MovedNote() const {
    return "at page " + std::to_string(moved_.page) + ", row " + std::to_string(moved_.row) +
           " was moved there from page " + std::to_string(lost_slot_.page) + ", row " + std::to_string(lost_slot_.row);
  }

  jet::TableDefinition people_;
  std::vector<std::uint32_t> pages_;
  jet::RowPointer moved_, lost_slot_;
  std::uint32_t lost_page_ = 0;
};

TEST_P(SalvageMovedRows, AMovedRowWhosePointersPageWasDestroyedIsReadWhereItLies) {
  RepointAll(moved_, lost_slot_);
  MarkDeleted(moved_);
  ZeroPage(bytes_, page_size_, lost_page_);

  const auto out = Compact();
  const RowsById expected = Surviving();
  ASSERT_EQ(expected.count(IdAt(moved_)), 1u);
  EXPECT_EQ(ReadRows(*out, "People"), expected);
  EXPECT_EQ(Count(CompactErrors(*out), MovedNote()), 1u);
}

TEST_P(SalvageMovedRows, AMovedRowWhosePointerSlotCannotBeReadIsReadWhereItLies) {
  // The pointer's page stays, but its slot's offset points into the row table.
  RepointAll(moved_, lost_slot_);
  MarkDeleted(moved_);
  bytes_.at(RowEntry(lost_slot_)) = 0x01;
  bytes_.at(RowEntry(lost_slot_) + 1) = 0x00;

  const auto damaged = jet::Database::FromBytes(bytes_, "damaged", jet::OpenOptions{.salvage = true});
  const std::vector<jet::MovedRow> found = jet::FindMovedRows(*damaged, people_, damaged->SalvageDataPages(people_));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].at, moved_);
  EXPECT_EQ(found[0].lost, lost_slot_);

  const auto out = Compact();
  const RowsById rows = ReadRows(*out, "People");
  const RowsById original = ReadRows(*original_, "People");
  ASSERT_EQ(rows.count(IdAt(moved_)), 1u);
  for (const auto& [id, row] : rows) EXPECT_EQ(row, original.at(id)) << id;
  EXPECT_EQ(Count(CompactErrors(*out), MovedNote()), 1u);
}

TEST_P(SalvageMovedRows, ADeletedRowStaysDeletedWhenItsKeysNameNoLostSlot) {
  MarkDeleted(moved_);
  ZeroPage(bytes_, page_size_, lost_page_);

  const auto out = Compact();
  RowsById expected = Surviving();
  expected.erase(IdAt(moved_));
  EXPECT_EQ(ReadRows(*out, "People"), expected);
  EXPECT_EQ(Count(CompactErrors(*out), "was moved there"), 0u);
}

TEST_P(SalvageMovedRows, ACopyIsNotTakenWhenASoundIndexNamesItsOwnSlot) {
  Repoint(0, moved_, lost_slot_);  // the primary key says moved, the index on names does not
  MarkDeleted(moved_);
  ZeroPage(bytes_, page_size_, lost_page_);

  const auto out = Compact();
  EXPECT_EQ(ReadRows(*out, "People").count(IdAt(moved_)), 0u);
  EXPECT_EQ(Count(CompactErrors(*out), "was moved there"), 0u);
}

TEST_P(SalvageMovedRows, TwoCopiesClaimingOneLostSlotAreBothLeft) {
  // A second deleted copy of the moved row, in the slot of a row of the same length.
  const jet::RowPointer twin = RowOn(pages_.front(), 6);
  const std::size_t size = RowEnd(moved_) - RowStart(moved_);
  ASSERT_EQ(RowEnd(twin) - RowStart(twin), size);
  std::memmove(&bytes_[RowStart(twin)], &bytes_[RowStart(moved_)], size);
  RepointAll(moved_, lost_slot_);
  MarkDeleted(moved_);
  MarkDeleted(twin);
  ZeroPage(bytes_, page_size_, lost_page_);

  const auto out = Compact();
  const RowsById rows = ReadRows(*out, "People");
  EXPECT_EQ(rows.count(IdAt(moved_)), 0u);
  EXPECT_EQ(rows.count(IdAt(twin)), 0u);
  EXPECT_EQ(Count(CompactErrors(*out), "was moved there"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Versions, SalvageMovedRows, ::testing::Values(jet::FormatVersion::Jet3, jet::FormatVersion::Jet4),
                         [](const auto& info) { return info.param == jet::FormatVersion::Jet3 ? "Jet3" : "Jet4"; });

}  // namespace
