// Mapped database files: the same bytes as reading the file, also after the
// resident pages were given back, and an error rather than a crash when the
// file shrinks while it is mapped.

#include "jet/io/mapped_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/error.h"
#include "jet/io/page_file.h"
#include "support/samples.h"

namespace jet::io {
namespace {

using vondrel::testing::ScratchDir;

constexpr std::size_t kPage = 4096;

std::vector<std::uint8_t> Pattern(std::size_t pages) {
  std::vector<std::uint8_t> bytes(pages * kPage);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + i / kPage) & 0xFF);
  return bytes;
}

void Write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool SameAsPage(const ByteView& view, const std::vector<std::uint8_t>& bytes, std::uint32_t page) {
  return view.size() == kPage && std::equal(view.data(), view.data() + kPage, bytes.begin() + page * kPage);
}

TEST(MappedFile, ReadsTheFileAndReadsItAgainAfterGivingPagesBack) {
  ScratchDir dir;
  const auto bytes = Pattern(12);
  Write(dir / "a.mdb", bytes);
  PageFile file(LoadFile(dir / "a.mdb"), kPage, 0, "a.mdb");
  ASSERT_TRUE(file.mapped());
  EXPECT_EQ(file.page_count(), 12u);
  const ByteView kept = file.Page(5);  // held across the give-back
  for (std::uint32_t p = 0; p < 12; ++p) EXPECT_TRUE(SameAsPage(file.Page(p), bytes, p)) << p;
  file.DropResident();
  EXPECT_TRUE(SameAsPage(kept, bytes, 5));
  for (std::uint32_t p = 0; p < 12; ++p) EXPECT_TRUE(SameAsPage(file.Page(p), bytes, p)) << p;
  EXPECT_NO_THROW(file.CheckUnchanged());
  EXPECT_THROW(file.Page(12), vondrel::Error);
}

TEST(MappedFile, ReadingMoreThanTheWindowKeepsEveryByteRight) {
  ScratchDir dir;
  const std::size_t pages = PageFile::kResidentWindowBytes / kPage + 300;
  const auto bytes = Pattern(pages);
  Write(dir / "big.mdb", bytes);
  PageFile file(LoadFile(dir / "big.mdb"), kPage, 0, "big.mdb");
  ASSERT_TRUE(file.mapped());
  const ByteView first = file.Page(0);
  std::size_t wrong = 0;
  for (int pass = 0; pass < 2; ++pass)
    for (std::uint32_t p = 0; p < pages; ++p) wrong += SameAsPage(file.Page(p), bytes, p) ? 0 : 1;
  EXPECT_EQ(wrong, 0u);
  EXPECT_TRUE(SameAsPage(first, bytes, 0));
}

TEST(MappedFile, EmptyOrEncodedFilesAreHeldInMemoryAndMissingOnesAre3024) {
  ScratchDir dir;
  Write(dir / "empty.mdb", {});
  const FileImage empty = LoadFile(dir / "empty.mdb");
  EXPECT_EQ(empty.mapped, nullptr);
  EXPECT_TRUE(empty.view().empty());

  Write(dir / "enc.mdb", Pattern(3));
  PageFile encoded(LoadFile(dir / "enc.mdb"), kPage, 0x1234, "enc.mdb");
  EXPECT_FALSE(encoded.mapped());
  EXPECT_TRUE(SameAsPage(encoded.Page(0), Pattern(3), 0));  // page 0 is never encoded
  EXPECT_FALSE(SameAsPage(encoded.Page(1), Pattern(3), 1));

  try {
    LoadFile(dir / "absent.mdb");
    FAIL() << "no error";
  } catch (const vondrel::Error& error) {
    EXPECT_EQ(error.number(), 3024);
  }
  EXPECT_THROW(LoadFile(dir.path()), vondrel::Error);
}

TEST(MappedFile, AFileShortenedWhileMappedGivesAnErrorNotACrash) {
  ScratchDir dir;
  const auto bytes = Pattern(40);
  Write(dir / "cut.mdb", bytes);
  PageFile file(LoadFile(dir / "cut.mdb"), kPage, 0, "cut.mdb");
  ASSERT_TRUE(file.mapped());
  const ByteView late = file.Page(30);
  file.DropResident();
  std::filesystem::resize_file(dir / "cut.mdb", 4 * kPage);

  EXPECT_TRUE(SameAsPage(file.Page(2), bytes, 2));  // still there
  // The vanished page reads as zeros instead of killing the process ...
  EXPECT_EQ(late.U8(17), 0);
  // ... and from then on the file is reported as damaged.
  try {
    file.Page(3);
    FAIL() << "no error";
  } catch (const vondrel::Error& error) {
    EXPECT_EQ(error.number(), 3049);
    EXPECT_NE(error.description().find("cut.mdb"), std::string::npos);
  }
  EXPECT_THROW(file.CheckUnchanged(), vondrel::Error);
}

TEST(MappedFile, AShortenedFileIsNoticedBeforeAnyReadFaults) {
  ScratchDir dir;
  Write(dir / "short.mdb", Pattern(8));
  PageFile file(LoadFile(dir / "short.mdb"), kPage, 0, "short.mdb");
  std::filesystem::resize_file(dir / "short.mdb", 2 * kPage);
  EXPECT_THROW(file.CheckUnchanged(), vondrel::Error);
}

}  // namespace
}  // namespace jet::io
