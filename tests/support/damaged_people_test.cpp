#include "support/damaged_people_test.h"

#include <string>

#include "jet/compact/compactor.h"
#include "support/file_bytes.h"
#include "support/salvage_corpus.h"
#include "support/salvage_readback.h"

namespace vondrel::testing {

void DamagedPeopleTest::BuildPeople(int people) {
  const auto source = dir_ / "source.mdb";
  BuildPeopleDatabase(source, GetParam(), people);
  bytes_ = ReadFileBytes(source);
  original_ = jet::Database::FromBytes(bytes_, "original");
  page_size_ = original_->constants().page_size;
}

std::unique_ptr<jet::Database> DamagedPeopleTest::Compact() {
  const auto damaged = dir_ / "damaged.mdb";
  const auto output = dir_ / "output.mdb";
  EXPECT_TRUE(WriteFileBytes(damaged, bytes_));
  const jet::compact::CompactStatistics stats = jet::compact::CompactDatabase(damaged, output);
  EXPECT_TRUE(stats.Salvaged());
  auto out = jet::Database::Open(output);
  EXPECT_EQ(CheckProblems(*out), std::vector<std::string>{});
  return out;
}

std::size_t DamagedPeopleTest::RowEntry(jet::RowPointer at) const {
  return at.page * page_size_ + original_->constants().data_row_table_offset + 2 * at.row;
}

std::size_t DamagedPeopleTest::RowStart(jet::RowPointer at) const {
  const std::size_t entry = RowEntry(at);
  return at.page * page_size_ + ((bytes_.at(entry) | (bytes_.at(entry + 1) << 8)) & 0x1FFF);
}

std::size_t DamagedPeopleTest::RowEnd(jet::RowPointer at) const {
  return at.row == 0 ? (at.page + 1) * page_size_ : RowStart({at.page, static_cast<std::uint8_t>(at.row - 1)});
}

}  // namespace vondrel::testing
