#include "platform/host_file_system.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/file_errors.h"
#include "support/samples.h"

namespace vondrel::platform {
namespace {
namespace fs = std::filesystem;
using vondrel::testing::ScratchDir;

// Drive C: over a scratch folder; Z: stays the host root.
class HostFileSystemTest : public ::testing::Test {
 protected:
  HostFileSystemTest() : files_(DriveTable({{u'C', drive_.path()}})) {}

  fs::path Host(const std::string& relative) const { return drive_.path() / relative; }
  void Write(const std::string& relative, const std::string& bytes = "x") {
    fs::create_directories(Host(relative).parent_path());
    std::ofstream(Host(relative), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(Host(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Runs `action` and returns the number of the vondrel::Error it throws (0 when none).
  template <typename Action>
  static std::int32_t ErrorNumberOf(Action&& action) {
    try {
      action();
    } catch (const vondrel::Error& error) {
      EXPECT_FALSE(error.description().empty());
      return error.number();
    }
    return 0;
  }

  ScratchDir drive_;
  HostFileSystem files_;
};

TEST_F(HostFileSystemTest, ResolvesNamesWithoutRegardToCase) {
  Write("Program Files/Tamberlo/Data.mdb", "db");
  EXPECT_TRUE(files_.OrdinaryFileExists(u"c:\\program files\\TAMBERLO\\data.MDB"));
  EXPECT_EQ(files_.HostPath(u"C:\\PROGRAM FILES\\tamberlo\\DATA.mdb"), Host("Program Files/Tamberlo/Data.mdb"));
  EXPECT_FALSE(files_.OrdinaryFileExists(u"C:\\Program Files\\Tamberlo\\Data.mdc"));
}

TEST_F(HostFileSystemTest, AnExactMatchWinsElseTheFirstInByteOrder) {
  Write("f/data.MDB", "lower-upper");
  Write("f/DATA.mdb", "upper-lower");
  Write("f/Data.mdb", "title");
  EXPECT_EQ(files_.HostPath(u"C:\\f\\data.MDB"), Host("f/data.MDB"));
  EXPECT_EQ(files_.HostPath(u"C:\\f\\Data.mdb"), Host("f/Data.mdb"));
  EXPECT_EQ(files_.HostPath(u"C:\\F\\data.mdb"), Host("f/DATA.mdb"));  // "DATA" < "Data" < "data"
}

TEST_F(HostFileSystemTest, HiddenSystemAndFolderEntriesAreNoOrdinaryFiles) {
  Write("f/.hidden.mdb");
  Write("f/plain.mdb");
  fs::create_directories(Host("f/folder.mdb"));
  ASSERT_EQ(mkfifo(Host("f/pipe.mdb").c_str(), 0600), 0);
  fs::create_symlink(Host("f/plain.mdb"), Host("f/link.mdb"));
  fs::create_symlink(Host("f/absent"), Host("f/dangling.mdb"));
  EXPECT_FALSE(files_.OrdinaryFileExists(u"C:\\f\\.hidden.mdb"));
  EXPECT_FALSE(files_.OrdinaryFileExists(u"C:\\f\\folder.mdb"));
  EXPECT_FALSE(files_.OrdinaryFileExists(u"C:\\f\\pipe.mdb"));
  EXPECT_FALSE(files_.OrdinaryFileExists(u"C:\\f\\dangling.mdb"));
  EXPECT_FALSE(files_.OrdinaryFileExists(u"C:\\missing\\plain.mdb"));
  EXPECT_FALSE(files_.OrdinaryFileExists(u"Q:\\f\\plain.mdb"));
  EXPECT_FALSE(files_.OrdinaryFileExists(u"C:\\"));
  EXPECT_TRUE(files_.OrdinaryFileExists(u"C:\\f\\plain.mdb"));
  EXPECT_TRUE(files_.OrdinaryFileExists(u"C:\\f\\link.mdb"));  // a link counts as what it leads to
  EXPECT_EQ(files_.OrdinaryFiles(u"C:\\f"), (std::vector<std::u16string>{u"link.mdb", u"plain.mdb"}));
  EXPECT_EQ(files_.SubFolders(u"C:\\f"), (std::vector<std::u16string>{u"folder.mdb"}));
}

TEST_F(HostFileSystemTest, ListsAreSortedWithoutRegardToCase) {
  for (auto name : {"b.mdb", "A.mdb", "a.mdb", "C.mdb", ".x"}) Write(std::string("f/") + name);
  for (auto name : {"zeta", "Alpha", "beta", ".git"}) fs::create_directories(Host(std::string("f/") + name));
  EXPECT_EQ(files_.OrdinaryFiles(u"c:\\F"), (std::vector<std::u16string>{u"A.mdb", u"a.mdb", u"b.mdb", u"C.mdb"}));
  EXPECT_EQ(files_.SubFolders(u"C:\\f\\"), (std::vector<std::u16string>{u"Alpha", u"beta", u"zeta"}));
  EXPECT_EQ(ErrorNumberOf([&] { files_.OrdinaryFiles(u"C:\\nowhere"); }), kPathNotFound);
}

TEST_F(HostFileSystemTest, ADoubledBackslashStillReachesTheFile) {
  Write("Data.mdb");
  Write("a/b.mdb");
  EXPECT_TRUE(files_.OrdinaryFileExists(JoinPath(u"C:\\", u"Data.mdb")));
  EXPECT_TRUE(files_.OrdinaryFileExists(u"C:\\\\Data.mdb"));
  EXPECT_TRUE(files_.OrdinaryFileExists(u"C:\\a\\\\b.mdb"));
  EXPECT_TRUE(files_.OrdinaryFileExists(u"C:/a/b.mdb"));
  EXPECT_TRUE(files_.OrdinaryFileExists(u"C:\\a\\.\\..\\a\\b.mdb"));
}

TEST_F(HostFileSystemTest, ShowsFoldersTheWayWindowsDoes) {
  fs::create_directories(Host("Program Files/Tamberlo"));
  EXPECT_EQ(files_.ResolveFolder(u"C:\\"), u"C:\\");
  EXPECT_EQ(files_.ResolveFolder(u"c:\\program files\\"), u"c:\\program files");
  EXPECT_EQ(files_.ResolveFolder(u"C:\\Program Files\\Tamberlo\\.."), u"C:\\Program Files");
  EXPECT_EQ(files_.ResolveFolder(u"C:\\.."), u"C:\\");
  EXPECT_EQ(ErrorNumberOf([&] { files_.ResolveFolder(u"C:\\Program Files\\Guvrine"); }), kPathNotFound);
  EXPECT_EQ(ErrorNumberOf([&] { files_.ResolveFolder(u"Q:\\"); }), kPathNotFound);
  EXPECT_EQ(ErrorNumberOf([&] { files_.ResolveFolder(u""); }), kPathNotFound);
  EXPECT_EQ(ErrorNumberOf([&] { files_.ResolveFolder(u"\\\\server\\share"); }), kPathNotFound);
}

TEST_F(HostFileSystemTest, ADriveLetterAloneMeansThatDrivesCurrentFolder) {
  fs::create_directories(Host("Tools/bin"));
  Write("Tools/Data.mdb");
  EXPECT_EQ(files_.ResolveFolder(u"C:"), u"C:\\");
  EXPECT_EQ(files_.ResolveFolder(u"z:"), u"z:\\");
  files_.SetCurrentFolder(u"c:\\tools");
  EXPECT_EQ(files_.ResolveFolder(u"C:"), u"C:\\tools");  // the letter as written, the folder as set
  EXPECT_EQ(files_.ResolveFolder(u"c:bin"), u"c:\\tools\\bin");
  EXPECT_TRUE(files_.OrdinaryFileExists(u"C:Data.mdb"));
  EXPECT_TRUE(files_.OrdinaryFileExists(u"Data.mdb"));      // the current drive is C: now
  EXPECT_TRUE(files_.OrdinaryFileExists(u"\\Tools\\Data.mdb"));
  EXPECT_EQ(files_.ResolveFolder(u"Z:"), u"Z:\\");          // other drives keep theirs
  EXPECT_EQ(ErrorNumberOf([&] { files_.SetCurrentFolder(u"C:\\Tools\\Data.mdb"); }), kPathNotFound);
  EXPECT_EQ(files_.ResolveFolder(u"c:"), u"c:\\tools");
}

TEST_F(HostFileSystemTest, DeletesFilesAndReportsWhatStopsIt) {
  Write("a/x.mdb");
  files_.DeleteFile(u"C:\\A\\X.MDB");
  EXPECT_FALSE(fs::exists(Host("a/x.mdb")));
  EXPECT_EQ(ErrorNumberOf([&] { files_.DeleteFile(u"C:\\a\\x.mdb"); }), kFileNotFound);
  EXPECT_EQ(ErrorNumberOf([&] { files_.DeleteFile(u"C:\\b\\x.mdb"); }), kPathNotFound);
  EXPECT_EQ(ErrorNumberOf([&] { files_.DeleteFile(u"C:\\a"); }), kPathFileAccessError);
  Write("a/readonly.mdb");
  fs::permissions(Host("a/readonly.mdb"), fs::perms::owner_read);
  EXPECT_EQ(ErrorNumberOf([&] { files_.DeleteFile(u"C:\\a\\readonly.mdb"); }), kPathFileAccessError);
  EXPECT_TRUE(fs::exists(Host("a/readonly.mdb")));
}

TEST_F(HostFileSystemTest, DeleteInALockedFolderIsRefused) {
  if (geteuid() == 0) GTEST_SKIP() << "the superuser ignores folder permissions";
  Write("locked/x.mdb");
  fs::permissions(Host("locked"), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(ErrorNumberOf([&] { files_.DeleteFile(u"C:\\locked\\x.mdb"); }), kPermissionDenied);
  fs::permissions(Host("locked"), fs::perms::owner_all);
}

TEST_F(HostFileSystemTest, RenamesWithinAFolderButNeverOntoAnotherFile) {
  Write("f/old.rpr", "copy");
  Write("f/taken.mdb", "other");
  EXPECT_EQ(ErrorNumberOf([&] { files_.RenameFile(u"C:\\f\\old.rpr", u"C:\\f\\TAKEN.mdb"); }), kFileAlreadyExists);
  EXPECT_EQ(Read("f/taken.mdb"), "other");
  EXPECT_EQ(ErrorNumberOf([&] { files_.RenameFile(u"C:\\f\\none.rpr", u"C:\\f\\new.mdb"); }), kFileNotFound);
  files_.RenameFile(u"C:\\F\\OLD.rpr", u"C:\\f\\new.mdb");
  EXPECT_EQ(Read("f/new.mdb"), "copy");
  EXPECT_FALSE(fs::exists(Host("f/old.rpr")));
  files_.RenameFile(u"C:\\f\\new.mdb", u"C:\\f\\New.MDB");  // only the case changes
  EXPECT_EQ(files_.OrdinaryFiles(u"C:\\f"), (std::vector<std::u16string>{u"New.MDB", u"taken.mdb"}));
}

TEST_F(HostFileSystemTest, ReplacePutsTheFileInPlaceOfTheOld) {
  Write("f/db.rpr", "new");
  Write("f/db.mdb", "old");
  files_.ReplaceFile(u"C:\\f\\db.rpr", u"C:\\F\\db.mdb");
  EXPECT_EQ(Read("f/db.mdb"), "new");
  EXPECT_FALSE(fs::exists(Host("f/db.rpr")));
  Write("f/fresh.rpr", "new");
  files_.ReplaceFile(u"C:\\f\\fresh.rpr", u"C:\\f\\fresh.mdb");  // nothing to replace
  EXPECT_EQ(Read("f/fresh.mdb"), "new");
}

// On a case-sensitive host "CAPS.mdb" written reaches "CAPS.MDB" stored: the
// new file takes the stored name in the one rename, so no instant has two
// files, and a rename of the file onto its own name as written then changes
// only the case.
TEST_F(HostFileSystemTest, ReplaceKeepsTheStoredNameAndARenameChangesItsCase) {
  Write("f/CAPS.MDB", "old");
  Write("f/CAPS.rpr", "new");
  files_.ReplaceFile(u"C:\\f\\CAPS.rpr", u"C:\\f\\CAPS.mdb");
  EXPECT_EQ(Read("f/CAPS.MDB"), "new");
  EXPECT_EQ(files_.OrdinaryFiles(u"C:\\f"), std::vector<std::u16string>{u"CAPS.MDB"});
  files_.RenameFile(u"C:\\f\\CAPS.mdb", u"C:\\f\\CAPS.mdb");
  EXPECT_EQ(Read("f/CAPS.mdb"), "new");
  EXPECT_EQ(files_.OrdinaryFiles(u"C:\\f"), std::vector<std::u16string>{u"CAPS.mdb"});
  files_.RenameFile(u"C:\\f\\CAPS.mdb", u"C:\\f\\CAPS.mdb");  // already so: nothing changes
  EXPECT_EQ(Read("f/CAPS.mdb"), "new");
}

// An exact match wins: with both spellings present, only the one written is replaced.
TEST_F(HostFileSystemTest, ReplaceOfOneOfTwoSpellingsLeavesTheOther) {
  Write("f/Two.MDB", "capitals");
  Write("f/Two.mdb", "old");
  Write("f/Two.rpr", "new");
  files_.ReplaceFile(u"C:\\f\\Two.rpr", u"C:\\f\\Two.mdb");
  files_.RenameFile(u"C:\\f\\Two.mdb", u"C:\\f\\Two.mdb");
  EXPECT_EQ(Read("f/Two.mdb"), "new");
  EXPECT_EQ(Read("f/Two.MDB"), "capitals");
}

TEST_F(HostFileSystemTest, RenameRefusesANameThatAnyEntryAnswersTo) {
  Write("f/db.mdb", "old");
  Write("f/.db.bak", "hidden");
  Write("f/DB.BAK", "capitals");
  fs::create_directories(Host("f/db.bak1"));
  fs::create_symlink("nowhere", Host("f/db.bak2"));  // a system entry, and a dangling one
  ASSERT_EQ(::mkfifo(Host("f/db.bak3").c_str(), 0600), 0);
  for (const char16_t* taken : {u"C:\\f\\db.bak", u"C:\\f\\db.bak1", u"C:\\f\\db.bak2", u"C:\\f\\db.bak3",
                                u"C:\\f\\.DB.bak"}) {
    EXPECT_EQ(ErrorNumberOf([&] { files_.RenameFile(u"C:\\f\\db.mdb", taken); }), kFileAlreadyExists);
  }
  EXPECT_EQ(Read("f/db.mdb"), "old");
  EXPECT_EQ(Read("f/.db.bak"), "hidden");
  EXPECT_EQ(Read("f/DB.BAK"), "capitals");
  files_.RenameFile(u"C:\\f\\db.mdb", u"C:\\f\\db.bak4");
  EXPECT_EQ(Read("f/db.bak4"), "old");
}

TEST_F(HostFileSystemTest, ReplaceKeepsThePermissionBitsOfTheReplacedFile) {
  Write("f/db.mdb", "old");
  Write("f/db.rpr", "new");
  Write("f/OTHER.MDB", "old");
  Write("f/OTHER.rpr", "new");
  const auto shared = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::group_write;
  const auto own = fs::perms::owner_read | fs::perms::owner_write;
  fs::permissions(Host("f/db.mdb"), shared);
  fs::permissions(Host("f/db.rpr"), own);
  fs::permissions(Host("f/OTHER.MDB"), shared | fs::perms::others_read);
  fs::permissions(Host("f/OTHER.rpr"), own);
  files_.ReplaceFile(u"C:\\f\\db.rpr", u"C:\\f\\db.mdb");
  files_.ReplaceFile(u"C:\\f\\OTHER.rpr", u"C:\\f\\OTHER.mdb");
  EXPECT_EQ(fs::status(Host("f/db.mdb")).permissions(), shared);
  EXPECT_EQ(fs::status(Host("f/OTHER.MDB")).permissions(), shared | fs::perms::others_read);
}

TEST_F(HostFileSystemTest, ReplaceRefusesWhatWindowsWouldRefuse) {
  Write("f/db.rpr", "new");
  fs::create_directories(Host("f/dir.mdb"));
  EXPECT_EQ(ErrorNumberOf([&] { files_.ReplaceFile(u"C:\\f\\db.rpr", u"C:\\f\\dir.mdb"); }), kPathFileAccessError);
  Write("f/readonly.mdb", "old");
  Write("f/READONLY.MDB", "old");
  fs::permissions(Host("f/readonly.mdb"), fs::perms::owner_read);
  fs::permissions(Host("f/READONLY.MDB"), fs::perms::owner_read);
  EXPECT_EQ(ErrorNumberOf([&] { files_.ReplaceFile(u"C:\\f\\db.rpr", u"C:\\f\\readonly.mdb"); }), kPathFileAccessError);
  EXPECT_EQ(ErrorNumberOf([&] { files_.ReplaceFile(u"C:\\f\\db.rpr", u"C:\\f\\READONLY.mdb"); }), kPathFileAccessError);
  EXPECT_EQ(Read("f/readonly.mdb"), "old");
  EXPECT_EQ(Read("f/READONLY.MDB"), "old");
  EXPECT_FALSE(fs::exists(Host("f/READONLY.mdb")));
  EXPECT_EQ(ErrorNumberOf([&] { files_.ReplaceFile(u"C:\\f\\none.rpr", u"C:\\f\\db.mdb"); }), kFileNotFound);
  EXPECT_EQ(ErrorNumberOf([&] { files_.ReplaceFile(u"C:\\f\\db.rpr", u"C:\\g\\db.mdb"); }), kPathNotFound);
  EXPECT_EQ(Read("f/db.rpr"), "new");
  EXPECT_EQ(fs::status(Host("f/db.rpr")).permissions() & fs::perms::owner_write, fs::perms::owner_write);
}

TEST_F(HostFileSystemTest, AReplaceThatKeepsTheOldFileGivesItTheBackupName) {
  Write("f/DB.MDB", "old");
  Write("f/db.rpr", "new");
  const auto shared = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(Host("f/DB.MDB"), shared);
  files_.ReplaceFileKeepingOld(u"C:\\f\\db.rpr", u"C:\\f\\db.mdb", u"C:\\f\\db.bak");
  EXPECT_EQ(Read("f/DB.MDB"), "new");  // the stored name, as a plain replace keeps it
  EXPECT_EQ(Read("f/db.bak"), "old");
  EXPECT_FALSE(fs::exists(Host("f/db.rpr")));
  EXPECT_EQ(fs::status(Host("f/DB.MDB")).permissions(), shared);
  EXPECT_EQ(fs::hard_link_count(Host("f/db.bak")), 1u);
}

TEST_F(HostFileSystemTest, AReplaceThatKeepsTheOldFileChangesNothingWhenItCannot) {
  Write("f/db.mdb", "old");
  Write("f/db.rpr", "new");
  Write("f/DB.BAK", "an earlier backup");
  EXPECT_EQ(ErrorNumberOf([&] { files_.ReplaceFileKeepingOld(u"C:\\f\\db.rpr", u"C:\\f\\db.mdb", u"C:\\f\\db.bak"); }),
            kFileAlreadyExists);
  fs::create_directories(Host("f/.db.bak1"));
  EXPECT_EQ(ErrorNumberOf([&] { files_.ReplaceFileKeepingOld(u"C:\\f\\db.rpr", u"C:\\f\\db.mdb", u"C:\\f\\.DB.bak1"); }),
            kFileAlreadyExists);
  fs::permissions(Host("f/db.mdb"), fs::perms::owner_read);
  EXPECT_EQ(ErrorNumberOf([&] { files_.ReplaceFileKeepingOld(u"C:\\f\\db.rpr", u"C:\\f\\db.mdb", u"C:\\f\\db.bak2"); }),
            kPathFileAccessError);
  EXPECT_EQ(Read("f/db.mdb"), "old");
  EXPECT_EQ(Read("f/db.rpr"), "new");
  EXPECT_EQ(Read("f/DB.BAK"), "an earlier backup");
  EXPECT_FALSE(fs::exists(Host("f/db.bak2")));
}

TEST_F(HostFileSystemTest, HostPathAllowsAnAbsentLastNameOnly) {
  fs::create_directories(Host("Data"));
  EXPECT_EQ(files_.HostPath(u"c:\\data\\new.rpr"), Host("Data/new.rpr"));
  EXPECT_EQ(files_.HostPath(u"C:\\"), drive_.path());
  EXPECT_EQ(files_.HostPath(u"Z:\\usr"), fs::path("/usr"));
  EXPECT_EQ(ErrorNumberOf([&] { files_.HostPath(u"C:\\nowhere\\new.rpr"); }), kPathNotFound);
}

TEST_F(HostFileSystemTest, NamesThatAreNotUtf8CanBeListedAndReached) {
  Write("f/caf\xE9.mdb", "latin-1 name");
  auto names = files_.OrdinaryFiles(u"C:\\f");
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(files_.OrdinaryFileExists(JoinPath(u"C:\\f", names[0])));
}

TEST(HostFileSystemProgramFolder, IsTheFolderOfThisTestShownUnderZ) {
  HostFileSystem files(DriveTable({}));
  fs::path executable = fs::read_symlink("/proc/self/exe");
  PathText expected = u"Z:" + FromUtf8(executable.parent_path().string());
  std::replace(expected.begin(), expected.end(), u'/', u'\\');
  EXPECT_EQ(files.ProgramFolder(), expected);
}

TEST(HostFileSystemFromPrefix, UsesTheDrivesOfWineprefix) {
  ScratchDir prefix;
  fs::create_directories(prefix / "drive_c/Program Files/Guvrine");
  fs::create_directories(prefix / "dosdevices");
  fs::create_directory_symlink("../drive_c", prefix / "dosdevices/c:");
  fs::create_directory_symlink("/", prefix / "dosdevices/z:");
  std::ofstream(prefix / "drive_c/Program Files/Guvrine/GV_Data.mdb") << "db";
  const char* old = std::getenv("WINEPREFIX");
  std::string saved = old ? old : "";
  setenv("WINEPREFIX", prefix.path().c_str(), 1);
  HostFileSystem files;
  if (old) setenv("WINEPREFIX", saved.c_str(), 1);
  else unsetenv("WINEPREFIX");
  EXPECT_TRUE(files.OrdinaryFileExists(u"C:\\Program Files\\Guvrine\\GV_Data.mdb"));
  EXPECT_EQ(files.OrdinaryFiles(u"c:\\program files\\guvrine"), std::vector<std::u16string>{u"GV_Data.mdb"});
  EXPECT_TRUE(files.OrdinaryFileExists(u"Z:" + FromUtf8((prefix / "drive_c/Program Files/Guvrine/GV_Data.mdb").string())));
}

}  // namespace
}  // namespace vondrel::platform
