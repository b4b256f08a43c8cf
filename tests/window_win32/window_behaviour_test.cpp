// The Win32 window at start-up, its keyboard behaviour, and the messages the
// repair button shows.

#include <gtest/gtest.h>

#include "window_win32/window_fixture.h"

namespace vondrel::window {
namespace {

using testing::ShownMessage;

class Win32WindowBehaviourTest : public ::testing::Test, public testing::WindowFixture {
 protected:
  std::vector<ShownMessage> PressRepair() {
    return testing::CatchMessages([&] { Click(Control("cmdRepair")); });
  }
  std::vector<std::string> TabThrough(int presses, bool shift = false) {
    std::vector<std::string> visited;
    for (int press = 0; press < presses; ++press) {
      visited.push_back(FocusName());
      PressKey(VK_TAB, shift);
    }
    return visited;
  }
};

TEST_F(Win32WindowBehaviourTest, StartsOnItsFolderWithTheDatabaseThereSelected) {
  files.WriteFile(u"C:\\Program Files\\Tamberlo\\Data.mdb", "x");
  Open(u"C:\\Program Files\\Tamberlo");
  EXPECT_EQ(FolderList(), "C:\\Program Files\\Tamberlo");
  EXPECT_EQ(SelectedFile(), 0);
  EXPECT_EQ(SendMessageW(Control("File1"), LB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(PathBox(), "C:\\Program Files\\Tamberlo\\Data.mdb");
  EXPECT_TRUE(RepairEnabled());
  EXPECT_TRUE(Checked(0));
  Show();
  EXPECT_EQ(FocusName(), "cmdRepair");
}

TEST_F(Win32WindowBehaviourTest, StartsWithEverythingEmptyWhereThereIsNoDatabase) {
  files.WriteFile(u"C:\\Tools\\GV_Data.mdb", "x");
  Open(u"C:\\Tools");
  EXPECT_EQ(FolderList(), "C:\\Tools");
  EXPECT_EQ(window->File1().ListCount(), 0);
  EXPECT_EQ(SendMessageW(Control("File1"), LB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(PathBox(), "");
  EXPECT_FALSE(RepairEnabled());
  Show();
  EXPECT_EQ(FocusName(), "txtPath");
}

TEST_F(Win32WindowBehaviourTest, TabVisitsTheControlsInTabOrderAndSkipsTheInstructions) {
  files.WriteFile(u"C:\\Tools\\Data.mdb", "x");
  files.WriteFile(u"C:\\Tools\\Other.mdb", "x");
  Open(u"C:\\Tools");
  Show();
  // The option group is one stop: the Tab key enters it at the selected option.
  EXPECT_EQ(TabThrough(7), (std::vector<std::string>{"cmdRepair", "txtPath", "Dir1", "File1", "optSelect0", "cmdFind",
                                                     "cmdRepair"}));
  EXPECT_EQ(TabThrough(3, true), (std::vector<std::string>{"txtPath", "cmdRepair", "cmdFind"}))
      << "Shift+Tab walks back and wraps";
  Click(Control("optSelect", 2));
  SetFocus(Control("txtPath"));
  EXPECT_EQ(TabThrough(7), (std::vector<std::string>{"txtPath", "Dir1", "File1", "optSelect2", "cmdFind", "txtPath",
                                                     "Dir1"}))
      << "with two files for the new pattern the repair button is disabled and passed over";
  // From the instructions, which a click can reach, Tab goes on in tab order.
  SetFocus(Control("txtInstructions"));
  PressKey(VK_TAB);
  EXPECT_EQ(FocusName(), "txtPath");
}

TEST_F(Win32WindowBehaviourTest, TheArrowKeysMoveWithinTheOptionGroup) {
  files.WriteFile(u"C:\\Tools\\GV_Data.mdb", "x");
  Open(u"C:\\Tools");
  Show();
  SetFocus(Control("optSelect", 0));
  PressKey(VK_DOWN);
  EXPECT_EQ(FocusName(), "optSelect1");
  EXPECT_TRUE(Checked(1));
  EXPECT_FALSE(Checked(0));
  // Selecting the option by keyboard is a click: the file list follows.
  EXPECT_EQ(testing::Utf8(window->File1().Pattern()), "GV_Data.mdb");
  EXPECT_EQ(PathBox(), "C:\\Tools\\GV_Data.mdb");
}

TEST_F(Win32WindowBehaviourTest, TheTextBoxesCannotBeEdited) {
  files.WriteFile(u"C:\\Tools\\Data.mdb", "x");
  Open(u"C:\\Tools");
  Show();
  const std::string instructions = testing::TextOf(Control("txtInstructions"));
  for (const char* box : {"txtPath", "txtInstructions"}) {
    SetFocus(Control(box));
    for (wchar_t typed : std::wstring(L"typed")) SendMessageW(Control(box), WM_CHAR, typed, 1);
    PressKey(VK_BACK);
    PressKey(VK_DELETE);
    SendMessageW(Control(box), WM_PASTE, 0, 0);
    SendMessageW(Control(box), WM_CUT, 0, 0);
  }
  EXPECT_EQ(PathBox(), "C:\\Tools\\Data.mdb");
  EXPECT_EQ(testing::TextOf(Control("txtInstructions")), instructions);
}

TEST_F(Win32WindowBehaviourTest, TheOptionsFormOneGroup) {
  Open(u"C:\\Tools");
  Click(Control("optSelect", 2));
  EXPECT_FALSE(Checked(0));
  EXPECT_FALSE(Checked(1));
  EXPECT_TRUE(Checked(2));
  EXPECT_EQ(testing::Utf8(window->File1().Pattern()), "*.mdb");
  Click(Control("optSelect", 1));
  EXPECT_FALSE(Checked(2));
  EXPECT_TRUE(Checked(1));
  EXPECT_EQ(testing::Utf8(window->File1().Pattern()), "GV_Data.mdb");
}

TEST_F(Win32WindowBehaviourTest, RepairWithNothingSelectedAsksForAFile) {
  Open(u"C:\\Tools");
  Show();
  EnableWindow(Control("cmdRepair"), TRUE);  // the path box is empty
  const std::vector<ShownMessage> shown = PressRepair();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "You must select a file to repair.");
  EXPECT_EQ(shown[0].title, "Select File");
  EXPECT_EQ(shown[0].icon, LoadIconW(nullptr, IDI_EXCLAMATION)) << "style 48";
  EXPECT_EQ(shown[0].buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(shown[0].owner, window->Handle());
  EXPECT_FALSE(shown[0].owner_enabled) << "the box is modal";
  EXPECT_TRUE(IsWindowEnabled(window->Handle())) << "and gives the window back";
  EXPECT_EQ(engine.engines_created, 0);
}

TEST_F(Win32WindowBehaviourTest, ASuccessfulRepairSaysSoOnce) {
  files.WriteFile(u"C:\\Tools\\Data.mdb", "data");
  Open(u"C:\\Tools");
  Show();
  const std::vector<ShownMessage> shown = PressRepair();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Repair was successful!");
  EXPECT_EQ(shown[0].title, "Finished");
  EXPECT_EQ(shown[0].icon, LoadIconW(nullptr, IDI_EXCLAMATION)) << "style 48";
  EXPECT_EQ(shown[0].buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(shown[0].owner, window->Handle());
  EXPECT_EQ(files.ReadFile(u"C:\\Tools\\Data.mdb"), std::optional<std::string>("compacted:data"));
  EXPECT_EQ(files.ReadFile(u"C:\\Tools\\Data.rpr"), std::nullopt);
  EXPECT_EQ(PathBox(), "C:\\Tools\\Data.mdb") << "the path box keeps its text";
  EXPECT_TRUE(RepairEnabled());
  EXPECT_EQ(engine.engines_created, 1);
}

TEST_F(Win32WindowBehaviourTest, AFailedRepairShowsTheErrorsNumberAndDescription) {
  files.WriteFile(u"C:\\Tools\\Data.mdb", "data");
  Open(u"C:\\Tools");
  Show();
  engine.compact_error = Error(-1032, "Unrecognized database format 'C:\\Tools\\Data.mdb'.");
  const std::vector<ShownMessage> shown = PressRepair();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text,
            "There was an error repairing the database\r\n\r\nError: -1032  Unrecognized database format "
            "'C:\\Tools\\Data.mdb'.");
  EXPECT_EQ(shown[0].title, "Error");
  EXPECT_EQ(shown[0].icon, LoadIconW(nullptr, IDI_HAND)) << "style 16";
  EXPECT_EQ(shown[0].buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(shown[0].owner, window->Handle());
  EXPECT_EQ(files.ReadFile(u"C:\\Tools\\Data.mdb"), std::optional<std::string>("data"));
}

TEST_F(Win32WindowBehaviourTest, EnterPressesTheFocusedButton) {
  files.WriteFile(u"C:\\Tools\\Data.mdb", "data");
  Open(u"C:\\Tools");
  Show();
  ASSERT_EQ(FocusName(), "cmdRepair");
  const std::vector<ShownMessage> shown = testing::CatchMessages([&] { PressKey(VK_RETURN); });
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Repair was successful!");
}

TEST_F(Win32WindowBehaviourTest, ClosingTheWindowLeavesNoMessageForTheNextOne) {
  Open(u"C:\\Tools");
  Show();
  const HWND first = window->Handle();
  SendMessageW(first, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(first));
  MSG message;
  EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "a test's window ends no loop";
  Open(u"C:\\Tools");
  EXPECT_TRUE(IsWindow(window->Handle()));
}

}  // namespace
}  // namespace vondrel::window
