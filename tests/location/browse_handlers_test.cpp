// The browse handlers over scripted controls: the order of their steps, and
// that Find and the folder-change handling go on past a failing step.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "location/browse_handlers.h"

namespace vondrel::location {
namespace {

// Every control writes what happens to it into one shared log.
using Log = std::vector<std::string>;

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

struct ScriptedOption : OptionButton {
  bool value = false;
  bool Value() const override { return value; }
};

struct ScriptedButton : CommandButton {
  Log* log;
  std::optional<bool> enabled;
  explicit ScriptedButton(Log* l) : log(l) {}
  void SetEnabled(bool on) override {
    log->push_back(on ? "enable repair" : "disable repair");
    enabled = on;
  }
};

struct ScriptedText : TextBox {
  Log* log;
  std::u16string text = u"old text";
  explicit ScriptedText(Log* l) : log(l) {}
  std::u16string Text() const override { return text; }
  void SetText(const std::u16string& t) override {
    log->push_back("path box '" + Narrow(t) + "'");
    text = t;
  }
};

struct ScriptedFolders : FolderList {
  Log* log;
  platform::PathText path = u"C:\\Start";
  std::vector<platform::PathText> existing{u"C:\\Start"};
  std::function<void()> on_change;
  explicit ScriptedFolders(Log* l) : log(l) {}
  platform::PathText Path() const override { return path; }
  void SetPath(const platform::PathText& folder) override {
    log->push_back("folder list " + Narrow(folder));
    if (std::find(existing.begin(), existing.end(), folder) == existing.end()) throw Error(76, "Path not found");
    const bool changed = folder != path;
    path = folder;
    if (changed && on_change) on_change();
  }
};

struct ScriptedFiles : FileList {
  Log* log;
  platform::PathText path = u"C:\\Start";
  std::u16string pattern = u"*.*";
  std::vector<std::u16string> entries;
  int index = -1;
  bool fail_set_path = false;
  std::function<void()> on_click;
  explicit ScriptedFiles(Log* l) : log(l) {}
  platform::PathText Path() const override { return path; }
  void SetPath(const platform::PathText& folder) override {
    log->push_back("file list folder " + Narrow(folder));
    if (fail_set_path) throw Error(76, "Path not found");
    path = folder;
    index = -1;
  }
  std::u16string Pattern() const override { return pattern; }
  void SetPattern(const std::u16string& p) override {
    log->push_back("file list pattern " + Narrow(p));
    pattern = p;
    index = -1;
  }
  int ListCount() const override { return static_cast<int>(entries.size()); }
  int ListIndex() const override { return index; }
  void SetListIndex(int position) override {
    log->push_back("file list position " + std::to_string(position));
    if (position >= ListCount()) throw Error(380, "Invalid property value");
    index = position;
    if (on_click) on_click();
  }
  std::u16string FileName() const override {
    return index >= 0 ? entries[static_cast<std::size_t>(index)] : std::u16string();
  }
};

class BrowseHandlersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    options[0].value = true;
    for (std::size_t i = 0; i < options.size(); ++i) controls.optSelect[i] = &options[i];
    controls.Dir1 = &folders;
    controls.File1 = &files;
    controls.txtPath = &path_box;
    controls.cmdRepair = &repair_button;
    // Wired the way the window routes the notifications.
    folders.on_change = [this] {
      log.push_back("change");
      FollowFolderChange(controls);
    };
    files.on_click = [this] {
      log.push_back("click");
      ShowClickedFile(controls);
    };
  }

  Log log;
  std::array<ScriptedOption, 3> options;
  ScriptedFolders folders{&log};
  ScriptedFiles files{&log};
  ScriptedText path_box{&log};
  ScriptedButton repair_button{&log};
  BrowseControls controls;
};

TEST_F(BrowseHandlersTest, TheFirstTrueOptionIsTheChoice) {
  EXPECT_EQ(SelectedChoice(controls), 0u);
  options[0].value = false;
  options[2].value = true;
  EXPECT_EQ(SelectedChoice(controls), 2u);
  options[1].value = true;
  EXPECT_EQ(SelectedChoice(controls), 1u);
  options[1].value = options[2].value = false;
  EXPECT_EQ(SelectedChoice(controls), std::nullopt);
}

TEST_F(BrowseHandlersTest, FolderChangeWithOneEntrySelectsItThroughTheClickHandling) {
  files.entries = {u"Data.mdb"};
  FollowFolderChange(controls);
  EXPECT_EQ(log, (Log{"file list folder C:\\Start", "file list pattern Data.mdb", "disable repair", "path box ''",
                      "file list position 0", "click", "path box 'C:\\Start\\Data.mdb'", "enable repair"}));
}

TEST_F(BrowseHandlersTest, FolderChangeWithTwoEntriesStopsBeforeSelecting) {
  files.entries = {u"a.mdb", u"b.mdb"};
  options[0].value = false;
  options[2].value = true;
  FollowFolderChange(controls);
  EXPECT_EQ(log, (Log{"file list folder C:\\Start", "file list pattern *.mdb", "disable repair", "path box ''"}));
  EXPECT_EQ(repair_button.enabled, false);
}

TEST_F(BrowseHandlersTest, FolderChangeIgnoresAnEmptyListAndAFailingFolder) {
  files.fail_set_path = true;
  FollowFolderChange(controls);
  EXPECT_EQ(log, (Log{"file list folder C:\\Start", "file list pattern Data.mdb", "disable repair", "path box ''",
                      "file list position 0"}));
  EXPECT_EQ(path_box.text, u"");
  EXPECT_EQ(repair_button.enabled, false);
}

TEST_F(BrowseHandlersTest, FolderChangeWithoutAChoiceKeepsThePattern) {
  options[0].value = false;
  files.pattern = u"*.txt";
  FollowFolderChange(controls);
  EXPECT_EQ(files.pattern, u"*.txt");
  EXPECT_EQ(log, (Log{"file list folder C:\\Start", "disable repair", "path box ''", "file list position 0"}));
}

TEST_F(BrowseHandlersTest, FindRunsTheFolderChangeInsideTheAssignmentThenAppliesThePattern) {
  folders.existing.push_back(u"c:\\Program Files\\Tamberlo");
  FindDefaultLocation(controls);
  EXPECT_EQ(log, (Log{"folder list c:\\Program Files\\Tamberlo", "change",
                      "file list folder c:\\Program Files\\Tamberlo", "file list pattern Data.mdb", "disable repair",
                      "path box ''", "file list position 0", "file list pattern Data.mdb"}));
}

TEST_F(BrowseHandlersTest, FindOnAMissingFolderStillAppliesThePatternAndNothingElse) {
  options[0].value = false;
  options[1].value = true;
  FindDefaultLocation(controls);
  EXPECT_EQ(log, (Log{"folder list C:\\Program Files\\Guvrine", "file list pattern GV_Data.mdb"}));
  EXPECT_EQ(folders.path, u"C:\\Start");
  EXPECT_EQ(path_box.text, u"old text");
  EXPECT_EQ(repair_button.enabled, std::nullopt);
}

TEST_F(BrowseHandlersTest, FindWithoutAChoiceDoesNothing) {
  options[0].value = false;
  FindDefaultLocation(controls);
  EXPECT_TRUE(log.empty());
}

TEST_F(BrowseHandlersTest, FileHandlersComposeTheFullPath) {
  files.entries = {u"x.mdb", u"Data.mdb"};
  files.index = 1;
  files.path = u"C:\\";
  ShowDoubleClickedFile(controls);
  EXPECT_EQ(log, (Log{"path box 'C:\\\\Data.mdb'"})) << "the root's backslash is doubled, the button untouched";
  ShowClickedFile(controls);
  EXPECT_EQ(repair_button.enabled, true);
}

TEST_F(BrowseHandlersTest, ClickHandlingHasNoHandlingOfItsOwn) {
  struct FailingText : ScriptedText {
    using ScriptedText::ScriptedText;
    void SetText(const std::u16string&) override { throw Error(-1, "refused"); }
  } failing{&log};
  controls.txtPath = &failing;
  EXPECT_THROW(ShowClickedFile(controls), Error);
  EXPECT_EQ(repair_button.enabled, std::nullopt);
}

TEST(ProgramChoices, TheTableOfPrograms) {
  EXPECT_EQ(kProgramChoices[0].caption, u"Tamberlo");
  EXPECT_EQ(kProgramChoices[0].default_folder, u"c:\\Program Files\\Tamberlo");
  EXPECT_EQ(kProgramChoices[0].pattern, u"Data.mdb");
  EXPECT_EQ(kProgramChoices[1].caption, u"Guvrine");
  EXPECT_EQ(kProgramChoices[1].default_folder, u"C:\\Program Files\\Guvrine");
  EXPECT_EQ(kProgramChoices[1].pattern, u"GV_Data.mdb");
  EXPECT_EQ(kProgramChoices[2].caption, u"Other");
  EXPECT_EQ(kProgramChoices[2].default_folder, u"c:\\Program Files");
  EXPECT_EQ(kProgramChoices[2].pattern, u"*.mdb");
}

TEST(WithoutTrailingBackslash, DropsOneBackslashOnly) {
  EXPECT_EQ(WithoutTrailingBackslash(u"C:\\"), u"C:");
  EXPECT_EQ(WithoutTrailingBackslash(u"C:\\Tools"), u"C:\\Tools");
  EXPECT_EQ(WithoutTrailingBackslash(u"C:\\Tools\\\\"), u"C:\\Tools\\");
  EXPECT_EQ(WithoutTrailingBackslash(u""), u"");
}

}  // namespace
}  // namespace vondrel::location
