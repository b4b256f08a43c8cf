// The file list: which files it shows, its selection, and its click and
// double-click notifications.

#include <sys/stat.h>

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "support/fake_file_system.h"
#include "window/file_list_box.h"
#include "window/qt_application.h"

namespace vondrel::window {
namespace {

using testing::Utf8;

class FileListBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char16_t* name : {u"b.MDB", u"a.mdb", u"C.mdb", u"notes.txt", u"Data.mdb", u"GV_Data.mdb",
                                 u"README", u"x.mdbx", u".hidden.mdb"}) {
      files.WriteFile(std::u16string(u"C:\\Apps\\") + name, "x");
    }
    files.MakeFolder(u"C:\\Apps\\folder.mdb");
    files.MakeFolder(u"C:\\Empty");
  }

  std::vector<std::string> Entries() const {
    std::vector<std::string> entries;
    for (int position = 0; position < list.ListCount(); ++position) entries.push_back(Utf8(list.List(position)));
    return entries;
  }

  QApplication& application = testing::EnsureQtApplication();
  testing::FakeFileSystem files;
  FileListBox list{files};
};

TEST_F(FileListBoxTest, ListsOrdinaryMatchingFilesSortedWithoutRegardToCase) {
  list.SetPath(u"c:\\apps");
  list.SetPattern(u"*.mdb");
  // No folder, no hidden file, no longer extension; case of the extension is free.
  EXPECT_EQ(Entries(), (std::vector<std::string>{"a.mdb", "b.MDB", "C.mdb", "Data.mdb", "GV_Data.mdb"}));
  EXPECT_EQ(Utf8(list.Path()), "c:\\apps");
  EXPECT_EQ(list.count(), 5) << "the widget shows what it holds";
  EXPECT_EQ(list.item(2)->text().toStdString(), "C.mdb");
}

TEST_F(FileListBoxTest, PatternsTakeWildcardsAndLists) {
  list.SetPath(u"C:\\Apps");
  list.SetPattern(u"data.MDB");
  EXPECT_EQ(Entries(), std::vector<std::string>{"Data.mdb"});
  list.SetPattern(u"?.mdb");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"a.mdb", "b.MDB", "C.mdb"}));
  list.SetPattern(u"*.txt;GV_*");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"GV_Data.mdb", "notes.txt"}));
  list.SetPattern(u"*.*");
  EXPECT_EQ(list.ListCount(), 8) << "every ordinary file, also one without an extension";
  EXPECT_EQ(Utf8(list.List(7)), "x.mdbx");
  list.SetPattern(u"*.xls");
  EXPECT_EQ(list.ListCount(), 0);
}

TEST_F(FileListBoxTest, ASystemFileIsNotListed) {
  files.MakeFolder(u"C:\\Special");
  ASSERT_EQ(::mkfifo((files.DriveC() / "Special" / "Data.mdb").c_str(), 0600), 0);
  list.SetPath(u"C:\\Special");
  list.SetPattern(u"Data.mdb");
  EXPECT_EQ(list.ListCount(), 0);
}

TEST_F(FileListBoxTest, SettingTheFolderOrPatternRereadsAndClearsTheSelection) {
  list.SetPath(u"C:\\Apps");
  list.SetPattern(u"*.mdb");
  list.SetListIndex(1);
  ASSERT_EQ(Utf8(list.FileName()), "b.MDB");
  list.SetPattern(u"*.mdb");
  EXPECT_EQ(Utf8(list.FileName()), "b.MDB") << "the same pattern again changes nothing";
  files.WriteFile(u"C:\\Apps\\aa.mdb", "x");
  list.SetPath(u"C:\\Apps");
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_EQ(Utf8(list.FileName()), "");
  EXPECT_EQ(list.ListCount(), 6);
  list.SetListIndex(0);
  list.SetPattern(u"*.MDB");
  EXPECT_EQ(list.ListIndex(), -1) << "a different pattern re-reads";
  list.SetListIndex(0);
  list.SetPath(u"C:\\Empty");
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_EQ(list.ListCount(), 0);
  EXPECT_EQ(Utf8(list.Pattern()), "*.MDB");
}

TEST_F(FileListBoxTest, AMissingFolderThrowsAndKeepsTheList) {
  list.SetPath(u"C:\\Apps");
  list.SetPattern(u"*.mdb");
  list.SetListIndex(0);
  EXPECT_THROW(list.SetPath(u"C:\\Nowhere"), Error);
  EXPECT_EQ(Utf8(list.Path()), "C:\\Apps");
  EXPECT_EQ(list.ListCount(), 5);
  EXPECT_EQ(Utf8(list.FileName()), "a.mdb");
}

TEST_F(FileListBoxTest, SettingThePositionRaisesClickAndFailsOnAnEmptyList) {
  list.SetPath(u"C:\\Apps");
  list.SetPattern(u"*.mdb");
  std::vector<std::string> seenInside;
  QObject::connect(&list, &FileListBox::Click, [&] { seenInside.push_back(Utf8(list.FileName())); });
  list.SetListIndex(3);
  EXPECT_EQ(seenInside, std::vector<std::string>{"Data.mdb"});
  EXPECT_EQ(list.currentRow(), 3);

  list.SetPath(u"C:\\Empty");
  try {
    list.SetListIndex(0);
    ADD_FAILURE() << "a position on an empty list was accepted";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), 380);
    EXPECT_EQ(error.description(), "Invalid property value");
  }
  EXPECT_EQ(seenInside.size(), 1u);
  EXPECT_EQ(list.ListIndex(), -1);
}

TEST_F(FileListBoxTest, APositionPastTheEndFails) {
  list.SetPath(u"C:\\Apps");
  list.SetPattern(u"*.mdb");
  EXPECT_THROW(list.SetListIndex(5), Error);
  EXPECT_THROW(list.SetListIndex(-2), Error);
  EXPECT_EQ(list.ListIndex(), -1);
}

TEST_F(FileListBoxTest, AUserClickSelectsAndRaisesClick) {
  list.SetPath(u"C:\\Apps");
  list.SetPattern(u"*.mdb");
  list.show();
  QSignalSpy clicks(&list, &FileListBox::Click);
  QSignalSpy doubleClicks(&list, &FileListBox::DblClick);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(2)).center());
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_EQ(doubleClicks.count(), 0);
  EXPECT_EQ(list.ListIndex(), 2);
  EXPECT_EQ(Utf8(list.FileName()), "C.mdb");

  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(5, list.viewport()->height() - 3));
  EXPECT_EQ(clicks.count(), 1) << "a click below the entries selects nothing";
  EXPECT_EQ(list.ListIndex(), 2);
}

TEST_F(FileListBoxTest, ADoubleClickRaisesClickThenDoubleClick) {
  list.SetPath(u"C:\\Apps");
  list.SetPattern(u"*.mdb");
  list.show();
  std::vector<std::string> order;
  QObject::connect(&list, &FileListBox::Click, [&] { order.push_back("click " + Utf8(list.FileName())); });
  QObject::connect(&list, &FileListBox::DblClick, [&] { order.push_back("double " + Utf8(list.FileName())); });
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(1)).center());
  EXPECT_EQ(order, (std::vector<std::string>{"click b.MDB", "double b.MDB"}));
}

TEST_F(FileListBoxTest, MovingWithTheKeyboardRaisesClick) {
  list.SetPath(u"C:\\Apps");
  list.SetPattern(u"*.mdb");
  list.show();
  list.SetListIndex(0);
  QSignalSpy clicks(&list, &FileListBox::Click);
  QTest::keyClick(&list, Qt::Key_Down);
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_EQ(Utf8(list.FileName()), "b.MDB");
}

}  // namespace
}  // namespace vondrel::window
