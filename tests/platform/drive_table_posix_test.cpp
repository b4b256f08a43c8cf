#include "platform/drive_table.h"

#include <cstdlib>
#include <filesystem>
#include <optional>

#include <gtest/gtest.h>

#include "platform/file_errors.h"
#include "support/samples.h"

namespace vondrel::platform {
namespace {
namespace fs = std::filesystem;
using vondrel::testing::ScratchDir;

// A Wine prefix as winecfg leaves it: c: -> ../drive_c, z: -> /, plus the
// device entries that are no drives.
struct FakePrefix {
  ScratchDir dir;
  FakePrefix() {
    fs::create_directories(dir / "drive_c/windows");
    fs::create_directories(dir / "dosdevices");
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink("../drive_c", dir / "dosdevices/c:");
    fs::create_directory_symlink("/", dir / "dosdevices/z:");
    fs::create_directory_symlink(dir / "elsewhere", dir / "dosdevices/D:");
    fs::create_symlink("/dev/null", dir / "dosdevices/com1");
    fs::create_symlink("/dev/sda1", dir / "dosdevices/c::");
    fs::create_directory_symlink(dir / "missing", dir / "dosdevices/q:");
  }
  fs::path DriveC() const { return fs::canonical(dir / "drive_c"); }
};

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value->c_str(), 1);
    else unsetenv(name);
  }
  ~ScopedEnvironment() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(DriveTable, ReadsTheLinksOfAWinePrefix) {
  FakePrefix prefix;
  DriveTable table = DriveTable::FromWinePrefix(prefix.dir.path());
  ASSERT_EQ(table.Drives().size(), 3u);
  EXPECT_EQ(table.Root(u'C'), prefix.DriveC());
  EXPECT_EQ(table.Root(u'c'), prefix.DriveC());
  EXPECT_EQ(table.Root(u'D'), fs::canonical(prefix.dir / "elsewhere"));
  EXPECT_EQ(table.Root(u'Z'), fs::path("/"));
  EXPECT_FALSE(table.Root(u'Q'));  // its link leads nowhere
}

TEST(DriveTable, WithoutPrefixOnlyZIsTheHostRoot) {
  ScratchDir empty;
  DriveTable table = DriveTable::FromWinePrefix(empty / "no-such-prefix");
  ASSERT_EQ(table.Drives().size(), 1u);
  EXPECT_EQ(table.Root(u'Z'), fs::path("/"));
  EXPECT_FALSE(table.Root(u'C'));
}

TEST(DriveTable, TakesThePrefixFromWineprefixElseHome) {
  FakePrefix prefix;
  {
    ScopedEnvironment wine("WINEPREFIX", prefix.dir.path().string());
    EXPECT_EQ(DriveTable::FromEnvironment().Root(u'C'), prefix.DriveC());
  }
  ScratchDir home;
  fs::create_directories(home / ".wine/drive_c");
  fs::create_directories(home / ".wine/dosdevices");
  fs::create_directory_symlink("../drive_c", home / ".wine/dosdevices/c:");
  ScopedEnvironment noWine("WINEPREFIX", std::nullopt);
  ScopedEnvironment homeDir("HOME", home.path().string());
  EXPECT_EQ(DriveTable::FromEnvironment().Root(u'C'), fs::canonical(home / ".wine/drive_c"));
}

TEST(DriveTable, ShowsAHostPathUnderTheDriveThatHoldsItMostClosely) {
  FakePrefix prefix;
  DriveTable table = DriveTable::FromWinePrefix(prefix.dir.path());
  EXPECT_EQ(table.ShowHostPath(prefix.DriveC() / "windows"), u"C:\\windows");
  EXPECT_EQ(table.ShowHostPath(prefix.DriveC()), u"C:\\");
  EXPECT_EQ(table.ShowHostPath(prefix.DriveC() / "Program Files/Tamberlo/"), u"C:\\Program Files\\Tamberlo");
  EXPECT_EQ(table.ShowHostPath(fs::canonical(prefix.dir / "elsewhere") / "x"), u"D:\\x");
  EXPECT_EQ(table.ShowHostPath("/usr/bin"), u"Z:\\usr\\bin");
  EXPECT_EQ(table.ShowHostPath("/"), u"Z:\\");
}

TEST(DriveTable, APrefixWhoseZLeadsElsewhereCannotShowOtherPaths) {
  ScratchDir dir;
  DriveTable table({{u'z', dir.path()}});
  EXPECT_EQ(table.ShowHostPath(dir / "a"), u"Z:\\a");
  try {
    table.ShowHostPath("/usr");
    FAIL() << "shown without a drive";
  } catch (const vondrel::Error& error) {
    EXPECT_EQ(error.number(), kPathNotFound);
  }
}

}  // namespace
}  // namespace vondrel::platform
