// Database files read through mapped windows: the same bytes as reading the
// file, whatever the order and however few windows are kept, views kept by a
// hold stay right, memory stays within the windows, and an error rather than
// a crash when the file shrinks while it is mapped.

#include "jet/io/mapped_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/error.h"
#include "jet/io/page_file.h"
#include "jet/io/rc4.h"
#include "support/samples.h"

namespace jet::io {
namespace {

using vondrel::testing::ScratchDir;

constexpr std::size_t kPage = 4096;

// Two things differ on Windows: the checking mode's unreadable windows are
// made on POSIX systems only (Windows maps in 64 KiB granules, and a view
// cannot be protected page by page there), and the system refuses to shorten
// a file while a view of it exists.
#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif
constexpr const char* kNoCheckingHere = "the checking mode protects windows on POSIX systems only";
constexpr const char* kNoShorteningHere = "Windows does not shorten a file while it is mapped";

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

TEST(MappedFile, ReadsTheFileAndReadsItAgainAfterLettingWindowsGo) {
  ScratchDir dir;
  const auto bytes = Pattern(12);
  Write(dir / "a.mdb", bytes);
  PageFile file(LoadFile(dir / "a.mdb"), kPage, 0, "a.mdb");
  ASSERT_TRUE(file.mapped());
  EXPECT_EQ(file.page_count(), 12u);
  for (std::uint32_t p = 0; p < 12; ++p) EXPECT_TRUE(SameAsPage(file.Page(p), bytes, p)) << p;
  file.DropResident();
  EXPECT_EQ(file.windows_in_use(), 0u);
  for (std::uint32_t p = 12; p-- > 0;) EXPECT_TRUE(SameAsPage(file.Page(p), bytes, p)) << p;
  EXPECT_NO_THROW(file.CheckUnchanged());
  EXPECT_THROW(file.Page(12), vondrel::Error);
}

TEST(MappedFile, ScatteredReadsKeepEveryByteRightWithinTheWindowBudget) {
  ScratchDir dir;
  const std::size_t pages = 700;
  const auto bytes = Pattern(pages);
  Write(dir / "big.mdb", bytes);
  for (const bool checking : {false, true}) {
    if (checking && kWindows) continue;  // kNoCheckingHere
    ReadLimits limits;
    limits.window_bytes = 64 * 1024;
    limits.windows = 3;
    limits.checking = checking;
    PageFile file(LoadFile(dir / "big.mdb"), kPage, 0, "big.mdb", limits);
    ASSERT_TRUE(file.mapped());
    std::size_t wrong = 0;
    for (int pass = 0; pass < 2; ++pass)
      for (std::uint32_t k = 0; k < pages; ++k) {
        const std::uint32_t p = static_cast<std::uint32_t>((k * 389) % pages);  // every page, far apart
        wrong += SameAsPage(file.Page(p), bytes, p) ? 0 : 1;
      }
    EXPECT_EQ(wrong, 0u) << checking;
    EXPECT_LE(file.most_windows_in_use(), checking ? 1u : 3u);
    EXPECT_LE(file.most_windows_in_use() * file.window_bytes(), checking ? kPage : 3 * 64 * 1024u);
  }
}

TEST(MappedFile, AHoldKeepsEveryPageReadUnderItValidAndThenLetsGo) {
  if (kWindows) GTEST_SKIP() << kNoCheckingHere;
  ScratchDir dir;
  const std::size_t pages = 64;
  const auto bytes = Pattern(pages);
  Write(dir / "held.mdb", bytes);
  ReadLimits limits;
  limits.checking = true;  // one window kept, the rest made unreadable
  PageFile file(LoadFile(dir / "held.mdb"), kPage, 0, "held.mdb", limits);
  {
    const ReadHold outer(file);
    const ByteView first = file.Page(3);
    std::vector<ByteView> kept;
    {
      const ReadHold inner(file);
      for (std::uint32_t p = 10; p < 30; ++p) kept.push_back(file.Page(p));
      for (std::uint32_t p = 10; p < 30; ++p) EXPECT_TRUE(SameAsPage(kept[p - 10], bytes, p)) << p;
      EXPECT_EQ(file.windows_in_use(), 21u);
    }
    // The inner hold's pages went back; the outer one's page stays.
    EXPECT_TRUE(SameAsPage(file.Page(40), bytes, 40));
    EXPECT_TRUE(SameAsPage(first, bytes, 3));
    EXPECT_EQ(file.windows_in_use(), 2u);
  }
  EXPECT_TRUE(SameAsPage(file.Page(60), bytes, 60));
  EXPECT_EQ(file.windows_in_use(), 1u);
}

TEST(MappedFile, CheckingMakesAViewUsedPastItsLifetimeFault) {
  if (kWindows) GTEST_SKIP() << kNoCheckingHere;
  ScratchDir dir;
  Write(dir / "stale.mdb", Pattern(8));
  ReadLimits limits;
  limits.checking = true;
  PageFile file(LoadFile(dir / "stale.mdb"), kPage, 0, "stale.mdb", limits);
  const ByteView stale = file.Page(1);
  file.Page(5);  // lets page 1's window go without a hold
  EXPECT_DEATH(static_cast<void>(*static_cast<const volatile std::uint8_t*>(stale.data())), "");
}

TEST(MappedFile, EncodedFilesAreDecryptedWindowByWindow) {
  ScratchDir dir;
  const auto plain = Pattern(40);
  auto encoded = plain;
  for (std::uint32_t p = 1; p < 40; ++p) Rc4ApplyPageKey(0x1234, p, std::span(encoded).subspan(p * kPage, kPage));
  Write(dir / "enc.mdb", encoded);
  ReadLimits limits;
  limits.window_bytes = 8 * kPage;
  limits.windows = 2;
  PageFile file(LoadFile(dir / "enc.mdb"), kPage, 0x1234, "enc.mdb", limits);
  EXPECT_TRUE(file.mapped());
  for (std::uint32_t p = 40; p-- > 0;) EXPECT_TRUE(SameAsPage(file.Page(p), plain, p)) << p;
  EXPECT_EQ(file.CopyBytes(0, plain.size()), plain);
  EXPECT_LE(file.most_windows_in_use(), 2u);
}

TEST(MappedFile, APageCopiedByAReadHoldsWhatItsWindowHolds) {
  ScratchDir dir;
  auto plain = Pattern(10);
  plain.resize(plain.size() - 1000);  // page 9 is cut to 3096 bytes
  auto encoded = plain;
  for (std::uint32_t p = 1; p < 10; ++p) {
    const std::size_t size = std::min(kPage, encoded.size() - p * kPage);
    Rc4ApplyPageKey(0x1234, p, std::span(encoded).subspan(p * kPage, size));
  }
  Write(dir / "enc.mdb", encoded);
  for (const bool mapped : {true, false}) {
    PageFile file = mapped ? PageFile(LoadFile(dir / "enc.mdb"), kPage, 0x1234, "enc.mdb")
                           : PageFile(encoded, kPage, 0x1234, "enc.mdb");
    EXPECT_EQ(file.mapped(), mapped);
    std::vector<std::uint8_t> copy;
    for (std::uint32_t p : {7u, 0u, 9u, 3u}) {
      const ByteView page = file.CopyPage(p, copy);
      const ByteView window = file.PageOrPart(p);
      EXPECT_EQ(page.data(), copy.data());
      EXPECT_EQ(page.source().page, p);
      ASSERT_EQ(page.size(), window.size()) << p;
      EXPECT_TRUE(std::equal(page.data(), page.data() + page.size(), window.data())) << p;
    }
    EXPECT_EQ(file.CopyPage(9, copy).size(), 3096u);
    EXPECT_THROW(file.CopyPage(10, copy), vondrel::Error);
  }
  if (kWindows) return;  // the rest shortens a mapped file
  PageFile file(LoadFile(dir / "enc.mdb"), kPage, 0x1234, "enc.mdb");
  std::filesystem::resize_file(dir / "enc.mdb", 4 * kPage);
  std::vector<std::uint8_t> copy;
  EXPECT_NO_THROW(file.CopyPage(3, copy));
  try {
    file.CopyPage(6, copy);
    FAIL() << "no error";
  } catch (const vondrel::Error& error) {
    EXPECT_EQ(error.number(), 3049);
    EXPECT_NE(error.description().find("shortened"), std::string::npos) << error.description();
  }
}

TEST(MappedFile, EmptyFilesAreHeldInMemoryAndMissingOnesAre3024) {
  ScratchDir dir;
  Write(dir / "empty.mdb", {});
  const FileImage empty = LoadFile(dir / "empty.mdb");
  EXPECT_EQ(empty.mapped, nullptr);
  EXPECT_EQ(empty.size(), 0u);

  try {
    LoadFile(dir / "absent.mdb");
    FAIL() << "no error";
  } catch (const vondrel::Error& error) {
    EXPECT_EQ(error.number(), 3024);
  }
  EXPECT_THROW(LoadFile(dir.path()), vondrel::Error);
}

TEST(MappedFile, AFileShortenedWhileMappedGivesAnErrorNotACrash) {
  if (kWindows) GTEST_SKIP() << kNoShorteningHere;
  ScratchDir dir;
  const auto bytes = Pattern(40);
  Write(dir / "cut.mdb", bytes);
  PageFile file(LoadFile(dir / "cut.mdb"), kPage, 0, "cut.mdb");
  ASSERT_TRUE(file.mapped());
  const ReadHold hold(file);
  const ByteView late = file.Page(30);
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
  if (kWindows) GTEST_SKIP() << kNoShorteningHere;
  ScratchDir dir;
  Write(dir / "short.mdb", Pattern(8));
  PageFile file(LoadFile(dir / "short.mdb"), kPage, 0, "short.mdb");
  std::filesystem::resize_file(dir / "short.mdb", 2 * kPage);
  EXPECT_THROW(file.CheckUnchanged(), vondrel::Error);
}

}  // namespace
}  // namespace jet::io
