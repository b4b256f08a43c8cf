#include "platform/host_file_system.h"

#include <windows.h>
#undef DeleteFile
#undef ReplaceFile

#include <fstream>

#include <gtest/gtest.h>

#include "platform/file_errors.h"
#include "support/samples.h"

namespace vondrel::platform {
namespace {
namespace fs = std::filesystem;
using vondrel::testing::ScratchDir;

// Wine's ntdll exports its version; Windows' does not.
bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// A scratch folder on the system's own drives; paths reach it as path text.
class Win32FileSystemTest : public ::testing::Test {
 protected:
  PathText Text(const std::u16string& relative = u"") const {
    std::wstring root = folder_.path().wstring();
    PathText text(reinterpret_cast<const char16_t*>(root.c_str()), root.size());
    return relative.empty() ? text : text + u"\\" + relative;
  }
  fs::path Host(const std::u16string& relative) const {
    return folder_.path() / std::wstring(reinterpret_cast<const wchar_t*>(relative.c_str()), relative.size());
  }
  void Write(const std::u16string& relative, const std::string& bytes = "x") {
    fs::create_directories(Host(relative).parent_path());
    std::ofstream(Host(relative), std::ios::binary) << bytes;
  }
  std::string Read(const std::u16string& relative) const {
    std::ifstream in(Host(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void SetAttributes(const std::u16string& relative, DWORD attributes) {
    ASSERT_TRUE(SetFileAttributesW(Host(relative).c_str(), attributes));
  }
  // The name the folder stores for an entry.
  std::u16string Stored(const std::u16string& relative) const {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Host(relative).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return u"";
    FindClose(search);
    return reinterpret_cast<const char16_t*>(found.cFileName);
  }
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

  ScratchDir folder_;
  HostFileSystem files_;
};

TEST_F(Win32FileSystemTest, OrdinaryFilesAreKnownByTheirAttributes) {
  Write(u"Data.mdb");
  Write(u"Hidden.mdb");
  Write(u"System.mdb");
  Write(u"Folder.mdb\\inside");
  SetAttributes(u"Hidden.mdb", FILE_ATTRIBUTE_HIDDEN);
  SetAttributes(u"System.mdb", FILE_ATTRIBUTE_SYSTEM);
  EXPECT_TRUE(files_.OrdinaryFileExists(Text(u"Data.mdb")));
  EXPECT_TRUE(files_.OrdinaryFileExists(Text(u"DATA.MDB"))) << "the system matches names without regard to case";
  EXPECT_FALSE(files_.OrdinaryFileExists(Text(u"Hidden.mdb")));
  EXPECT_FALSE(files_.OrdinaryFileExists(Text(u"System.mdb")));
  EXPECT_FALSE(files_.OrdinaryFileExists(Text(u"Folder.mdb")));
  EXPECT_FALSE(files_.OrdinaryFileExists(Text(u"Absent.mdb")));
  EXPECT_FALSE(files_.OrdinaryFileExists(Text(u"No folder\\Data.mdb")));
  EXPECT_EQ(files_.OrdinaryFiles(Text()), std::vector<std::u16string>{u"Data.mdb"});
  EXPECT_EQ(files_.SubFolders(Text()), std::vector<std::u16string>{u"Folder.mdb"});
}

TEST_F(Win32FileSystemTest, NamesBeyondTheAnsiCodePageAreKeptWhole) {
  const std::u16string name = u"\u0414\u0430\u043D\u043D\u044B\u0435 \u6570\u636E \U0001F600.mdb";
  Write(name, "db");
  EXPECT_TRUE(files_.OrdinaryFileExists(Text(name)));
  EXPECT_EQ(files_.OrdinaryFiles(Text()), std::vector<std::u16string>{name});
  EXPECT_EQ(files_.HostPath(Text(name)), Host(name));
}

TEST_F(Win32FileSystemTest, ListsAreSortedWithoutRegardToCase) {
  for (auto name : {u"b.mdb", u"A.mdb", u"c.MDB"}) Write(name);
  for (auto name : {u"zeta", u"Alpha", u"beta"}) fs::create_directory(Host(name));
  EXPECT_EQ(files_.OrdinaryFiles(Text()), (std::vector<std::u16string>{u"A.mdb", u"b.mdb", u"c.MDB"}));
  EXPECT_EQ(files_.SubFolders(Text()), (std::vector<std::u16string>{u"Alpha", u"beta", u"zeta"}));
  EXPECT_EQ(ErrorNumberOf([&] { files_.SubFolders(Text(u"absent")); }), kPathNotFound);
}

TEST_F(Win32FileSystemTest, EachDriveKeepsItsCurrentFolder) {
  fs::create_directories(Host(u"Program Files\\Tamberlo"));
  Write(u"Program Files\\Tamberlo\\Data.mdb");
  const PathText folder = Text(u"Program Files\\Tamberlo");
  files_.SetCurrentFolder(Text(u"program files\\..\\Program Files\\\\Tamberlo"));
  const PathText drive{folder[0], u':'};
  EXPECT_EQ(files_.ResolveFolder(drive), folder) << "the drive alone means its current folder";
  EXPECT_TRUE(files_.OrdinaryFileExists(drive + u"Data.mdb"));
  EXPECT_EQ(files_.ResolveFolder(drive + u"\\"), drive + u"\\") << "a root reads with its backslash";
  EXPECT_EQ(files_.ResolveFolder(drive + u".."), Text(u"Program Files"));
  EXPECT_EQ(ErrorNumberOf([&] { files_.ResolveFolder(Text(u"Program Files\\Tamberlo\\Data.mdb")); }), kPathNotFound);
  EXPECT_EQ(ErrorNumberOf([&] { files_.SetCurrentFolder(u"\\\\server\\share"); }), kPathNotFound);
  files_.SetCurrentFolder(fs::current_path().root_path().u16string());  // let the scratch folder go
}

TEST_F(Win32FileSystemTest, DeletesFilesAndReportsWhatStopsIt) {
  Write(u"Old.mdb");
  Write(u"Locked.mdb");
  SetAttributes(u"Locked.mdb", FILE_ATTRIBUTE_READONLY);
  files_.DeleteFile(Text(u"OLD.mdb"));
  EXPECT_FALSE(fs::exists(Host(u"Old.mdb")));
  EXPECT_EQ(ErrorNumberOf([&] { files_.DeleteFile(Text(u"Locked.mdb")); }), kPathFileAccessError);
  EXPECT_TRUE(fs::exists(Host(u"Locked.mdb")));
  EXPECT_EQ(ErrorNumberOf([&] { files_.DeleteFile(Text(u"Old.mdb")); }), kFileNotFound);
  EXPECT_EQ(ErrorNumberOf([&] { files_.DeleteFile(Text(u"No folder\\Old.mdb")); }), kPathNotFound);
  SetAttributes(u"Locked.mdb", FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Win32FileSystemTest, RenamesButNeverOntoAnotherEntry) {
  Write(u"Data.mdb", "data");
  Write(u"Other.mdb", "other");
  fs::create_directory(Host(u"Folder"));
  EXPECT_EQ(ErrorNumberOf([&] { files_.RenameFile(Text(u"Data.mdb"), Text(u"OTHER.MDB")); }), kFileAlreadyExists);
  EXPECT_EQ(ErrorNumberOf([&] { files_.RenameFile(Text(u"Data.mdb"), Text(u"folder")); }), kFileAlreadyExists);
  EXPECT_EQ(Read(u"Other.mdb"), "other");
  files_.RenameFile(Text(u"Data.mdb"), Text(u"Data.bak"));
  EXPECT_EQ(Read(u"Data.bak"), "data");
  files_.RenameFile(Text(u"data.bak"), Text(u"DATA.BAK"));
  EXPECT_TRUE(fs::exists(Host(u"DATA.BAK")));
  // Windows gives the file the name as written; Wine keeps the old spelling.
  if (!RunningUnderWine()) {
    EXPECT_EQ(Stored(u"data.bak"), u"DATA.BAK") << "a change of case takes the name as written";
  }
  EXPECT_EQ(ErrorNumberOf([&] { files_.RenameFile(Text(u"Absent.mdb"), Text(u"New.mdb")); }), kFileNotFound);
}

TEST_F(Win32FileSystemTest, ReplacePutsTheFileInPlaceUnderTheStoredName) {
  Write(u"B.MDB", "old");
  Write(u"new.tmp", "new");
  SetAttributes(u"B.MDB", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN);
  files_.ReplaceFile(Text(u"new.tmp"), Text(u"b.mdb"));
  EXPECT_EQ(Read(u"B.MDB"), "new");
  EXPECT_EQ(Stored(u"b.mdb"), u"B.MDB");
  EXPECT_FALSE(fs::exists(Host(u"new.tmp")));
  EXPECT_TRUE(GetFileAttributesW(Host(u"B.MDB").c_str()) & FILE_ATTRIBUTE_HIDDEN)
      << "the replaced file's attributes pass on";
  Write(u"fresh.tmp", "fresh");
  files_.ReplaceFile(Text(u"fresh.tmp"), Text(u"Absent.mdb"));
  EXPECT_EQ(Read(u"Absent.mdb"), "fresh");
}

TEST_F(Win32FileSystemTest, AReadOnlyDatabaseIsRefusedAndNothingIsLost) {
  Write(u"Data.mdb", "old");
  Write(u"new.tmp", "new");
  SetAttributes(u"Data.mdb", FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(ErrorNumberOf([&] { files_.ReplaceFile(Text(u"new.tmp"), Text(u"Data.mdb")); }), kPathFileAccessError);
  EXPECT_EQ(ErrorNumberOf([&] { files_.ReplaceFileKeepingOld(Text(u"new.tmp"), Text(u"Data.mdb"), Text(u"Data.bak")); }),
            kPathFileAccessError);
  EXPECT_EQ(Read(u"Data.mdb"), "old");
  EXPECT_EQ(Read(u"new.tmp"), "new");
  EXPECT_FALSE(fs::exists(Host(u"Data.bak")));
  SetAttributes(u"Data.mdb", FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Win32FileSystemTest, ReplaceKeepingOldLeavesTheOldFileUnderTheBackupName) {
  Write(u"Data.mdb", "old");
  Write(u"new.tmp", "new");
  Write(u"Taken.bak", "taken");
  EXPECT_EQ(ErrorNumberOf([&] { files_.ReplaceFileKeepingOld(Text(u"new.tmp"), Text(u"Data.mdb"), Text(u"TAKEN.bak")); }),
            kFileAlreadyExists);
  EXPECT_EQ(Read(u"Data.mdb"), "old");
  files_.ReplaceFileKeepingOld(Text(u"new.tmp"), Text(u"Data.mdb"), Text(u"Data.bak"));
  EXPECT_EQ(Read(u"Data.mdb"), "new");
  EXPECT_EQ(Read(u"Data.bak"), "old");
  EXPECT_EQ(Read(u"Taken.bak"), "taken");
}

TEST_F(Win32FileSystemTest, TheProgramFolderHoldsTheRunningProgram) {
  const PathText folder = files_.ProgramFolder();
  wchar_t module[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
  ASSERT_GT(length, 0u);
  const fs::path program(std::wstring(module, length));
  EXPECT_TRUE(files_.OrdinaryFileExists(folder + u"\\" + program.filename().u16string()));
  EXPECT_EQ(files_.ResolveFolder(folder), folder);
}

}  // namespace
}  // namespace vondrel::platform
