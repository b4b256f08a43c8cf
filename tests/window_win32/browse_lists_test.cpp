// The Win32 window's folder and file lists and the browsing they drive:
// entries, clicks and double-clicks as the list boxes deliver them, Find,
// the program choice, and the folder changes.

#include <gtest/gtest.h>

#include "window_win32/window_fixture.h"

namespace vondrel::window {
namespace {

using testing::Utf8;

class Win32BrowseTest : public ::testing::Test, public testing::WindowFixture {
 protected:
  void SetUp() override {
    files.MakeFolder(u"C:\\Program Files\\Tamberlo\\Backup");
    files.MakeFolder(u"C:\\Program Files\\Tamberlo\\archive");
    files.MakeFolder(u"C:\\Program Files\\Tamberlo\\.cache");
    files.MakeFolder(u"C:\\Windows");
    files.MakeFolder(u"C:\\Tools");
  }
  std::vector<std::string> Folders() const { return ListTexts(Control("Dir1")); }
  std::vector<std::string> Files() const { return ListTexts(Control("File1")); }
};

TEST_F(Win32BrowseTest, TheFolderListShowsTheBranchOpenThenTheSubfoldersClosed) {
  files.WriteFile(u"C:\\Program Files\\Tamberlo\\Data.mdb", "x");
  Open(u"C:\\Program Files\\Tamberlo");
  // Hidden folders stay out; names sort without regard to case.
  EXPECT_EQ(Folders(), (std::vector<std::string>{"C:\\", "Program Files", "Tamberlo", "archive", "Backup"}));
  FolderListBox& list = window->Dir1();
  EXPECT_EQ(list.ChainLength(), 3);
  const std::vector<int> depths{list.EntryDepth(0), list.EntryDepth(1), list.EntryDepth(2), list.EntryDepth(3),
                                list.EntryDepth(4)};
  EXPECT_EQ(depths, (std::vector<int>{0, 1, 2, 3, 3})) << "each open folder one step in, the subfolders one more";
  EXPECT_TRUE(list.EntryIsOpen(2));
  EXPECT_FALSE(list.EntryIsOpen(3));
  EXPECT_EQ(Utf8(list.EntryPath(4)), "C:\\Program Files\\Tamberlo\\Backup");
  EXPECT_EQ(SendMessageW(Control("Dir1"), LB_GETCURSEL, 0, 0), 2) << "the current folder is marked";
  // Owner-drawn: the open and closed folders look different.
  Show();
  HDC dc = GetDC(Control("Dir1"));
  RECT open_row{}, closed_row{};
  SendMessageW(Control("Dir1"), LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&open_row));
  SendMessageW(Control("Dir1"), LB_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&closed_row));
  int drawn = 0;
  for (int x = 0; x < 60; ++x) {
    if (GetPixel(dc, x, (open_row.top + open_row.bottom) / 2) != GetSysColor(COLOR_WINDOW)) ++drawn;
  }
  ReleaseDC(Control("Dir1"), dc);
  EXPECT_GT(drawn, 8) << "a folder picture beside the name";
}

TEST_F(Win32BrowseTest, DoubleClickingAFolderEntersIt) {
  Open(u"C:\\Program Files\\Tamberlo");
  Show();
  DoubleClickEntry(Control("Dir1"), 4);
  EXPECT_EQ(FolderList(), "C:\\Program Files\\Tamberlo\\Backup");
  EXPECT_EQ(Folders(), (std::vector<std::string>{"C:\\", "Program Files", "Tamberlo", "Backup"}));
  DoubleClickEntry(Control("Dir1"), 0);
  EXPECT_EQ(FolderList(), "C:\\");
  EXPECT_EQ(Folders(), (std::vector<std::string>{"C:\\", "Program Files", "Tools", "Windows"}));
  // Enter opens the marked entry too.
  SetFocus(Control("Dir1"));
  SendMessageW(Control("Dir1"), LB_SETCURSEL, 3, 0);
  PressKey(VK_RETURN);
  EXPECT_EQ(FolderList(), "C:\\Windows");
}

TEST_F(Win32BrowseTest, TheFileListFollowsTheFolderList) {
  files.WriteFile(u"C:\\Program Files\\Tamberlo\\Data.mdb", "x");
  Open(u"C:\\Program Files");
  Show();
  ASSERT_EQ(Folders(), (std::vector<std::string>{"C:\\", "Program Files", "Tamberlo"}));
  DoubleClickEntry(Control("Dir1"), 2);
  EXPECT_EQ(Utf8(window->File1().Path()), "C:\\Program Files\\Tamberlo");
  EXPECT_EQ(Files(), std::vector<std::string>{"Data.mdb"});
  EXPECT_EQ(PathBox(), "C:\\Program Files\\Tamberlo\\Data.mdb");
  EXPECT_TRUE(RepairEnabled());
  DoubleClickEntry(Control("Dir1"), 1);
  EXPECT_TRUE(Files().empty());
  EXPECT_EQ(PathBox(), "");
  EXPECT_FALSE(RepairEnabled());
}

TEST_F(Win32BrowseTest, AFolderThatVanishedShowsWhatIsThereNow) {
  Open(u"C:\\Program Files\\Tamberlo");
  Show();
  files.RemoveFolder(u"C:\\Program Files\\Tamberlo\\Backup");
  DoubleClickEntry(Control("Dir1"), 4);
  EXPECT_EQ(FolderList(), "C:\\Program Files\\Tamberlo");
  EXPECT_EQ(Folders(), (std::vector<std::string>{"C:\\", "Program Files", "Tamberlo", "archive"}));
}

TEST_F(Win32BrowseTest, AMissingFolderThrowsAndChangesNothing) {
  Open(u"C:\\Windows");
  EXPECT_THROW(window->Dir1().SetPath(u"C:\\Program Files\\Guvrine"), Error);
  EXPECT_EQ(FolderList(), "C:\\Windows");
  EXPECT_EQ(Folders(), (std::vector<std::string>{"C:\\", "Windows"}));
}

TEST_F(Win32BrowseTest, ClickingAFileFillsThePathBoxAndEnablesRepair) {
  files.WriteFile(u"C:\\Tools\\b.mdb", "x");
  files.WriteFile(u"C:\\Tools\\A.mdb", "x");
  files.WriteFile(u"C:\\Tools\\notes.txt", "x");
  files.WriteFile(u"C:\\Tools\\.hidden.mdb", "x");
  Open(u"C:\\Tools");
  Click(Control("optSelect", 2));
  EXPECT_EQ(Files(), (std::vector<std::string>{"A.mdb", "b.mdb"})) << "ordinary matches only, sorted";
  EXPECT_EQ(SelectedFile(), -1) << "two matches: nothing selected";
  EXPECT_EQ(PathBox(), "");
  EXPECT_FALSE(RepairEnabled());
  Show();
  ClickEntry(Control("File1"), 1);
  EXPECT_EQ(SelectedFile(), 1);
  EXPECT_EQ(PathBox(), "C:\\Tools\\b.mdb");
  EXPECT_TRUE(RepairEnabled());
}

TEST_F(Win32BrowseTest, ADoubleClickClicksFirstThenShowsThePath) {
  files.WriteFile(u"C:\\Tools\\A.mdb", "x");
  files.WriteFile(u"C:\\Tools\\B.mdb", "x");
  Open(u"C:\\Tools");
  Click(Control("optSelect", 2));
  Show();
  DoubleClickEntry(Control("File1"), 0);
  EXPECT_EQ(SelectedFile(), 0);
  EXPECT_EQ(PathBox(), "C:\\Tools\\A.mdb");
  EXPECT_TRUE(RepairEnabled()) << "the click before the double-click enabled it";
}

TEST_F(Win32BrowseTest, TheKeyboardSelectsFilesAsClicksDo) {
  files.WriteFile(u"C:\\Tools\\A.mdb", "x");
  files.WriteFile(u"C:\\Tools\\B.mdb", "x");
  Open(u"C:\\Tools");
  Click(Control("optSelect", 2));
  Show();
  SetFocus(Control("File1"));
  PressKey(VK_DOWN);
  PressKey(VK_DOWN);
  EXPECT_EQ(SelectedFile(), 1);
  EXPECT_EQ(PathBox(), "C:\\Tools\\B.mdb");
}

TEST_F(Win32BrowseTest, SettingAPositionOnAnEmptyListFailsWithError380) {
  Open(u"C:\\Tools");
  try {
    window->File1().SetListIndex(0);
    FAIL() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), 380);
    EXPECT_EQ(error.description(), "Invalid property value");
  }
}

TEST_F(Win32BrowseTest, FindGoesToTheDefaultFolderAndSelectsItsOnlyDatabase) {
  files.WriteFile(u"C:\\Program Files\\Tamberlo\\Data.mdb", "x");
  Open(u"C:\\Tools");
  Show();
  Click(Control("cmdFind"));
  EXPECT_EQ(FolderList(), "c:\\Program Files\\Tamberlo");
  EXPECT_EQ(Files(), std::vector<std::string>{"Data.mdb"});
  EXPECT_EQ(SelectedFile(), 0);
  EXPECT_EQ(PathBox(), "c:\\Program Files\\Tamberlo\\Data.mdb");
  EXPECT_TRUE(RepairEnabled());
}

TEST_F(Win32BrowseTest, FindForOtherShowsOnlyDatabasesDirectlyInProgramFiles) {
  files.WriteFile(u"C:\\Program Files\\Tamberlo\\Data.mdb", "x");
  Open(u"C:\\Tools");
  Click(Control("optSelect", 2));
  Click(Control("cmdFind"));
  EXPECT_EQ(FolderList(), "c:\\Program Files");
  EXPECT_TRUE(Files().empty());
  EXPECT_EQ(PathBox(), "");
  EXPECT_FALSE(RepairEnabled());
}

TEST_F(Win32BrowseTest, FindWithoutTheDefaultFolderChangesOnlyThePattern) {
  files.WriteFile(u"C:\\Tools\\Data.mdb", "x");
  files.WriteFile(u"C:\\Tools\\GV_Data.mdb", "x");
  Open(u"C:\\Tools");
  ASSERT_EQ(PathBox(), "C:\\Tools\\Data.mdb");
  // Choosing Guvrine selects its database here; Find then finds no Guvrine folder.
  Click(Control("optSelect", 1));
  ASSERT_EQ(PathBox(), "C:\\Tools\\GV_Data.mdb");
  const std::vector<testing::ShownMessage> shown = testing::CatchMessages([&] { Click(Control("cmdFind")); });
  EXPECT_TRUE(shown.empty()) << "no message";
  EXPECT_EQ(FolderList(), "C:\\Tools");
  EXPECT_EQ(Utf8(window->File1().Pattern()), "GV_Data.mdb");
  EXPECT_EQ(PathBox(), "C:\\Tools\\GV_Data.mdb") << "the folder did not change, so the path box stays";
  EXPECT_TRUE(RepairEnabled());
}

TEST_F(Win32BrowseTest, SwitchingTheChoiceClearsTheSelectionUnlessOneFileMatches) {
  files.WriteFile(u"C:\\Tools\\Data.mdb", "x");
  files.WriteFile(u"C:\\Tools\\a.mdb", "x");
  Open(u"C:\\Tools");
  ASSERT_TRUE(RepairEnabled());
  Click(Control("optSelect", 2));
  EXPECT_EQ(SelectedFile(), -1);
  EXPECT_EQ(PathBox(), "");
  EXPECT_FALSE(RepairEnabled());
  Click(Control("optSelect", 0));
  EXPECT_EQ(SelectedFile(), 0);
  EXPECT_EQ(PathBox(), "C:\\Tools\\Data.mdb");
  EXPECT_TRUE(RepairEnabled());
}

TEST_F(Win32BrowseTest, AFileInADriveRootGivesTwoBackslashes) {
  files.WriteFile(u"C:\\Data.mdb", "x");
  Open(u"C:\\");
  EXPECT_EQ(Utf8(window->AppPath()), "C:") << "the root without its backslash";
  EXPECT_EQ(FolderList(), "C:\\") << "the drive's current folder";
  EXPECT_EQ(PathBox(), "C:\\\\Data.mdb");
  EXPECT_TRUE(RepairEnabled());
}

}  // namespace
}  // namespace vondrel::window
