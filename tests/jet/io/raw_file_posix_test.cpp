// Temporary files: made in the user's temporary folder, nameless there, and
// read back at any position as written. Files written past the system's
// cache hold what was written, whether the write suited the device or not.
#include "jet/io/raw_file.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "support/samples.h"
#include "support/temporary_folder.h"

namespace jet::io {
namespace {
namespace fs = std::filesystem;

using vondrel::testing::TemporaryFolder;

std::set<std::string> OpenFiles() {
  std::set<std::string> targets;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code code;
    const fs::path target = fs::read_symlink(entry.path(), code);
    if (!code) targets.insert(target.string());
  }
  return targets;
}

TEST(RawFileTemporary, LivesNamelessInTheUsersTemporaryFolder) {
  vondrel::testing::ScratchDir scratch;
  const TemporaryFolder folder(scratch.path());
  const std::set<std::string> before = OpenFiles();
  RawFile file = RawFile::CreateTemporary();
  ASSERT_TRUE(file.is_open());
  EXPECT_TRUE(fs::is_empty(scratch.path())) << "a name was left behind";
  std::vector<std::string> opened;
  for (const std::string& target : OpenFiles())
    if (!before.count(target)) opened.push_back(target);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].rfind(fs::canonical(scratch.path()).string() + "/", 0), 0u) << opened[0];
}

TEST(RawFileTemporary, ReadsBackWhatWasWrittenAtEachPosition) {
  RawFile file = RawFile::CreateTemporary();
  ASSERT_TRUE(file.is_open());
  std::vector<std::uint8_t> first(3 << 20), second(1000);
  for (std::size_t i = 0; i < first.size(); ++i) first[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  for (std::size_t i = 0; i < second.size(); ++i) second[i] = static_cast<std::uint8_t>(255 - i % 256);
  ASSERT_TRUE(file.WriteAt(0, first.data(), first.size()));
  ASSERT_TRUE(file.WriteAt(first.size(), second.data(), second.size()));
  ASSERT_TRUE(file.WriteAt(10, second.data(), 5));  // overwrites in place

  std::vector<std::uint8_t> read(first.size() + second.size() + 100);
  std::size_t have = 0;
  for (std::ptrdiff_t n; (n = file.ReadAt(have, read.data() + have, read.size() - have)) > 0;) have += static_cast<std::size_t>(n);
  ASSERT_EQ(have, first.size() + second.size());
  for (std::size_t i = 0; i < 5; ++i) first[10 + i] = second[i];
  EXPECT_TRUE(std::equal(first.begin(), first.end(), read.begin()));
  EXPECT_TRUE(std::equal(second.begin(), second.end(), read.begin() + static_cast<std::ptrdiff_t>(first.size())));
  EXPECT_EQ(file.ReadAt(have, read.data(), 10), 0);
  EXPECT_TRUE(file.Close());
  EXPECT_FALSE(file.is_open());
}

// A write the device cannot take directly (a buffer, offset and size off its
// block size) is made through the cache, and so are the writes after it.
TEST(RawFileDirect, HoldsAlignedAndUnalignedWritesAlike) {
  vondrel::testing::ScratchDir scratch;
  const fs::path path = scratch / "direct.bin";
  RawFile file = RawFile::CreateNew(path);
  ASSERT_TRUE(file.is_open());
  if (!file.WriteDirect()) GTEST_SKIP() << "this file system writes through its cache only";

  constexpr std::size_t kAligned = 64 * 1024;
  const std::align_val_t alignment{RawFile::kDirectAlignment};
  const std::unique_ptr<std::uint8_t, void (*)(std::uint8_t*)> buffer(
      static_cast<std::uint8_t*>(::operator new(kAligned, alignment)),
      [](std::uint8_t* p) { ::operator delete(p, std::align_val_t{RawFile::kDirectAlignment}); });
  std::vector<std::uint8_t> expected(kAligned + 1 + 1000, 0);
  for (std::size_t i = 0; i < kAligned; ++i)
    expected[i] = buffer.get()[i] = static_cast<std::uint8_t>(i * 13 + i / 4096);
  ASSERT_TRUE(file.WriteAt(0, buffer.get(), kAligned));
  EXPECT_TRUE(file.writes_direct());

  ASSERT_TRUE(file.WriteAt(kAligned + 1, buffer.get() + 1, 1000));
  EXPECT_FALSE(file.writes_direct());
  std::copy(buffer.get() + 1, buffer.get() + 1001, expected.begin() + kAligned + 1);
  ASSERT_TRUE(file.Flush());
  ASSERT_TRUE(file.Close());

  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> read{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(read, expected);
}

}  // namespace
}  // namespace jet::io
