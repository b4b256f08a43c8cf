#include "repair/repair_operation.h"

#include <map>

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

// The files of one folder: name -> bytes.
using FolderState = std::map<std::string, std::string>;

// Notes how many engine handles are open at the moment of the swap, and what
// the database's folder holds after every step that changes a file: the
// states that a crash between two steps would leave.
class SwapWatchingFileSystem : public FakeFileSystem {
 public:
  explicit SwapWatchingFileSystem(const FakeEngineLog& log) : log_(log) {}
  void ReplaceFile(const platform::PathText& from, const platform::PathText& to) override {
    handles_at_swap.push_back(log_.open_handles);
    FakeFileSystem::ReplaceFile(from, to);
    Note(to);
  }
  void ReplaceFileKeepingOld(const platform::PathText& from, const platform::PathText& to,
                             const platform::PathText& backup) override {
    handles_at_swap.push_back(log_.open_handles);
    FakeFileSystem::ReplaceFileKeepingOld(from, to, backup);
    Note(to);
  }
  void RenameFile(const platform::PathText& from, const platform::PathText& to) override {
    FakeFileSystem::RenameFile(from, to);
    Note(to);
  }
  void DeleteFile(const platform::PathText& path) override {
    FakeFileSystem::DeleteFile(path);
    Note(path);
  }

  std::vector<int> handles_at_swap;
  std::vector<FolderState> states;

 private:
  void Note(const platform::PathText& path) {
    platform::PathText folder = platform::SplitLastComponent(path).folder;
    FolderState state;
    for (const auto& name : ListFolder(folder)) state[name] = *ReadFile(platform::JoinPath(folder, platform::FromUtf8(name)));
    states.push_back(std::move(state));
  }

  const FakeEngineLog& log_;
};

// The names of `state` that the file list's "*.mdb" shows.
std::vector<std::string> ListedDatabases(const FolderState& state) {
  std::vector<std::string> names;
  for (const auto& [name, bytes] : state) {
    if (name.size() > 4 && name[0] != '.' && platform::SameNameIgnoringCase(platform::FromUtf8(name.substr(name.size() - 4)), u".mdb"))
      names.push_back(name);
  }
  return names;
}

// Whether some file of `state` holds exactly `bytes`.
bool Holds(const FolderState& state, const std::string& bytes) {
  for (const auto& [name, held] : state) {
    if (held == bytes) return true;
  }
  return false;
}

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
  EXPECT_EQ(log_.engines_created, 0);
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
  EXPECT_EQ(files_.handles_at_swap, std::vector<int>{0});  // both handles released before the swap
  EXPECT_EQ(files_.CallCount(FileOperation::DeleteFile), 0);  // the old file is never deleted before its successor is in place
  EXPECT_EQ(files_.CallCount(FileOperation::RenameFile), 0);  // nor kept: nothing was lost
  ASSERT_EQ(files_.CallCount(FileOperation::ReplaceFile), 1);
  EXPECT_EQ(files_.Calls().back().path, kCopy);
  EXPECT_EQ(files_.Calls().back().other, kDatabase);
}

TEST_F(RepairOperationTest, SucceedsTwiceInARowWithOneEngine) {
  files_.WriteFile(kDatabase, "old");
  EXPECT_EQ(repair_.Run(kDatabase).kind, Kind::Succeeded);
  EXPECT_EQ(repair_.Run(kDatabase).kind, Kind::Succeeded);
  EXPECT_EQ(files_.ReadFile(kDatabase), "compacted:compacted:old");
  EXPECT_EQ(log_.engines_created, 1);
  EXPECT_EQ(Folder(), std::vector<std::string>{"Data.mdb"});
}

TEST_F(RepairOperationTest, TheEngineIsCreatedOnTheFirstCompactionAndKept) {
  files_.WriteFile(kDatabase, "old");
  files_.FailNext(FileOperation::OrdinaryFileExists, vondrel::Error(platform::kPathFileAccessError, "x"));
  ExpectFailed(repair_.Run(kDatabase), platform::kPathFileAccessError);
  EXPECT_EQ(log_.engines_created, 0);  // the run stopped before compaction
  log_.compact_error = vondrel::Error(3045, "in use");
  ExpectFailed(repair_.Run(kDatabase), 3045);
  EXPECT_EQ(log_.engines_created, 1);
  EXPECT_TRUE(repair_.EngineCreated());
  EXPECT_EQ(repair_.Run(kDatabase).kind, Kind::Succeeded);
  EXPECT_EQ(repair_.Run(u"C:\\other.mdb").kind, Kind::Failed);
  EXPECT_EQ(log_.engines_created, 1);
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

// The copy first takes the stored name "GV_DATA.MDB" in one replacing rename,
// then the extension is lowered in a rename of its own: no step leaves two
// databases for the file list to show.
TEST_F(RepairOperationTest, ACapitalLetterExtensionEndsInLowerCase) {
  files_.WriteFile(u"C:\\Data\\GV_DATA.MDB", "old");
  EXPECT_EQ(repair_.Run(u"C:\\Data\\GV_DATA.MDB").kind, Kind::Succeeded);
  EXPECT_EQ(log_.calls.front(), "compact C:\\Data\\GV_DATA.mdb C:\\Data\\GV_DATA.rpr");
  EXPECT_EQ(files_.ListFolder(u"C:\\Data"), std::vector<std::string>{"GV_DATA.mdb"});
  EXPECT_EQ(files_.ReadFile(u"C:\\Data\\GV_DATA.mdb"), "compacted:old");
  EXPECT_EQ(files_.states, (std::vector<FolderState>{{{"GV_DATA.MDB", "compacted:old"}},
                                                     {{"GV_DATA.mdb", "compacted:old"}}}));
}

TEST_F(RepairOperationTest, AFailedCaseChangeLeavesTheRepairedDatabaseUnderItsStoredName) {
  files_.WriteFile(u"C:\\Data\\GV_DATA.MDB", "old");
  files_.FailNext(FileOperation::RenameFile, vondrel::Error(platform::kPermissionDenied, "refused"));
  ExpectFailed(repair_.Run(u"C:\\Data\\GV_DATA.MDB"), platform::kPermissionDenied);
  EXPECT_EQ(files_.ListFolder(u"C:\\Data"), std::vector<std::string>{"GV_DATA.MDB"});
  EXPECT_EQ(files_.ReadFile(u"C:\\Data\\GV_DATA.MDB"), "compacted:old");
  // The file list still shows it, and the next run finishes the job.
  EXPECT_EQ(repair_.Run(u"C:\\Data\\GV_DATA.MDB").kind, Kind::Succeeded);
  EXPECT_EQ(files_.ListFolder(u"C:\\Data"), std::vector<std::string>{"GV_DATA.mdb"});
  EXPECT_EQ(files_.ReadFile(u"C:\\Data\\GV_DATA.mdb"), "compacted:compacted:old");
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
  EXPECT_EQ(log_.engines_created, 0);
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
  log_.compact_error = vondrel::Error(3049, "damaged beyond repair");
  log_.compact_leaves_behind = "half written";
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
  EXPECT_EQ(log_.open_handles, 0);
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
  log_.compact_error = vondrel::Error(-2147467259, "Unspecified failure");
  auto outcome = repair_.Run(kDatabase);
  EXPECT_EQ(outcome.number, -2147467259);
  EXPECT_EQ(MessageFor(outcome).text, u"There was an error repairing the database\r\n\r\nError: -2147467259  Unspecified failure");
}

// A copy that lost part of its damaged source: the old file stays beside it.
const platform::PathText kBackup = u"C:\\Program Files\\Tamberlo\\Data.bak";

TEST_F(RepairOperationTest, ALossyRepairKeepsTheOldDatabaseUnderTheBackupName) {
  files_.WriteFile(kDatabase, "old");
  log_.compact_lossy = true;
  auto outcome = repair_.Run(kDatabase);
  EXPECT_EQ(outcome.kind, Kind::Succeeded);
  EXPECT_EQ(MessageFor(outcome).text, u"Repair was successful!");
  EXPECT_EQ(Folder(), (std::vector<std::string>{"Data.bak", "Data.mdb"}));
  EXPECT_EQ(files_.ReadFile(kDatabase), "compacted:old");
  EXPECT_EQ(files_.ReadFile(kBackup), "old");
  // One replace that keeps the old file under the backup name.
  ASSERT_EQ(files_.ChangingCallCount(), 1);
  ASSERT_EQ(files_.CallCount(FileOperation::ReplaceFileKeepingOld), 1);
  EXPECT_EQ(files_.Calls().back().backup, kBackup);
  EXPECT_EQ(files_.states, (std::vector<FolderState>{{{"Data.bak", "old"}, {"Data.mdb", "compacted:old"}}}));
  EXPECT_EQ(files_.handles_at_swap, std::vector<int>{0});
}

TEST_F(RepairOperationTest, TakenBackupNamesAreSkippedAndNeverOverwritten) {
  files_.WriteFile(kDatabase, "old");
  files_.WriteFile(kBackup, "an earlier backup");
  files_.WriteFile(u"C:\\Program Files\\Tamberlo\\DATA.BAK1", "capitals");
  files_.MakeFolder(u"C:\\Program Files\\Tamberlo\\Data.bak2");
  fs::create_symlink("nowhere", files_.DriveC() / "Program Files/Tamberlo/data.bak3");
  log_.compact_lossy = true;
  EXPECT_EQ(repair_.Run(kDatabase).kind, Kind::Succeeded);
  EXPECT_EQ(files_.ReadFile(u"C:\\Program Files\\Tamberlo\\Data.bak4"), "old");
  EXPECT_EQ(files_.ReadFile(kBackup), "an earlier backup");
  EXPECT_EQ(files_.ReadFile(u"C:\\Program Files\\Tamberlo\\DATA.BAK1"), "capitals");
  EXPECT_EQ(files_.ReadFile(kDatabase), "compacted:old");
  // A second lossy repair keeps its own old file too.
  EXPECT_EQ(repair_.Run(kDatabase).kind, Kind::Succeeded);
  EXPECT_EQ(files_.ReadFile(u"C:\\Program Files\\Tamberlo\\Data.bak5"), "compacted:old");
  EXPECT_EQ(files_.ReadFile(kDatabase), "compacted:compacted:old");
}

TEST_F(RepairOperationTest, AHiddenFileTakesTheBackupName) {
  files_.WriteFile(u"C:\\f\\.db.mdb", "old");
  files_.WriteFile(u"C:\\f\\.DB.BAK", "hidden");
  log_.compact_lossy = true;
  EXPECT_EQ(repair_.Run(u"C:\\f\\.db.mdb").kind, Kind::Succeeded);
  EXPECT_EQ(files_.ListFolder(u"C:\\f"), (std::vector<std::string>{".DB.BAK", ".db.bak1", ".db.mdb"}));
  EXPECT_EQ(files_.ReadFile(u"C:\\f\\.db.bak1"), "old");
}

TEST_F(RepairOperationTest, ALossyRepairOfACapitalLetterExtension) {
  files_.WriteFile(u"C:\\Data\\DATA.MDB", "old");
  log_.compact_lossy = true;
  EXPECT_EQ(repair_.Run(u"C:\\Data\\DATA.MDB").kind, Kind::Succeeded);
  EXPECT_EQ(files_.ListFolder(u"C:\\Data"), (std::vector<std::string>{"DATA.bak", "DATA.mdb"}));
  EXPECT_EQ(files_.ReadFile(u"C:\\Data\\DATA.bak"), "old");
  EXPECT_EQ(files_.ReadFile(u"C:\\Data\\DATA.mdb"), "compacted:old");
}

TEST_F(RepairOperationTest, AFailedSwapOfALossyCopyLeavesTheDatabaseAndTheCopy) {
  files_.WriteFile(kDatabase, "old");
  log_.compact_lossy = true;
  files_.FailNext(FileOperation::ReplaceFileKeepingOld, vondrel::Error(platform::kPermissionDenied, "refused"));
  ExpectFailed(repair_.Run(kDatabase), platform::kPermissionDenied);
  EXPECT_EQ(Folder(), (std::vector<std::string>{"Data.mdb", "Data.rpr"}));
  EXPECT_EQ(files_.ReadFile(kDatabase), "old");
  EXPECT_EQ(files_.ReadFile(kCopy), "compacted:old");
  // The copy can be made again from the database beside it: the next run replaces it.
  EXPECT_EQ(repair_.Run(kDatabase).kind, Kind::Succeeded);
  EXPECT_EQ(Folder(), (std::vector<std::string>{"Data.bak", "Data.mdb"}));
  EXPECT_EQ(files_.ReadFile(kBackup), "old");
}

TEST_F(RepairOperationTest, NoFreeBackupNameFailsAndLeavesTheDatabaseAndTheCopy) {
  files_.WriteFile(kDatabase, "old");
  log_.compact_lossy = true;
  files_.FailAlways(FileOperation::ReplaceFileKeepingOld, vondrel::Error(platform::kFileAlreadyExists, "taken"));
  ExpectFailed(repair_.Run(kDatabase), platform::kFileAlreadyExists);
  EXPECT_GT(files_.CallCount(FileOperation::ReplaceFileKeepingOld), 1);
  EXPECT_EQ(files_.CallCount(FileOperation::ReplaceFile), 0);
  EXPECT_EQ(files_.ReadFile(kDatabase), "old");
  EXPECT_EQ(files_.ReadFile(kCopy), "compacted:old");
}

// The state a crash can leave where the file system has no second names for
// a file (the old database moved to the backup name, the repaired one still
// under the temporary name): the next run must not delete the copy.
TEST_F(RepairOperationTest, ACopyWithoutItsDatabaseButWithABackupIsKept) {
  files_.WriteFile(kBackup, "old");
  files_.WriteFile(kCopy, "compacted:old");
  const std::vector<std::string> left_behind{"Data.bak", "Data.rpr"};
  ExpectFailed(repair_.Run(kDatabase), testing::kEngineFileNotFound);
  EXPECT_EQ(Folder(), left_behind);
  EXPECT_EQ(files_.ReadFile(kBackup), "old");
  EXPECT_EQ(files_.ReadFile(kCopy), "compacted:old");
}

TEST_F(RepairOperationTest, AReadOnlyDatabaseIsRefusedAtTheSwapEvenWhenTheCopyIsLossy) {
  files_.WriteFile(kDatabase, "old");
  fs::permissions(files_.DriveC() / "Program Files/Tamberlo/Data.mdb", fs::perms::owner_read);
  log_.compact_lossy = true;
  ExpectFailed(repair_.Run(kDatabase), platform::kPathFileAccessError);
  EXPECT_EQ(Folder(), (std::vector<std::string>{"Data.mdb", "Data.rpr"}));
  EXPECT_EQ(files_.ReadFile(kDatabase), "old");
}

// Every file-system call of a good run, failed in turn in a fresh folder: the
// run reports that error and each database it had is still whole under a
// name, with at most one name the file list shows; the run after it then
// completes the repair or, when no database name is left, keeps everything.
// The steps of the good run itself are held to the same.
struct StepCase {
  const char16_t* selected;
  bool lossy;
};

void PrintTo(const StepCase& c, std::ostream* out) {
  *out << platform::ToUtf8(c.selected) << (c.lossy ? ", lossy" : ", clean");
}

class RepairEachStepFailing : public ::testing::TestWithParam<StepCase> {
 protected:
  struct Setup {
    Setup(const platform::PathText& selected, bool lossy) {
      files.WriteFile(selected, "old");
      files.WriteFile(selected.substr(0, selected.size() - 3) + u"rpr", "stale");
      log.compact_lossy = lossy;
    }
    FolderState Now() const {
      FolderState state;
      for (const auto& name : files.ListFolder(folder)) state[name] = *files.ReadFile(platform::JoinPath(folder, platform::FromUtf8(name)));
      return state;
    }
    platform::PathText folder = u"C:\\Data";
    FakeEngineLog log;
    SwapWatchingFileSystem files{log};
    RepairOperation repair{files, testing::FakeEngineFactory(files, log)};
  };

  // Whether a state keeps what must survive: the old database while the
  // repair is lossy, else the old or the repaired one.
  bool KeepsWhatMustSurvive(const FolderState& state) const {
    return Holds(state, "old") || (!GetParam().lossy && Holds(state, "compacted:old"));
  }
};

TEST_P(RepairEachStepFailing, LeavesEachDatabaseWholeUnderAName) {
  const platform::PathText selected = GetParam().selected;
  Setup good(selected, GetParam().lossy);
  ASSERT_EQ(good.repair.Run(selected).kind, Kind::Succeeded);
  for (const FolderState& state : good.files.states) {
    EXPECT_TRUE(KeepsWhatMustSurvive(state));
    EXPECT_LE(ListedDatabases(state).size(), 1u);
  }
  EXPECT_EQ(ListedDatabases(good.files.states.back()), std::vector<std::string>{"DATA.mdb"});
  EXPECT_EQ(Holds(good.files.states.back(), "old"), GetParam().lossy);

  const std::size_t calls = good.files.Calls().size();
  ASSERT_GE(calls, 6u);
  for (std::size_t step = 0; step < calls; ++step) {
    SCOPED_TRACE("failing call " + std::to_string(step) + " of " + std::to_string(calls));
    Setup run(selected, GetParam().lossy);
    run.files.FailCallNumber(step, vondrel::Error(platform::kPathFileAccessError, "the step failed"));
    auto outcome = run.repair.Run(selected);
    EXPECT_EQ(outcome.kind, Kind::Failed);
    EXPECT_EQ(outcome.number, platform::kPathFileAccessError);
    ASSERT_EQ(run.files.Calls().size(), step + 1);  // nothing ran after the failing step
    FolderState after = run.Now();
    EXPECT_TRUE(KeepsWhatMustSurvive(after));
    EXPECT_LE(ListedDatabases(after).size(), 1u);

    auto next = run.repair.Run(selected);
    FolderState finally = run.Now();
    if (ListedDatabases(after).empty()) {
      // Old under the backup name, new under the temporary one: both stay.
      EXPECT_EQ(next.kind, Kind::Failed);
      EXPECT_EQ(finally, after);
    } else {
      EXPECT_EQ(next.kind, Kind::Succeeded);
      ASSERT_EQ(ListedDatabases(finally), std::vector<std::string>{"DATA.mdb"});
      EXPECT_TRUE(finally["DATA.mdb"].rfind("compacted:", 0) == 0);
      EXPECT_EQ(Holds(finally, "old"), GetParam().lossy);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Swaps, RepairEachStepFailing,
                         ::testing::Values(StepCase{u"C:\\Data\\DATA.mdb", false}, StepCase{u"C:\\Data\\DATA.MDB", false},
                                           StepCase{u"C:\\Data\\DATA.mdb", true}, StepCase{u"C:\\Data\\DATA.MDB", true}),
                         [](const ::testing::TestParamInfo<StepCase>& info) {
                           std::string name = info.param.lossy ? "Lossy" : "Clean";
                           return name + (platform::PathText(info.param.selected).ends_with(u"MDB") ? "Capitals" : "LowerCase");
                         });

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
