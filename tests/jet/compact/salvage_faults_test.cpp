// Salvage of damage that leaves structures readable but wrong: a usage map
// that decodes yet names too few pages, a header that moved or whose
// password field took stray bits, a catalog name changed by a bit flip, and
// two table definitions on each other's pages.
// Each must cost nothing that the damage did not touch, and what could not
// be mended must be recorded.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "base/error.h"
#include "jet/compact/compactor.h"
#include "jet/format/data_page_decode.h"
#include "jet/format/header_decode.h"
#include "support/file_bytes.h"
#include "support/salvage_corpus.h"
#include "support/salvage_readback.h"
#include "support/samples.h"

namespace {

using namespace vondrel::testing;
using vondrel::testing::ReadFileBytes;
using vondrel::testing::ScratchDir;

class SalvageFaults : public ::testing::TestWithParam<jet::FormatVersion> {
 protected:
  void SetUp() override {
    BuildPeopleDatabase(dir_ / "source.mdb", GetParam());
    bytes_ = ReadFileBytes(dir_ / "source.mdb");
    original_ = jet::Database::FromBytes(bytes_, "original");
    page_size_ = original_->constants().page_size;
    people_ = ReadRows(*original_, "People");
  }

  std::unique_ptr<jet::Database> Salvage(jet::compact::CompactStatistics& stats) {
    const auto damaged = dir_ / "damaged.mdb";
    const auto output = dir_ / "output.mdb";
    std::filesystem::remove(damaged);
    std::filesystem::remove(output);
    EXPECT_TRUE(WriteFileBytes(damaged, bytes_));
    stats = jet::compact::CompactDatabase(damaged, output);
    return jet::Database::Open(output);
  }

  // The error number of a compaction that must fail.
  int Refusal() {
    jet::compact::CompactStatistics stats;
    try {
      Salvage(stats);
    } catch (const vondrel::Error& error) {
      return error.number();
    }
    return 0;
  }

  // Page 0 with the header mask removed, edited, and masked again.
  template <typename Edit>
  void EditHeader(Edit edit) {
    std::span<std::uint8_t> page(bytes_.data(), page_size_);
    jet::ApplyHeaderMask(GetParam(), page);
    edit(page);
    jet::ApplyHeaderMask(GetParam(), page);
  }

  std::size_t RowOffset(jet::RowPointer at) const {
    const jet::DataPage page(original_->file().Page(at.page), original_->constants());
    return at.page * page_size_ + page.Slot(at.row).start;
  }

  bool Jet4() const { return GetParam() == jet::FormatVersion::Jet4; }

  // Names a page in People's inline usage map, or leaves it out; the map still decodes.
  void MarkInPeopleMap(std::uint32_t page, bool named) {
    const jet::TableDefinition people = original_->ReadTableDefinition(*original_->FindTable("People"));
    const std::size_t map = RowOffset(people.owned_map);
    ASSERT_EQ(bytes_[map], 0) << "an inline map";
    std::uint32_t start;
    std::memcpy(&start, &bytes_[map + 1], 4);
    ASSERT_GE(page, start);
    const std::uint32_t bit = page - start;
    ASSERT_LT(bit, (original_->RowBytes(people.owned_map).size() - 5) * 8) << "within the inline bitmap";
    const auto mask = static_cast<std::uint8_t>(1u << (bit % 8));
    std::uint8_t& byte = bytes_[map + 5 + bit / 8];
    byte = named ? static_cast<std::uint8_t>(byte | mask) : static_cast<std::uint8_t>(byte & ~mask);
  }

  ScratchDir dir_;
  std::vector<std::uint8_t> bytes_;
  std::unique_ptr<jet::Database> original_;
  std::size_t page_size_ = 0;
  RowsById people_;
};

TEST_P(SalvageFaults, AMapNamingTooFewPagesIsMadeGoodFromTheOwnedPages) {
  const std::vector<std::uint32_t> pages = DataPagesOf(*original_, "People");
  ASSERT_GE(pages.size(), 3u);
  // The map keeps its first page and forgets the others.
  for (std::size_t k = 1; k < pages.size(); ++k) ASSERT_NO_FATAL_FAILURE(MarkInPeopleMap(pages[k], false));
  jet::compact::CompactStatistics stats;
  const auto out = Salvage(stats);
  EXPECT_EQ(ReadRows(*out, "People"), people_);
  EXPECT_EQ(stats.rows_dropped, 0u);
  EXPECT_EQ(CompactErrors(*out), std::vector<std::string>{}) << "nothing was lost, so nothing is recorded";
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
}

TEST_P(SalvageFaults, AMapNamingAnotherTablesPageCopiesNoneOfItsRows) {
  const std::uint32_t wide_page = DataPagesOf(*original_, "Wide").front();
  ASSERT_NO_FATAL_FAILURE(MarkInPeopleMap(wide_page, true));

  jet::compact::CompactStatistics stats;
  const auto out = Salvage(stats);
  EXPECT_EQ(ReadRows(*out, "People"), people_);
  EXPECT_EQ(ReadRows(*out, "Wide"), ReadRows(*original_, "Wide"));
  const std::vector<std::string> errors = CompactErrors(*out);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("Page " + std::to_string(wide_page)), std::string::npos) << errors[0];
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
}

TEST_P(SalvageFaults, AHeaderSwappedWithAnotherPageIsReadFromThere) {
  const std::uint32_t last = original_->file().page_count() - 1;
  std::swap_ranges(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(page_size_),
                   bytes_.begin() + static_cast<std::ptrdiff_t>(last * page_size_));
  jet::compact::CompactStatistics stats;
  const auto out = Salvage(stats);
  EXPECT_TRUE(stats.header_rebuilt);
  EXPECT_EQ(out->version(), GetParam());
  EXPECT_EQ(ReadRows(*out, "People").size(), people_.size() - IdsOnPages(*original_, "People", {last}).size());
  const std::vector<std::string> errors = CompactErrors(*out);
  ASSERT_FALSE(errors.empty());
  EXPECT_NE(errors[0].find("found on another page"), std::string::npos) << errors[0];
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
}

TEST_P(SalvageFaults, StrayBitsInAnEmptyPasswordAreClearedButAPasswordStays) {
  const std::size_t unit = Jet4() ? 2 : 1;
  const std::vector<std::uint8_t> sound = bytes_;
  EditHeader([&](std::span<std::uint8_t> page) { page[jet::kHeaderPasswordOffset + 5 * unit] ^= 0x10; });
  {
    // Closed before the next compaction writes the same output file again,
    // which Windows refuses to replace while it is open.
    jet::compact::CompactStatistics stats;
    const auto out = Salvage(stats);
    EXPECT_TRUE(stats.header_rebuilt);
    EXPECT_FALSE(out->header().has_password);
    EXPECT_EQ(ReadRows(*out, "People"), people_);
  }

  // A first character is a password, whatever follows.
  bytes_ = sound;
  EditHeader([&](std::span<std::uint8_t> page) { page[jet::kHeaderPasswordOffset] ^= 'k'; });
  EXPECT_EQ(Refusal(), 3031);
}

TEST_P(SalvageFaults, AJet4CreationDateIsMendedFromThePasswordMask) {
  if (!Jet4()) GTEST_SKIP() << "Jet 3 keeps no creation date";
  const double date = original_->header().creation_date;
  // 64 days later: the mask no longer fits the field, which still holds it.
  EditHeader([&](std::span<std::uint8_t> page) {
    double moved = date + 64;
    std::memcpy(&page[jet::kHeaderJet4CreationDateOffset], &moved, 8);
  });
  jet::compact::CompactStatistics stats;
  const auto out = Salvage(stats);
  EXPECT_TRUE(stats.header_rebuilt);
  EXPECT_DOUBLE_EQ(out->header().creation_date, date);
  EXPECT_EQ(ReadRows(*out, "People"), people_);
}

TEST_P(SalvageFaults, ACatalogNameChangedByABitFlipIsRecorded) {
  const jet::RowPointer row = original_->FindTable("People")->row;
  const std::size_t begin = RowOffset(row);
  const jet::DataPage page(original_->file().Page(row.page), original_->constants());
  const std::size_t end = row.page * page_size_ + page.Slot(row.row).end;
  // The name is stored as one byte a character (Jet 3, compressed Jet 4) or as UTF-16.
  const auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(begin);
  const auto last = bytes_.begin() + static_cast<std::ptrdiff_t>(end);
  const std::string narrow = "People";
  const std::string wide("P\0e\0o\0p\0l\0e\0", 12);
  auto at = std::search(first, last, narrow.begin(), narrow.end());
  if (at == last) at = std::search(first, last, wide.begin(), wide.end());
  ASSERT_NE(at, last) << "People's name in its catalog row";
  *at ^= 0x01;  // 'P' becomes 'Q'
  jet::compact::CompactStatistics stats;
  const auto out = Salvage(stats);
  EXPECT_EQ(ReadRows(*out, "Qeople"), people_);
  const std::vector<std::string> errors = CompactErrors(*out);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("Qeople"), std::string::npos) << errors[0];
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
}

TEST_P(SalvageFaults, SwappedDefinitionPagesAreReadEachWithItsOwnTable) {
  const std::uint32_t people = original_->FindTable("People")->TdefPage();
  const std::uint32_t wide = original_->FindTable("Wide")->TdefPage();
  std::swap_ranges(bytes_.begin() + static_cast<std::ptrdiff_t>(people * page_size_),
                   bytes_.begin() + static_cast<std::ptrdiff_t>((people + 1) * page_size_),
                   bytes_.begin() + static_cast<std::ptrdiff_t>(wide * page_size_));
  jet::compact::CompactStatistics stats;
  const auto out = Salvage(stats);
  EXPECT_EQ(ReadRows(*out, "People"), people_);
  EXPECT_EQ(ReadRows(*out, "Wide"), ReadRows(*original_, "Wide"));
  const std::vector<std::string> errors = CompactErrors(*out);
  ASSERT_EQ(errors.size(), 2u);
  for (const std::string& error : errors) EXPECT_NE(error.find("was found on page"), std::string::npos) << error;
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Versions, SalvageFaults, ::testing::Values(jet::FormatVersion::Jet3, jet::FormatVersion::Jet4),
                         [](const auto& info) { return info.param == jet::FormatVersion::Jet3 ? "Jet3" : "Jet4"; });

}  // namespace
