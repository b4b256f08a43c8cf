// Finding and selecting a database in the window, on real widgets over a
// temporary drive C:: Find, the choice of program, folder changes, clicks.

#include <sys/stat.h>

#include <QTest>

#include <gtest/gtest.h>

#include "window/window_fixture.h"

namespace vondrel::location {
namespace {

using testing::Utf8;

class FindAndSelectTest : public ::testing::Test, public testing::WindowFixture {
 protected:
  void ClickOption(int index) { window->optSelect(index)->click(); }
  void PressFind() { QTest::mouseClick(window->cmdFind(), Qt::LeftButton); }
  void ClickFile(int position, bool twice = false) {
    FileListBoxPtr list = window->File1();
    const QPoint centre = list->visualItemRect(list->item(position)).center();
    if (twice) {
      QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
    } else {
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    }
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (int i = 0; i < window->File1()->ListCount(); ++i) names.push_back(Utf8(window->File1()->List(i)));
    return names;
  }
  using FileListBoxPtr = window::FileListBox*;
};

TEST_F(FindAndSelectTest, FindGoesToTheDefaultFolderAndSelectsTheOneDatabase) {
  files.WriteFile(u"C:\\Program Files\\Tamberlo\\Data.mdb", "tamberlo");
  files.WriteFile(u"C:\\Program Files\\Tamberlo\\Other.mdb", "other");
  files.MakeFolder(u"C:\\Tools");
  Open(u"C:\\Tools");
  window->show();
  ASSERT_FALSE(RepairEnabled());

  PressFind();
  EXPECT_EQ(FolderList(), "c:\\Program Files\\Tamberlo");
  EXPECT_EQ(Files(), std::vector<std::string>{"Data.mdb"});
  EXPECT_EQ(SelectedFile(), 0);
  EXPECT_EQ(PathBox(), "c:\\Program Files\\Tamberlo\\Data.mdb");
  EXPECT_TRUE(RepairEnabled());
  EXPECT_TRUE(files.OrdinaryFileExists(window->txtPath()->toPlainText().toStdU16String()));
}

TEST_F(FindAndSelectTest, OtherListsOnlyDatabasesLyingDirectlyInProgramFiles) {
  files.WriteFile(u"C:\\Program Files\\Tamberlo\\Data.mdb", "x");
  files.WriteFile(u"C:\\Program Files\\readme.txt", "x");
  files.MakeFolder(u"C:\\Tools");
  Open(u"C:\\Tools");
  ClickOption(2);
  PressFind();
  EXPECT_EQ(FolderList(), "c:\\Program Files");
  EXPECT_EQ(Utf8(window->File1()->Pattern()), "*.mdb");
  EXPECT_TRUE(Files().empty());
  EXPECT_EQ(SelectedFile(), -1);
  EXPECT_EQ(PathBox(), "");
  EXPECT_FALSE(RepairEnabled());
}

TEST_F(FindAndSelectTest, TwoMatchesSelectNothingUntilTheUserClicks) {
  files.WriteFile(u"C:\\Program Files\\b.mdb", "x");
  files.WriteFile(u"C:\\Program Files\\A.MDB", "x");
  files.MakeFolder(u"C:\\Tools");
  Open(u"C:\\Tools");
  window->show();
  ClickOption(2);
  PressFind();
  ASSERT_EQ(Files(), (std::vector<std::string>{"A.MDB", "b.mdb"}));
  EXPECT_EQ(SelectedFile(), -1);
  EXPECT_EQ(PathBox(), "");
  EXPECT_FALSE(RepairEnabled());

  ClickFile(1);
  EXPECT_EQ(PathBox(), "c:\\Program Files\\b.mdb");
  EXPECT_TRUE(RepairEnabled());
}

TEST_F(FindAndSelectTest, SwitchingTheChoiceSelectsTheOnlyMatchOfTheNewPattern) {
  files.WriteFile(u"C:\\Work\\Data.mdb", "x");
  files.WriteFile(u"C:\\Work\\gv_data.MDB", "x");
  Open(u"C:\\Work");
  ASSERT_EQ(PathBox(), "C:\\Work\\Data.mdb");

  ClickOption(1);
  EXPECT_EQ(Utf8(window->File1()->Pattern()), "GV_Data.mdb");
  EXPECT_EQ(Files(), std::vector<std::string>{"gv_data.MDB"});
  EXPECT_EQ(PathBox(), "C:\\Work\\gv_data.MDB");
  EXPECT_TRUE(RepairEnabled());
  EXPECT_EQ(FolderList(), "C:\\Work") << "a choice never moves the folder list";
}

TEST_F(FindAndSelectTest, SwitchingTheChoiceClearsTheSelectionWithoutASingleMatch) {
  files.WriteFile(u"C:\\Work\\Data.mdb", "x");
  files.WriteFile(u"C:\\Work\\Old.mdb", "x");
  Open(u"C:\\Work");
  ASSERT_TRUE(RepairEnabled());

  ClickOption(1);
  EXPECT_TRUE(Files().empty());
  EXPECT_EQ(PathBox(), "");
  EXPECT_FALSE(RepairEnabled());

  ClickOption(0);
  ASSERT_TRUE(RepairEnabled());
  ClickOption(2);
  EXPECT_EQ(Files().size(), 2u);
  EXPECT_EQ(SelectedFile(), -1);
  EXPECT_EQ(PathBox(), "");
  EXPECT_FALSE(RepairEnabled());
}

TEST_F(FindAndSelectTest, FindForAMissingDefaultFolderOnlyChangesThePattern) {
  files.WriteFile(u"C:\\Work\\Data.mdb", "x");
  files.WriteFile(u"C:\\Work\\GV_Data.mdb", "x");
  files.MakeFolder(u"C:\\Program Files");
  Open(u"C:\\Work");
  ASSERT_EQ(PathBox(), "C:\\Work\\Data.mdb");
  // Guvrine chosen without a click: the folder-change handling has not run,
  // so the path box still shows Tamberlo's file.
  window->optSelect(1)->setChecked(true);

  const std::vector<testing::ShownMessage> shown = testing::CatchMessages([&] { PressFind(); });
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(FolderList(), "C:\\Work");
  EXPECT_EQ(Utf8(window->File1()->Pattern()), "GV_Data.mdb");
  EXPECT_EQ(Files(), std::vector<std::string>{"GV_Data.mdb"});
  EXPECT_EQ(SelectedFile(), -1) << "the folder did not change, so nothing was selected";
  EXPECT_EQ(PathBox(), "C:\\Work\\Data.mdb") << "the path box keeps its text";
  EXPECT_TRUE(RepairEnabled());
}

TEST_F(FindAndSelectTest, AFileInADriveRootGetsADoubledBackslashAndStillRepairs) {
  files.WriteFile(u"C:\\Data.mdb", "root database");
  Open(u"C:\\");
  EXPECT_EQ(Utf8(window->AppPath()), "C:");
  EXPECT_EQ(FolderList(), "C:\\");
  EXPECT_EQ(PathBox(), "C:\\\\Data.mdb");
  ASSERT_TRUE(RepairEnabled());

  const std::vector<testing::ShownMessage> shown =
      testing::CatchMessages([&] { QTest::mouseClick(window->cmdRepair(), Qt::LeftButton); });
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Repair was successful!");
  EXPECT_EQ(files.ReadFile(u"C:\\Data.mdb"), std::optional<std::string>("compacted:root database"));
}

TEST_F(FindAndSelectTest, FromADriveRootTheFolderListTakesTheDrivesCurrentFolder) {
  files.WriteFile(u"C:\\Tools\\Data.mdb", "x");
  files.SetCurrentFolder(u"C:\\Tools");
  Open(u"C:\\");
  EXPECT_EQ(Utf8(window->AppPath()), "C:");
  EXPECT_EQ(FolderList(), "C:\\Tools");
  EXPECT_EQ(PathBox(), "C:\\Tools\\Data.mdb");
}

TEST_F(FindAndSelectTest, ADoubleClickShowsThePathAfterTheClick) {
  files.WriteFile(u"C:\\Work\\one.mdb", "x");
  files.WriteFile(u"C:\\Work\\two.mdb", "x");
  Open(u"C:\\Work");
  window->show();
  ClickOption(2);
  ASSERT_FALSE(RepairEnabled());
  ClickFile(0, /*twice=*/true);
  EXPECT_EQ(PathBox(), "C:\\Work\\one.mdb");
  EXPECT_TRUE(RepairEnabled());
}

TEST_F(FindAndSelectTest, HiddenAndSystemFilesAreNotListed) {
  files.WriteFile(u"C:\\Work\\.Data.mdb", "hidden");
  files.WriteFile(u"C:\\Work\\.old.mdb", "hidden");
  files.WriteFile(u"C:\\Work\\Shown.mdb", "x");
  files.MakeFolder(u"C:\\Pipe");
  ASSERT_EQ(::mkfifo((files.DriveC() / "Pipe" / "Data.mdb").c_str(), 0600), 0);
  Open(u"C:\\Work");
  EXPECT_TRUE(Files().empty()) << "a hidden file does not take the place of Data.mdb";
  ClickOption(2);
  EXPECT_EQ(Files(), std::vector<std::string>{"Shown.mdb"});
  EXPECT_EQ(PathBox(), "C:\\Work\\Shown.mdb");

  ClickOption(0);
  window->Dir1()->SetPath(u"C:\\Pipe");
  EXPECT_TRUE(Files().empty()) << "a system file named Data.mdb is not listed";
  EXPECT_FALSE(RepairEnabled());
}

TEST_F(FindAndSelectTest, NavigatingTheFolderListFollowsWithTheFileList) {
  files.WriteFile(u"C:\\Work\\Sub\\Data.mdb", "x");
  Open(u"C:\\Work");
  window->show();
  window::FolderListBox* folders = window->Dir1();
  ASSERT_EQ(Utf8(folders->EntryPath(folders->count() - 1)), "C:\\Work\\Sub");
  QTest::mouseDClick(folders->viewport(), Qt::LeftButton, {},
                     folders->visualItemRect(folders->item(folders->count() - 1)).center());
  EXPECT_EQ(FolderList(), "C:\\Work\\Sub");
  EXPECT_EQ(PathBox(), "C:\\Work\\Sub\\Data.mdb");
  EXPECT_TRUE(RepairEnabled());
}

}  // namespace
}  // namespace vondrel::location
