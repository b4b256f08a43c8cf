#include "repair/jet_database_engine.h"

#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/host_file_system.h"
#include "repair/engine_path_names.h"
#include "repair/repair_operation.h"
#include "support/fake_file_system.h"
#include "support/samples.h"

namespace vondrel::repair {
namespace {
namespace fs = std::filesystem;
using testing::FakeFileSystem;

// Puts a copy of a sample database on drive C: under `name`; false when absent.
bool PlaceSample(FakeFileSystem& files, const std::string& sample, const std::string& name) {
  auto source = testing::Sample(sample);
  if (!source) return false;
  fs::copy_file(*source, files.DriveC() / name);
  return true;
}

std::int32_t ErrorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const vondrel::Error& error) {
    return error.number();
  }
  return 0;
}

TEST(JetDatabaseEngine, OpensThroughPathTextAndFetchesATableDefinition) {
  VONDREL_REQUIRE_SAMPLES();
  FakeFileSystem files;
  ASSERT_TRUE(PlaceSample(files, "jet4_jackcess_test2.mdb", "Test.mdb"));
  JetDatabaseEngine engine(files);
  auto database = engine.OpenDatabase(u"c:\\TEST.MDB");  // names match without regard to case
  EXPECT_NE(database->TableDefAt(1), nullptr);
  EXPECT_EQ(ErrorNumberOf([&] { database->TableDefAt(100000); }), 3265);
  EXPECT_EQ(ErrorNumberOf([&] { database->TableDefAt(-1); }), 3265);
}

TEST(JetDatabaseEngine, ReportsTheEnginesErrorsForMissingAndForeignFiles) {
  FakeFileSystem files;
  files.WriteFile(u"C:\\notes.mdb", std::string(4096, 'x'));
  JetDatabaseEngine engine(files);
  EXPECT_EQ(ErrorNumberOf([&] { engine.OpenDatabase(u"C:\\absent.mdb"); }), 3024);
  EXPECT_EQ(ErrorNumberOf([&] { engine.OpenDatabase(u"C:\\no folder\\absent.mdb"); }), 3044);
  EXPECT_NE(ErrorNumberOf([&] { engine.OpenDatabase(u"C:\\notes.mdb"); }), 0);
}

TEST(JetRepair, AFileThatIsNoDatabaseFailsAndStaysAsItWas) {
  FakeFileSystem files;
  std::string bytes(8192, '\x5a');
  files.WriteFile(u"C:\\Data\\Data.mdb", bytes);
  RepairOperation repair(files, JetEngineFactory(files));
  auto outcome = repair.Run(u"C:\\Data\\Data.mdb");
  EXPECT_EQ(outcome.kind, RepairOutcome::Kind::Failed);
  EXPECT_NE(outcome.number, 0);
  EXPECT_EQ(files.ReadFile(u"C:\\Data\\Data.mdb"), bytes);
  EXPECT_TRUE(repair.EngineCreated());
}

// Another program holding a database open the way Jet under Wine does: a
// classic POSIX record lock on its user-lock byte, kept until this object dies.
class ProgramHoldingTheFile {
 public:
  explicit ProgramHoldingTheFile(const fs::path& path) {
    int ready[2], release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      int fd = ::open(path.c_str(), O_RDWR);
      struct flock lock {};
      lock.l_type = F_WRLCK;
      lock.l_whence = SEEK_SET;
      lock.l_start = 0x10000001;
      lock.l_len = 1;
      char answer = fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? 'y' : 'n';
      if (::write(ready[1], &answer, 1) != 1) ::_exit(2);
      ::close(release[1]);
      char ignored;
      while (::read(release[0], &ignored, 1) > 0) {
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char answer = 'n';
    locked_ = ::read(ready[0], &answer, 1) == 1 && answer == 'y';
    ::close(ready[0]);
  }
  ~ProgramHoldingTheFile() {
    ::close(release_);
    int status;
    ::waitpid(pid_, &status, 0);
  }
  bool locked() const { return locked_; }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool locked_ = false;
};

TEST(JetRepair, ADatabaseHeldOpenByAnotherProgramIsLeftAlone) {
  FakeFileSystem files;
  std::string bytes(8192, '\x5a');
  files.WriteFile(u"C:\\Data\\Data.mdb", bytes);
  RepairOperation repair(files, JetEngineFactory(files));
  {
    ProgramHoldingTheFile access(files.DriveC() / "Data/Data.mdb");
    ASSERT_TRUE(access.locked());
    auto outcome = repair.Run(u"C:\\Data\\Data.mdb");
    EXPECT_EQ(outcome.kind, RepairOutcome::Kind::Failed);
    EXPECT_EQ(outcome.number, 3045);
    EXPECT_EQ(files.ReadFile(u"C:\\Data\\Data.mdb"), bytes);
    EXPECT_EQ(files.ListFolder(u"C:\\Data"), std::vector<std::string>{"Data.mdb"});
  }
  // Once the other program is gone the engine gets to the file (and finds no database in it).
  EXPECT_NE(repair.Run(u"C:\\Data\\Data.mdb").number, 3045);
}

// A Wine prefix in a scratch folder: drive C: is <prefix>/drive_c, reached
// through the link dosdevices/c: as Wine lays it out.
class WinePrefixRepair : public ::testing::Test {
 protected:
  WinePrefixRepair() {
    fs::create_directories(prefix_ / "drive_c/Program Files/Tamberlo");
    fs::create_directories(prefix_ / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix_ / "dosdevices/c:");
    files_.emplace(platform::DriveTable::FromWinePrefix(prefix_.path()));
  }
  fs::path Folder() const { return prefix_ / "drive_c/Program Files/Tamberlo"; }
  // The description names the file by `text` and holds no host path.
  void ExpectNamedAsShown(const std::string& description, const std::string& text) const {
    EXPECT_NE(description.find(text), std::string::npos) << description;
    EXPECT_EQ(description.find(prefix_.path().string()), std::string::npos) << description;
    EXPECT_EQ(description.find("drive_c"), std::string::npos) << description;
  }
  std::string DescriptionOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const vondrel::Error& error) {
      return error.description();
    }
    ADD_FAILURE() << "no error";
    return {};
  }

  testing::ScratchDir prefix_;
  std::optional<platform::HostFileSystem> files_;
  const platform::PathText database_ = u"c:\\Program Files\\Tamberlo\\Data.mdb";
  const std::string shown_ = "c:\\Program Files\\Tamberlo\\Data.mdb";
};

TEST_F(WinePrefixRepair, ErrorsOfTheRepairNameTheFileAsThePathBoxShowsIt) {
  RepairOperation repair(*files_, JetEngineFactory(*files_));
  // Missing.
  auto missing = repair.Run(database_);
  EXPECT_EQ(missing.number, 3024);
  ExpectNamedAsShown(missing.description, shown_);
  // Held open by another program.
  std::ofstream(Folder() / "Data.mdb", std::ios::binary) << std::string(8192, '\x5a');
  {
    ProgramHoldingTheFile access(Folder() / "Data.mdb");
    ASSERT_TRUE(access.locked());
    auto held = repair.Run(database_);
    EXPECT_EQ(held.number, 3045);
    ExpectNamedAsShown(held.description, shown_);
  }
  // Not a database.
  auto foreign = repair.Run(database_);
  EXPECT_EQ(foreign.kind, RepairOutcome::Kind::Failed);
  ExpectNamedAsShown(foreign.description, shown_);
}

TEST_F(WinePrefixRepair, EngineErrorsNameEveryFileByItsPathText) {
  JetDatabaseEngine engine(*files_);
  std::ofstream(Folder() / "Data.mdb", std::ios::binary) << std::string(8192, '\x5a');
  std::ofstream(Folder() / "Data.rpr", std::ios::binary) << "taken";
  // The destination exists: the engine names the copy.
  ExpectNamedAsShown(DescriptionOf([&] { engine.CompactDatabase(database_, u"c:\\Program Files\\Tamberlo\\Data.rpr"); }),
                     "c:\\Program Files\\Tamberlo\\Data.rpr");
  ExpectNamedAsShown(DescriptionOf([&] { engine.OpenDatabase(u"C:\\PROGRAM FILES\\Tamberlo\\absent.mdb"); }),
                     "C:\\PROGRAM FILES\\Tamberlo\\absent.mdb");
  ExpectNamedAsShown(DescriptionOf([&] { engine.OpenDatabase(u"c:\\Program Files\\Tamberlo\\Data.rpr"); }),
                     "c:\\Program Files\\Tamberlo\\Data.rpr");
}

TEST(EnginePathNames, ReplacesEveryHostPathLongestFirst) {
  EnginePathNames names;
  names.Add("/p/drive_c/a", u"C:\\a");
  names.Add("/p/drive_c/a/Data.mdb", u"C:\\A\\Data.mdb");
  auto shown = names.Shown(vondrel::Error(3049, "'/p/drive_c/a/Data.mdb' and /p/drive_c/a/Data.mdb in /p/drive_c/a"));
  EXPECT_EQ(shown.number(), 3049);
  EXPECT_EQ(shown.description(), "'C:\\A\\Data.mdb' and C:\\A\\Data.mdb in C:\\a");
  EXPECT_EQ(names.Shown(vondrel::Error(-1, "no path")).description(), "no path");
}

}  // namespace
}  // namespace vondrel::repair
