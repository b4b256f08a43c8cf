#include "repair/repair_operation.h"

#include <gtest/gtest.h>

#include "platform/file_errors.h"
#include "support/fake_database_engine.h"
#include "support/fake_file_system.h"

namespace vondrel::repair {
namespace {
namespace fs = std::filesystem;
using testing::FakeEngineLog;
using testing::FakeFileSystem;
using testing::FileOperation;
using Kind = RepairOutcome::Kind;

const platform::PathText kDatabase = u"C:\\Program Files\\Tamberlo\\Data.mdb";
const platform::PathText kCopy = u"C:\\Program Files\\Tamberlo\\Data.rpr";
const platform::PathText kFolder = u"C:\\Program Files\\Tamberlo";

// Notes how many engine handles are open at the moment of the swap.
class SwapWatchingFileSystem : public FakeFileSystem {
 public:
  explicit SwapWatchingFileSystem(const FakeEngineLog& log) : log_(log) {}
  void ReplaceFile(const platform::PathText& from, const platform::PathText& to) override {
    handlesAtSwap.push_back(log_.openHandles);
    FakeFileSystem::ReplaceFile(from, to);
  }
  std::vector<int> handlesAtSwap;

 private:
  const FakeEngineLog& log_;
};

class RepairOperationTest : public ::testing::Test {
 protected:
  RepairOperationTest() : files_(log_), repair_(files_, testing::FakeEngineFactory(files_, log_)) {}

  std::vector<std::string> Folder() const { return files_.ListFolder(kFolder); }
  void ExpectFailed(const RepairOutcome& outcome, std::int32_t number) const {
    EXPECT_EQ(outcome.kind, Kind::Failed);
    EXPECT_EQ(outcome.number, number);
    EXPECT_FALSE(outcome.description.empty());
  }

  FakeEngineLog log_;
  SwapWatchingFileSystem files_;
  RepairOperation repair_;
};

TEST_F(RepairOperationTest, NothingSelectedTouchesNothingAndCreatesNoEngine) {
  files_.WriteFile(kDatabase, "old");
  auto outcome = repair_.Run(u"");
  EXPECT_EQ(outcome.kind, Kind::NothingSelected);
  EXPECT_TRUE(files_.Calls().empty());
  EXPECT_EQ(log_.enginesCreated, 0);
  EXPECT_FALSE(repair_.EngineCreated());
  EXPECT_EQ(Folder(), std::vector<std::string>{"Data.mdb"});
}

TEST_F(RepairOperationTest, SucceedsAndPutsTheCompactedCopyInPlace) {
  files_.WriteFile(kDatabase, "old");
  auto outcome = repair_.Run(kDatabase);
  EXPECT_EQ(outcome.kind, Kind::Succeeded);
  EXPECT_EQ(files_.ReadFile(kDatabase), "compacted:old");
  EXPECT_EQ(Folder(), std::vector<std::string>{"Data.mdb"});
  EXPECT_EQ(log_.calls, (std::vector<std::string>{"compact C:\\Program Files\\Tamberlo\\Data.mdb C:\\Program Files\\Tamberlo\\Data.rpr",
                                                  "open C:\\Program Files\\Tamberlo\\Data.rpr", "tabledef 1"}));
  EXPECT_EQ(files_.handlesAtSwap, std::vector<int>{0});  // both handles released before the swap
  EXPECT_EQ(files_.CallCount(FileOperation::DeleteFile), 0);  // the old file is never deleted before its successor is in place
  ASSERT_EQ(files_.CallCount(FileOperation::ReplaceFile), 1);
  EXPECT_EQ(files_.Calls().back().path, kCopy);
  EXPECT_EQ(files_.Calls().back().other, kDatabase);
}

TEST_F(RepairOperationTest, SucceedsTwiceInARowWithOneEngine) {
  files_.WriteFile(kDatabase, "old");
  EXPECT_EQ(repair_.Run(kDatabase).kind, Kind::Succeeded);
  EXPECT_EQ(repair_.Run(kDatabase).kind, Kind::Succeeded);
  EXPECT_EQ(files_.ReadFile(kDatabase), "compacted:compacted:old");
  EXPECT_EQ(log_.enginesCreated, 1);
  EXPECT_EQ(Folder(), std::vector<std::string>{"Data.mdb"});
}

TEST_F(RepairOperationTest, TheEngineIsCreatedOnTheFirstCompactionAndKept) {
  files_.WriteFile(kDatabase, "old");
  files_.FailNext(FileOperation::OrdinaryFileExists, vondrel::Error(platform::kPathFileAccessError, "x"));
  ExpectFailed(repair_.Run(kDatabase), platform::kPathFileAccessError);
  EXPECT_EQ(log_.enginesCreated, 0);  // the run stopped before compaction
  log_.compactError = vondrel::Error(3045, "in use");
  ExpectFailed(repair_.Run(kDatabase), 3045);
  EXPECT_EQ(log_.enginesCreated, 1);
  EXPECT_TRUE(repair_.EngineCreated());
  EXPECT_EQ(repair_.Run(kDatabase).kind, Kind::Succeeded);
  EXPECT_EQ(repair_.Run(u"C:\\other.mdb").kind, Kind::Failed);
  EXPECT_EQ(log_.enginesCreated, 1);
}

TEST_F(RepairOperationTest, ALeftoverCopyBesideTheDatabaseIsDeletedSilently) {
  files_.WriteFile(kDatabase, "old");
  files_.WriteFile(kCopy, "stale");
  EXPECT_EQ(repair_.Run(kDatabase).kind, Kind::Succeeded);
  EXPECT_EQ(files_.ReadFile(kDatabase), "compacted:old");
  EXPECT_EQ(Folder(), std::vector<std::string>{"Data.mdb"});
  ASSERT_EQ(files_.CallCount(FileOperation::DeleteFile), 1);
}

TEST_F(RepairOperationTest, ACopyWithoutItsDatabaseIsNeverDeleted) {
  files_.WriteFile(kCopy, "compacted:the only data");
  auto outcome = repair_.Run(kDatabase);
  ExpectFailed(outcome, testing::kEngineFileNotFound);
  EXPECT_EQ(files_.ReadFile(kCopy), "compacted:the only data");
  EXPECT_EQ(files_.CallCount(FileOperation::DeleteFile), 0);
  EXPECT_EQ(files_.CallCount(FileOperation::ReplaceFile), 0);
}

TEST_F(RepairOperationTest, AHiddenDatabaseDoesNotCountAsBesideTheCopy) {
  files_.WriteFile(u"C:\\f\\.db.rpr", "copy");
  files_.WriteFile(u"C:\\f\\db.rpr", "copy");
  files_.MakeFolder(u"C:\\f\\db.mdb");  // a folder is no database either
  ExpectFailed(repair_.Run(u"C:\\f\\db.mdb"), testing::kEngineFileNotFound);
  EXPECT_EQ(files_.ReadFile(u"C:\\f\\db.rpr"), "copy");
}

TEST_F(RepairOperationTest, ACapitalLetterExtensionEndsInLowerCase) {
  files_.WriteFile(u"C:\\Data\\GV_DATA.MDB", "old");
  EXPECT_EQ(repair_.Run(u"C:\\Data\\GV_DATA.MDB").kind, Kind::Succeeded);
  EXPECT_EQ(log_.calls.front(), "compact C:\\Data\\GV_DATA.mdb C:\\Data\\GV_DATA.rpr");
  EXPECT_EQ(files_.ListFolder(u"C:\\Data"), std::vector<std::string>{"GV_DATA.mdb"});
  EXPECT_EQ(files_.ReadFile(u"C:\\Data\\GV_DATA.mdb"), "compacted:old");
}

TEST_F(RepairOperationTest, TheReplacedDatabaseKeepsItsPermissionBits) {
  files_.WriteFile(kDatabase, "old");
  auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::group_write;
  fs::permissions(files_.DriveC() / "Program Files/Tamberlo/Data.mdb", mode);
  EXPECT_EQ(repair_.Run(kDatabase).kind, Kind::Succeeded);
  EXPECT_EQ(fs::status(files_.DriveC() / "Program Files/Tamberlo/Data.mdb").permissions(), mode);
}

TEST_F(RepairOperationTest, AFileInADriveRootIsReachedThroughTheDoubledBackslash) {
  files_.WriteFile(u"C:\\Data.mdb", "old");
  EXPECT_EQ(repair_.Run(platform::JoinPath(u"C:\\", u"Data.mdb")).kind, Kind::Succeeded);
  EXPECT_EQ(files_.ReadFile(u"C:\\Data.mdb"), "compacted:old");
}

// Each failing step stops the run and leaves the state the list below gives.
TEST_F(RepairOperationTest, APathTooShortTouchesNothing) {
  ExpectFailed(repair_.Run(u"ab"), 5);
  EXPECT_TRUE(files_.Calls().empty());
  EXPECT_EQ(log_.enginesCreated, 0);
}

TEST_F(RepairOperationTest, AFailedLeftoverDeleteLeavesBothFiles) {
  files_.WriteFile(kDatabase, "old");
  files_.WriteFile(kCopy, "stale");
  files_.FailNext(FileOperation::DeleteFile, vondrel::Error(platform::kPermissionDenied, "refused"));
  auto outcome = repair_.Run(kDatabase);
  EXPECT_EQ(outcome.number, platform::kPermissionDenied);
  EXPECT_EQ(outcome.description, "refused");
  EXPECT_EQ(files_.ReadFile(kDatabase), "old");
  EXPECT_EQ(files_.ReadFile(kCopy), "stale");
  EXPECT_TRUE(log_.calls.empty());
}

TEST_F(RepairOperationTest, AFailedCompactionLeavesTheDatabaseAndWhateverTheEngineLeft) {
  files_.WriteFile(kDatabase, "old");
  log_.compactError = vondrel::Error(3049, "damaged beyond repair");
  log_.compactLeavesBehind = "half written";
  auto outcome = repair_.Run(kDatabase);
  EXPECT_EQ(outcome.number, 3049);
  EXPECT_EQ(outcome.description, "damaged beyond repair");
  EXPECT_EQ(files_.ReadFile(kDatabase), "old");
  EXPECT_EQ(files_.ReadFile(kCopy), "half written");
  EXPECT_EQ(log_.calls.size(), 1u);  // no open after the failure
  // The next run clears the remains and succeeds.
  EXPECT_EQ(repair_.Run(kDatabase).kind, Kind::Succeeded);
  EXPECT_EQ(files_.ReadFile(kDatabase), "compacted:old");
  EXPECT_EQ(Folder(), std::vector<std::string>{"Data.mdb"});
}

TEST_F(RepairOperationTest, AMissingDatabaseFailsWithTheEnginesError) {
  files_.MakeFolder(kFolder);
  ExpectFailed(repair_.Run(kDatabase), testing::kEngineFileNotFound);
  ExpectFailed(repair_.Run(u"C:\\no folder\\Data.mdb"), platform::kPathNotFound);
}

TEST_F(RepairOperationTest, ACopyThatDoesNotOpenStaysUnderItsTemporaryName) {
  files_.WriteFile(kDatabase, "old");
  log_.openError = vondrel::Error(3343, "Unrecognized database format");
  auto outcome = repair_.Run(kDatabase);
  EXPECT_EQ(outcome.number, 3343);
  EXPECT_EQ(files_.ReadFile(kDatabase), "old");
  EXPECT_EQ(files_.ReadFile(kCopy), "compacted:old");
  EXPECT_EQ(files_.CallCount(FileOperation::ReplaceFile), 0);
}

TEST_F(RepairOperationTest, ACopyWithoutASecondTableDefinitionStaysAndIsReleased) {
  files_.WriteFile(kDatabase, "old");
  log_.tableDefError = vondrel::Error(testing::kEngineItemNotFound, "Item not found in this collection.");
  auto outcome = repair_.Run(kDatabase);
  EXPECT_EQ(outcome.number, testing::kEngineItemNotFound);
  EXPECT_EQ(files_.ReadFile(kDatabase), "old");
  EXPECT_EQ(files_.ReadFile(kCopy), "compacted:old");
  EXPECT_EQ(log_.openHandles, 0);
  EXPECT_EQ(files_.CallCount(FileOperation::ReplaceFile), 0);
}

TEST_F(RepairOperationTest, AFailedReplaceLeavesTheOldDatabaseAndTheCopy) {
  files_.WriteFile(kDatabase, "old");
  files_.FailNext(FileOperation::ReplaceFile, vondrel::Error(platform::kPathFileAccessError, "locked"));
  auto outcome = repair_.Run(kDatabase);
  EXPECT_EQ(outcome.number, platform::kPathFileAccessError);
  EXPECT_EQ(files_.ReadFile(kDatabase), "old");
  EXPECT_EQ(files_.ReadFile(kCopy), "compacted:old");
}

TEST_F(RepairOperationTest, AReadOnlyDatabaseIsRefusedAndStaysAsItWas) {
  files_.WriteFile(kDatabase, "old");
  fs::permissions(files_.DriveC() / "Program Files/Tamberlo/Data.mdb", fs::perms::owner_read);
  ExpectFailed(repair_.Run(kDatabase), platform::kPathFileAccessError);
  EXPECT_EQ(files_.ReadFile(kDatabase), "old");
  EXPECT_EQ(files_.ReadFile(kCopy), "compacted:old");
  // The copy is still writable, so the next run can clear it.
  fs::permissions(files_.DriveC() / "Program Files/Tamberlo/Data.mdb", fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(repair_.Run(kDatabase).kind, Kind::Succeeded);
}

TEST_F(RepairOperationTest, ANegativeEngineNumberIsPassedThrough) {
  files_.WriteFile(kDatabase, "old");
  log_.compactError = vondrel::Error(-2147467259, "Unspecified failure");
  auto outcome = repair_.Run(kDatabase);
  EXPECT_EQ(outcome.number, -2147467259);
  EXPECT_EQ(MessageFor(outcome).text, u"There was an error repairing the database\r\n\r\nError: -2147467259  Unspecified failure");
}

TEST(RepairOperationFactory, AnEngineThatCannotBeCreatedIsAFailureNotACrash) {
  FakeFileSystem files;
  files.WriteFile(u"C:\\a.mdb", "old");
  int calls = 0;
  RepairOperation repair(files, [&]() -> std::unique_ptr<DatabaseEngine> {
    ++calls;
    return nullptr;
  });
  EXPECT_EQ(repair.Run(u"C:\\a.mdb").kind, Kind::Failed);
  EXPECT_FALSE(repair.EngineCreated());
  EXPECT_EQ(files.ReadFile(u"C:\\a.mdb"), "old");
  EXPECT_EQ(calls, 1);
}

TEST(RepairOperationFactory, ForeignExceptionsBecomeFailures) {
  FakeFileSystem files;
  files.WriteFile(u"C:\\a.mdb", "old");
  RepairOperation repair(files, []() -> std::unique_ptr<DatabaseEngine> { throw std::runtime_error("boom"); });
  auto outcome = repair.Run(u"C:\\a.mdb");
  EXPECT_EQ(outcome.kind, Kind::Failed);
  EXPECT_EQ(outcome.number, 51);
  EXPECT_EQ(outcome.description, "boom");
}

}  // namespace
}  // namespace vondrel::repair
