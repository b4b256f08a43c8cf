// The folder list: its entries, its change notification, and its refusal of
// folders that do not exist.

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "support/fake_file_system.h"
#include "window/folder_list_box.h"
#include "window/qt_application.h"

namespace vondrel::window {
namespace {

using testing::Utf8;

class FolderListBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files.MakeFolder(u"C:\\Program Files\\Tamberlo\\Backup");
    files.MakeFolder(u"C:\\Program Files\\Tamberlo\\archive");
    files.MakeFolder(u"C:\\Program Files\\Tamberlo\\.cache");
    files.WriteFile(u"C:\\Program Files\\Tamberlo\\Data.mdb", "x");
    files.MakeFolder(u"C:\\Windows");
  }

  std::vector<std::string> Entries() const {
    std::vector<std::string> entries;
    for (int row = 0; row < list.count(); ++row) entries.push_back(list.item(row)->text().toStdString());
    return entries;
  }

  QApplication& application = testing::EnsureQtApplication();
  testing::FakeFileSystem files;
  FolderListBox list{files};
};

TEST_F(FolderListBoxTest, ShowsTheBranchFromTheRootThenTheSubfoldersSorted) {
  list.SetPath(u"C:\\Program Files\\Tamberlo");
  // Hidden folders stay out; names sort without regard to case.
  EXPECT_EQ(Entries(), (std::vector<std::string>{"C:\\", "Program Files", "Tamberlo", "archive", "Backup"}));
  EXPECT_EQ(list.ChainLength(), 3);
  EXPECT_EQ(Utf8(list.Path()), "C:\\Program Files\\Tamberlo");
  EXPECT_EQ(Utf8(list.EntryPath(0)), "C:\\");
  EXPECT_EQ(Utf8(list.EntryPath(1)), "C:\\Program Files");
  EXPECT_EQ(Utf8(list.EntryPath(4)), "C:\\Program Files\\Tamberlo\\Backup");
  EXPECT_EQ(list.currentRow(), 2);
}

TEST_F(FolderListBoxTest, NamesMatchWithoutRegardToCaseAndShowAsWritten) {
  list.SetPath(u"c:\\program files\\TAMBERLO");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"c:\\", "program files", "TAMBERLO", "archive", "Backup"}));
  EXPECT_EQ(Utf8(list.EntryPath(3)), "c:\\program files\\TAMBERLO\\archive");
}

TEST_F(FolderListBoxTest, AtTheRootShowsTheRootAndItsSubfolders) {
  list.SetPath(u"C:\\");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"C:\\", "Program Files", "Windows"}));
  EXPECT_EQ(Utf8(list.EntryPath(1)), "C:\\Program Files");
}

TEST_F(FolderListBoxTest, RaisesChangeInsideTheAssignmentOnlyWhenTheFolderChanges) {
  std::vector<std::string> seenInside;
  QObject::connect(&list, &FolderListBox::Change, [&] { seenInside.push_back(Utf8(list.Path())); });
  list.SetPath(u"C:\\Windows");
  ASSERT_EQ(seenInside, std::vector<std::string>{"C:\\Windows"});
  list.SetPath(u"c:\\WINDOWS");
  EXPECT_EQ(seenInside.size(), 1u) << "the same folder in other case is no change";
  list.SetPath(u"C:\\Program Files");
  EXPECT_EQ(seenInside, (std::vector<std::string>{"C:\\Windows", "C:\\Program Files"}));
}

TEST_F(FolderListBoxTest, AMissingFolderThrowsAndChangesNothing) {
  list.SetPath(u"C:\\Windows");
  QSignalSpy changes(&list, &FolderListBox::Change);
  EXPECT_THROW(list.SetPath(u"C:\\Program Files\\Guvrine"), Error);
  EXPECT_THROW(list.SetPath(u"C:\\Program Files\\Tamberlo\\Data.mdb"), Error) << "a file is not a folder";
  EXPECT_EQ(changes.count(), 0);
  EXPECT_EQ(Utf8(list.Path()), "C:\\Windows");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"C:\\", "Windows"}));
}

TEST_F(FolderListBoxTest, TheDriveAloneMeansItsCurrentFolder) {
  files.SetCurrentFolder(u"C:\\Program Files");
  list.SetPath(u"C:");
  EXPECT_EQ(Utf8(list.Path()), "C:\\Program Files");
}

TEST_F(FolderListBoxTest, DoubleClickingAnEntryMovesThereAndRaisesChange) {
  list.SetPath(u"C:\\Program Files\\Tamberlo");
  list.show();
  QSignalSpy changes(&list, &FolderListBox::Change);

  const QRect backup = list.visualItemRect(list.item(4));
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, backup.center());
  EXPECT_EQ(Utf8(list.Path()), "C:\\Program Files\\Tamberlo\\Backup");
  EXPECT_EQ(changes.count(), 1);

  const QRect root = list.visualItemRect(list.item(0));
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, root.center());
  EXPECT_EQ(Utf8(list.Path()), "C:\\");
  EXPECT_EQ(changes.count(), 2);
}

TEST_F(FolderListBoxTest, ASingleClickOnlyHighlights) {
  list.SetPath(u"C:\\Program Files\\Tamberlo");
  list.show();
  QSignalSpy changes(&list, &FolderListBox::Change);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(0)).center());
  EXPECT_EQ(changes.count(), 0);
  EXPECT_EQ(Utf8(list.Path()), "C:\\Program Files\\Tamberlo");
}

TEST_F(FolderListBoxTest, EnterOpensTheHighlightedEntry) {
  list.SetPath(u"C:\\Program Files\\Tamberlo");
  list.show();
  list.setCurrentRow(1);
  QTest::keyClick(&list, Qt::Key_Return);
  EXPECT_EQ(Utf8(list.Path()), "C:\\Program Files");
}

TEST_F(FolderListBoxTest, AFolderThatVanishedStaysWhereItWas) {
  list.SetPath(u"C:\\Program Files\\Tamberlo");
  list.show();
  std::filesystem::remove_all(files.DriveC() / "Program Files" / "Tamberlo" / "Backup");
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(4)).center());
  EXPECT_EQ(Utf8(list.Path()), "C:\\Program Files\\Tamberlo");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"C:\\", "Program Files", "Tamberlo", "archive"}));
}

}  // namespace
}  // namespace vondrel::window
