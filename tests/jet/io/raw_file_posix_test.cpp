// Temporary files: made in the user's temporary folder, nameless there, and
// read back at any position as written.
#include "jet/io/raw_file.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
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

}  // namespace
}  // namespace jet::io
