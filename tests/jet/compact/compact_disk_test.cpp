// A destination whose disk fails is no damage of the source: the compaction
// fails with the disk's own error and leaves nothing behind. The same holds
// for the temporary files that sort rows.

#include <gtest/gtest.h>

#include "base/error.h"
#include "jet/compact/compactor.h"
#include "jet/compact/row_sorter.h"
#include "jet/io/write_failure.h"
#include "support/salvage_corpus.h"
#include "support/samples.h"
#include "support/small_disk.h"
#include "support/temporary_folder.h"

namespace {

using vondrel::testing::ScratchDir;
using vondrel::testing::SmallDisk;

TEST(CompactDisk, AFullDiskFailsWithNotEnoughSpaceAndLeavesNothing) {
  ScratchDir dir;
  const auto source = dir / "source.mdb";
  vondrel::testing::BuildPeopleDatabase(source, jet::FormatVersion::Jet4);
  const std::unique_ptr<SmallDisk> disk = SmallDisk::Mount(dir / "small", 96 * 1024);
  if (!disk) GTEST_SKIP() << "no right to mount a small file system here";
  const auto destination = *disk / "copy.mdb";
  try {
    jet::compact::CompactDatabase(source, destination);
    FAIL() << "a full disk went unnoticed";
  } catch (const vondrel::Error& error) {
    EXPECT_EQ(error.number(), 3026) << error.description();
    EXPECT_EQ(error.description(), "Not enough space on disk.");
  }
  EXPECT_FALSE(std::filesystem::exists(destination));
  EXPECT_TRUE(std::filesystem::is_empty(disk->path()));
}

TEST(CompactDisk, AFullTemporaryFolderFailsTheSortWithNotEnoughSpace) {
  ScratchDir dir;
  const std::unique_ptr<SmallDisk> disk = SmallDisk::Mount(dir / "small", 256 * 1024);
  if (!disk) GTEST_SKIP() << "no right to mount a small file system here";
  const vondrel::testing::TemporaryFolder temporary(disk->path());
  // Runs are written on a second thread: its failure must reach the caller,
  // whether at a later record or at the merge.
  jet::compact::RowSorter sorter(64 * 1024);
  const std::vector<std::uint8_t> payload(1000, 0x5A);
  try {
    for (std::uint32_t i = 0; i < 2000; ++i) {
      const std::uint8_t key[] = {static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(i >> 8)};
      sorter.Add(key, payload);
    }
    sorter.Merge([](auto, auto, auto) {});
    FAIL() << "a full temporary folder went unnoticed";
  } catch (const vondrel::Error& error) {
    EXPECT_EQ(error.number(), 3026) << error.description();
  }
}

TEST(CompactDisk, DiskErrorsAreNumberedApartFromDamage) {
  for (const int error_number : {ENOSPC, EDQUOT}) {
    try {
      jet::io::ThrowWriteFailure(error_number, "writing");
    } catch (const jet::io::WriteFailure& failure) {
      EXPECT_EQ(failure.number(), 3026);
    }
  }
  try {
    jet::io::ThrowWriteFailure(EIO, "x.mdb: cannot write");
  } catch (const jet::io::WriteFailure& failure) {
    EXPECT_EQ(failure.number(), 3043);
    EXPECT_NE(failure.description().find("x.mdb: cannot write"), std::string::npos);
  }
}

}  // namespace
