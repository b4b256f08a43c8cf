#pragma once
// What the window does when the user browses for a database: the program
// choice, Find, the folder change, file clicks, and the program folder.
// The window's handler methods call these with its own controls.

#include <array>
#include <cstddef>
#include <optional>

#include "location/controls.h"
#include "location/program_choice.h"

namespace vondrel::location {

struct BrowseControls {
  std::array<const OptionButton*, kProgramChoiceCount> optSelect{};
  FolderList* Dir1 = nullptr;
  FileList* File1 = nullptr;
  TextBox* txtPath = nullptr;
  CommandButton* cmdRepair = nullptr;
};

// The first option button whose value is true, tested in index order.
std::optional<std::size_t> SelectedChoice(const BrowseControls& controls);

// Moves the folder list to the chosen program's default folder, then applies
// its pattern. Each step that fails is skipped silently.
void FindDefaultLocation(BrowseControls& controls);

// Keeps the file list, path box and repair button consistent with the folder
// list, and selects the only match when there is exactly one. Each step that
// fails is skipped silently.
void FollowFolderChange(BrowseControls& controls);

// Puts the selected file's full path into the path box and enables repair.
void ShowClickedFile(BrowseControls& controls);

// Puts the selected file's full path into the path box.
void ShowDoubleClickedFile(BrowseControls& controls);

// The file list's folder + "\" + the selected name. At a drive root the
// folder already ends in "\", and the doubled separator is kept: the file
// system reads it as the same file.
platform::PathText SelectedFilePath(const FileList& file_list);

// The program folder without one trailing backslash ("C:\" becomes "C:").
platform::PathText WithoutTrailingBackslash(platform::PathText folder);

}  // namespace vondrel::location
