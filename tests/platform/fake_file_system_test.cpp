#include "support/fake_file_system.h"

#include <gtest/gtest.h>

#include "platform/file_errors.h"

namespace vondrel::testing {
namespace {
using platform::kPermissionDenied;

TEST(FakeFileSystem, DriveCIsAFreshTemporaryFolder) {
  FakeFileSystem files;
  files.WriteFile(u"C:\\Program Files\\Tamberlo\\Data.mdb", "db");
  EXPECT_TRUE(std::filesystem::exists(files.DriveC() / "Program Files/Tamberlo/Data.mdb"));
  EXPECT_TRUE(files.OrdinaryFileExists(u"c:\\program files\\tamberlo\\data.mdb"));
  EXPECT_EQ(files.ReadFile(u"C:\\Program Files\\Tamberlo\\Data.mdb"), "db");
  EXPECT_FALSE(files.ReadFile(u"C:\\Program Files\\Tamberlo\\data.mdb"));  // inspection takes names literally
  EXPECT_EQ(files.ListFolder(u"C:\\Program Files"), std::vector<std::string>{"Tamberlo"});
}

TEST(FakeFileSystem, FailsTheNextCallOnceAndRecordsIt) {
  FakeFileSystem files;
  files.WriteFile(u"C:\\a.mdb", "x");
  files.FailNext(FileOperation::DeleteFile, vondrel::Error(kPermissionDenied, "busy"));
  try {
    files.DeleteFile(u"C:\\a.mdb");
    FAIL() << "no failure";
  } catch (const vondrel::Error& error) {
    EXPECT_EQ(error.number(), kPermissionDenied);
    EXPECT_EQ(error.description(), "busy");
  }
  EXPECT_TRUE(files.ReadFile(u"C:\\a.mdb"));
  files.DeleteFile(u"C:\\a.mdb");
  EXPECT_FALSE(files.ReadFile(u"C:\\a.mdb"));
  ASSERT_EQ(files.Calls().size(), 2u);
  EXPECT_TRUE(files.Calls()[0].failed);
  EXPECT_FALSE(files.Calls()[1].failed);
  EXPECT_EQ(files.CallCount(FileOperation::DeleteFile), 2);
  EXPECT_EQ(files.ChangingCallCount(), 2);
}

TEST(FakeFileSystem, FailsOnlyTheCallForTheGivenPath) {
  FakeFileSystem files;
  files.WriteFile(u"C:\\a.rpr", "x");
  files.FailNext(FileOperation::OrdinaryFileExists, vondrel::Error(-7, "odd"), u"C:\\a.mdb");
  EXPECT_TRUE(files.OrdinaryFileExists(u"C:\\a.rpr"));
  EXPECT_THROW(files.OrdinaryFileExists(u"C:\\a.mdb"), vondrel::Error);
  EXPECT_FALSE(files.OrdinaryFileExists(u"C:\\a.mdb"));
}

TEST(FakeFileSystem, FailAlwaysLastsUntilCleared) {
  FakeFileSystem files;
  files.FailAlways(FileOperation::ProgramFolder, vondrel::Error(75, "no"));
  EXPECT_THROW(files.ProgramFolder(), vondrel::Error);
  EXPECT_THROW(files.ProgramFolder(), vondrel::Error);
  files.ClearFailures();
  files.SetProgramFolder(u"C:\\Program Files\\Tamberlo");
  EXPECT_EQ(files.ProgramFolder(), u"C:\\Program Files\\Tamberlo");
}

}  // namespace
}  // namespace vondrel::testing
