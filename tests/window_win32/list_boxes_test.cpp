// The Win32 folder and file lists on their own list boxes: what they list,
// when they raise their notifications, and what they refuse.

#include <gtest/gtest.h>

#include "window_win32/window_fixture.h"

namespace vondrel::window {
namespace {

using testing::Utf8;

// A list box of its own, without a window around it.
class ListBoxWindow {
 public:
  ListBoxWindow()
      : handle_(CreateWindowExW(0, L"LISTBOX", L"", WS_POPUP | LBS_HASSTRINGS | LBS_NOTIFY, 0, 0, 200, 200, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr)) {}
  ~ListBoxWindow() { DestroyWindow(handle_); }
  HWND handle() const { return handle_; }

 private:
  HWND handle_;
};

class Win32ListBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files.MakeFolder(u"C:\\Program Files\\Tamberlo\\Backup");
    files.WriteFile(u"C:\\Program Files\\Tamberlo\\Data.mdb", "x");
    files.MakeFolder(u"C:\\Windows");
    files.WriteFile(u"C:\\Tools\\b.MDB", "x");
    files.WriteFile(u"C:\\Tools\\A.mdb", "x");
    files.WriteFile(u"C:\\Tools\\c.mda", "x");
    files.WriteFile(u"C:\\Tools\\notes.txt", "x");
    folders.OnChange([&] { changes.push_back(Utf8(folders.Path())); });
    names.OnClick([&] { clicks.push_back(Utf8(names.FileName())); });
    names.OnDblClick([&] { clicks.push_back("double " + Utf8(names.FileName())); });
  }
  std::vector<std::string> Entries(HWND list) const { return testing::WindowFixture::ListTexts(list); }

  testing::MemoryFileSystem files;
  ListBoxWindow folder_box;
  ListBoxWindow file_box;
  FolderListBox folders{files, folder_box.handle()};
  FileListBox names{files, file_box.handle()};
  std::vector<std::string> changes;
  std::vector<std::string> clicks;
};

TEST_F(Win32ListBoxTest, FolderNamesMatchWithoutRegardToCaseAndShowAsWritten) {
  folders.SetPath(u"c:\\program files\\TAMBERLO");
  EXPECT_EQ(Entries(folder_box.handle()), (std::vector<std::string>{"c:\\", "program files", "TAMBERLO", "Backup"}));
  EXPECT_EQ(Utf8(folders.EntryPath(3)), "c:\\program files\\TAMBERLO\\Backup");
}

TEST_F(Win32ListBoxTest, TheFolderChangeIsRaisedInsideTheAssignmentOnlyOnAChange) {
  folders.SetPath(u"C:\\Windows");
  ASSERT_EQ(changes, std::vector<std::string>{"C:\\Windows"});
  folders.SetPath(u"c:\\WINDOWS");
  EXPECT_EQ(changes.size(), 1u) << "the same folder in other case is no change";
  folders.SetPath(u"C:\\Program Files");
  EXPECT_EQ(changes, (std::vector<std::string>{"C:\\Windows", "C:\\Program Files"}));
  EXPECT_THROW(folders.SetPath(u"C:\\Program Files\\Tamberlo\\Data.mdb"), Error) << "a file is not a folder";
  EXPECT_EQ(changes.size(), 2u);
}

TEST_F(Win32ListBoxTest, TheDriveAloneMeansItsCurrentFolder) {
  files.SetCurrentFolder(u"C:\\Windows");
  folders.SetPath(u"C:");
  EXPECT_EQ(Utf8(folders.Path()), "C:\\Windows");
}

TEST_F(Win32ListBoxTest, ASingleClickOnAFolderOnlyMarksIt) {
  folders.SetPath(u"C:\\Program Files\\Tamberlo");
  changes.clear();
  SendMessageW(folder_box.handle(), LB_SETCURSEL, 3, 0);
  folders.Notify(LBN_SELCHANGE);
  EXPECT_TRUE(changes.empty());
  EXPECT_EQ(Utf8(folders.Path()), "C:\\Program Files\\Tamberlo");
  folders.Notify(LBN_DBLCLK);
  EXPECT_EQ(changes, std::vector<std::string>{"C:\\Program Files\\Tamberlo\\Backup"});
}

TEST_F(Win32ListBoxTest, FilesAreOrdinaryMatchesSortedWithoutRegardToCase) {
  names.SetPath(u"C:\\Tools");
  names.SetPattern(u"*.mdb");
  EXPECT_EQ(Entries(file_box.handle()), (std::vector<std::string>{"A.mdb", "b.MDB"}));
  names.SetPattern(u"*.mdb;*.txt");
  EXPECT_EQ(Entries(file_box.handle()), (std::vector<std::string>{"A.mdb", "b.MDB", "notes.txt"}));
  names.SetPattern(u"?.md?");
  EXPECT_EQ(Entries(file_box.handle()), (std::vector<std::string>{"A.mdb", "b.MDB", "c.mda"}));
  EXPECT_EQ(Utf8(names.List(2)), "c.mda");
  EXPECT_THROW(names.List(3), Error);
}

TEST_F(Win32ListBoxTest, SettingTheFolderOrANewPatternRereadsAndClearsTheSelection) {
  names.SetPath(u"C:\\Tools");
  names.SetPattern(u"*.mdb");
  names.SetListIndex(1);
  names.SetPattern(u"*.mdb");
  EXPECT_EQ(names.ListIndex(), 1) << "the same pattern again keeps the selection";
  names.SetPattern(u"*.MDB;*.txt");
  EXPECT_EQ(names.ListIndex(), -1);
  EXPECT_EQ(SendMessageW(file_box.handle(), LB_GETCURSEL, 0, 0), LB_ERR);
  names.SetListIndex(0);
  names.SetPath(u"C:\\Tools");
  EXPECT_EQ(names.ListIndex(), -1);
}

TEST_F(Win32ListBoxTest, AMissingFolderThrowsAndKeepsTheList) {
  names.SetPath(u"C:\\Tools");
  names.SetPattern(u"*.mdb");
  EXPECT_THROW(names.SetPath(u"C:\\Nowhere"), Error);
  EXPECT_EQ(Utf8(names.Path()), "C:\\Tools");
  EXPECT_EQ(names.ListCount(), 2);
}

TEST_F(Win32ListBoxTest, SettingThePositionRaisesTheClickAndAPositionPastTheEndFails) {
  names.SetPath(u"C:\\Tools");
  names.SetPattern(u"*.mdb");
  names.SetListIndex(1);
  EXPECT_EQ(clicks, std::vector<std::string>{"b.MDB"});
  EXPECT_EQ(SendMessageW(file_box.handle(), LB_GETCURSEL, 0, 0), 1);
  EXPECT_THROW(names.SetListIndex(2), Error);
  EXPECT_EQ(names.ListIndex(), 1);
  names.SetListIndex(-1);
  EXPECT_EQ(clicks.size(), 1u) << "clearing the selection is no click";
}

TEST_F(Win32ListBoxTest, TheListBoxsNotificationsBecomeClickAndDoubleClick) {
  names.SetPath(u"C:\\Tools");
  names.SetPattern(u"*.mdb");
  SendMessageW(file_box.handle(), LB_SETCURSEL, 0, 0);
  names.Notify(LBN_SELCHANGE);
  names.Notify(LBN_DBLCLK);
  // A double-click whose second press lands on another entry clicks that one first.
  SendMessageW(file_box.handle(), LB_SETCURSEL, 1, 0);
  names.Notify(LBN_DBLCLK);
  EXPECT_EQ(clicks, (std::vector<std::string>{"A.mdb", "double A.mdb", "b.MDB", "double b.MDB"}));
}

}  // namespace
}  // namespace vondrel::window
