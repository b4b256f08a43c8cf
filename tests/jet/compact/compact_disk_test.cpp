// A destination whose disk fails is no damage of the source: the compaction
// fails with the disk's own error and leaves nothing behind.

#include <gtest/gtest.h>

#include "base/error.h"
#include "jet/compact/compactor.h"
#include "jet/io/write_failure.h"
#include "support/salvage_corpus.h"
#include "support/samples.h"
#include "support/small_disk.h"

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
