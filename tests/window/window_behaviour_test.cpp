// The window at start-up, its keyboard behaviour, and the messages the
// repair button shows.

#include <QTest>

#include <gtest/gtest.h>

#include "window/window_fixture.h"

namespace vondrel::window {
namespace {

using testing::ShownMessage;

class WindowBehaviourTest : public ::testing::Test, public testing::WindowFixture {
 protected:
  void ShowAndActivate() {
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }
  std::vector<ShownMessage> PressRepair() {
    return testing::CatchMessages([&] { QTest::mouseClick(window->cmdRepair(), Qt::LeftButton); });
  }
};

TEST_F(WindowBehaviourTest, StartsOnItsFolderWithTheDatabaseThereSelected) {
  files.WriteFile(u"C:\\Program Files\\Tamberlo\\Data.mdb", "x");
  Open(u"C:\\Program Files\\Tamberlo");
  EXPECT_EQ(FolderList(), "C:\\Program Files\\Tamberlo");
  EXPECT_EQ(SelectedFile(), 0);
  EXPECT_EQ(PathBox(), "C:\\Program Files\\Tamberlo\\Data.mdb");
  EXPECT_TRUE(RepairEnabled());
  EXPECT_TRUE(window->optSelect(0)->isChecked());
  ShowAndActivate();
  EXPECT_EQ(QApplication::focusWidget(), window->cmdRepair());
}

TEST_F(WindowBehaviourTest, StartsWithEverythingEmptyWhereThereIsNoDatabase) {
  files.WriteFile(u"C:\\Tools\\GV_Data.mdb", "x");
  Open(u"C:\\Tools");
  EXPECT_EQ(FolderList(), "C:\\Tools");
  EXPECT_EQ(window->File1()->ListCount(), 0);
  EXPECT_EQ(PathBox(), "");
  EXPECT_FALSE(RepairEnabled());
  ShowAndActivate();
  EXPECT_EQ(QApplication::focusWidget(), window->txtPath());
}

TEST_F(WindowBehaviourTest, TabVisitsTheControlsInTabOrderAndSkipsTheInstructions) {
  files.WriteFile(u"C:\\Tools\\Data.mdb", "x");
  Open(u"C:\\Tools");
  ShowAndActivate();
  const auto tabThrough = [](int presses) {
    std::vector<std::string> visited;
    for (int press = 0; press < presses; ++press) {
      visited.push_back(QApplication::focusWidget()->objectName().toStdString());
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    return visited;
  };
  // The option group is one stop: the Tab key enters it at the selected option.
  EXPECT_EQ(tabThrough(7), (std::vector<std::string>{"cmdRepair", "txtPath", "Dir1", "File1", "optSelect0",
                                                     "cmdFind", "cmdRepair"}));
  window->optSelect(2)->setChecked(true);
  EXPECT_EQ(tabThrough(7), (std::vector<std::string>{"txtPath", "Dir1", "File1", "optSelect2", "cmdFind",
                                                     "cmdRepair", "txtPath"}));
  // Every option keeps its place in the focus chain, between File1 and Find.
  std::vector<std::string> chain;
  for (QWidget* next = window->cmdRepair(); chain.size() < 8; next = next->nextInFocusChain()) {
    if (next->focusPolicy() != Qt::NoFocus && next != window->txtInstructions()) {
      chain.push_back(next->objectName().toStdString());
    }
  }
  EXPECT_EQ(chain, (std::vector<std::string>{"cmdRepair", "txtPath", "Dir1", "File1", "optSelect0", "optSelect1",
                                             "optSelect2", "cmdFind"}));
}

TEST_F(WindowBehaviourTest, TheTextBoxesCannotBeEdited) {
  files.WriteFile(u"C:\\Tools\\Data.mdb", "x");
  Open(u"C:\\Tools");
  ShowAndActivate();
  EXPECT_TRUE(window->txtPath()->isReadOnly());
  EXPECT_TRUE(window->txtInstructions()->isReadOnly());
  EXPECT_FALSE(window->txtInstructions()->focusPolicy() & Qt::TabFocus);

  window->txtPath()->setFocus();
  QTest::keyClicks(window->txtPath(), "typed");
  QTest::keyClick(window->txtPath(), Qt::Key_Backspace);
  EXPECT_EQ(PathBox(), "C:\\Tools\\Data.mdb");
  const QString instructions = window->txtInstructions()->toPlainText();
  QTest::mouseClick(window->txtInstructions()->viewport(), Qt::LeftButton);
  QTest::keyClicks(window->txtInstructions(), "typed");
  EXPECT_EQ(window->txtInstructions()->toPlainText(), instructions);
}

TEST_F(WindowBehaviourTest, TheOptionsFormOneGroup) {
  files.MakeFolder(u"C:\\Tools");
  Open(u"C:\\Tools");
  window->optSelect(2)->click();
  EXPECT_FALSE(window->optSelect(0)->isChecked());
  EXPECT_FALSE(window->optSelect(1)->isChecked());
  EXPECT_TRUE(window->optSelect(2)->isChecked());
  EXPECT_EQ(testing::Utf8(window->File1()->Pattern()), "*.mdb");
}

TEST_F(WindowBehaviourTest, RepairWithNothingSelectedAsksForAFile) {
  files.MakeFolder(u"C:\\Tools");
  Open(u"C:\\Tools");
  window->show();
  window->cmdRepair()->setEnabled(true);  // the path box is empty
  const std::vector<ShownMessage> shown = PressRepair();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "You must select a file to repair.");
  EXPECT_EQ(shown[0].title, "Select File");
  EXPECT_EQ(shown[0].icon, QMessageBox::Warning);
  EXPECT_EQ(shown[0].buttons, std::vector<std::string>{"OK"});
  EXPECT_TRUE(shown[0].modal);
  EXPECT_EQ(shown[0].owner, window.get());
  EXPECT_EQ(engineLog.engines_created, 0);
}

TEST_F(WindowBehaviourTest, ASuccessfulRepairSaysSoOnce) {
  files.WriteFile(u"C:\\Tools\\Data.mdb", "data");
  Open(u"C:\\Tools");
  window->show();
  const std::vector<ShownMessage> shown = PressRepair();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Repair was successful!");
  EXPECT_EQ(shown[0].title, "Finished");
  EXPECT_EQ(shown[0].icon, QMessageBox::Warning);
  EXPECT_EQ(shown[0].buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(shown[0].owner, window.get());
  EXPECT_EQ(files.ReadFile(u"C:\\Tools\\Data.mdb"), std::optional<std::string>("compacted:data"));
  EXPECT_EQ(PathBox(), "C:\\Tools\\Data.mdb") << "the path box keeps its text";
  EXPECT_TRUE(RepairEnabled());
}

TEST_F(WindowBehaviourTest, AFailedRepairShowsTheErrorsNumberAndDescription) {
  files.WriteFile(u"C:\\Tools\\Data.mdb", "data");
  Open(u"C:\\Tools");
  window->show();
  engineLog.compact_error = Error(-1032, "Unrecognized database format 'C:\\Tools\\Data.mdb'.");
  const std::vector<ShownMessage> shown = PressRepair();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text,
            "There was an error repairing the database\n\nError: -1032  Unrecognized database format "
            "'C:\\Tools\\Data.mdb'.");
  EXPECT_EQ(shown[0].title, "Error");
  EXPECT_EQ(shown[0].icon, QMessageBox::Critical);
  EXPECT_EQ(shown[0].buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(files.ReadFile(u"C:\\Tools\\Data.mdb"), std::optional<std::string>("data"));
}

}  // namespace
}  // namespace vondrel::window
