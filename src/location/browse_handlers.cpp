#include "location/browse_handlers.h"

#include <exception>
#include <string>

namespace vondrel::location {
namespace {

// Runs one step of a handler that goes on after a failing step.
template <typename Step>
void IgnoringErrors(Step&& step) {
  try {
    step();
  } catch (const std::exception&) {
    // The browse handlers show nothing and go on with the next step.
  }
}

}  // namespace

std::optional<std::size_t> SelectedChoice(const BrowseControls& controls) {
  for (std::size_t index = 0; index < controls.optSelect.size(); ++index) {
    if (controls.optSelect[index] && controls.optSelect[index]->Value()) return index;
  }
  return std::nullopt;
}

void FindDefaultLocation(BrowseControls& controls) {
  const std::optional<std::size_t> choice = SelectedChoice(controls);
  if (!choice) return;
  const ProgramChoice& program = kProgramChoices[*choice];
  // A changed folder runs the folder-change handling inside this assignment.
  IgnoringErrors([&] { controls.Dir1->SetPath(platform::PathText(program.default_folder)); });
  IgnoringErrors([&] { controls.File1->SetPattern(std::u16string(program.pattern)); });
}

void FollowFolderChange(BrowseControls& controls) {
  IgnoringErrors([&] { controls.File1->SetPath(controls.Dir1->Path()); });
  IgnoringErrors([&] {
    if (const std::optional<std::size_t> choice = SelectedChoice(controls)) {
      controls.File1->SetPattern(std::u16string(kProgramChoices[*choice].pattern));
    }
  });
  IgnoringErrors([&] { controls.cmdRepair->SetEnabled(false); });
  IgnoringErrors([&] { controls.txtPath->SetText(std::u16string()); });
  IgnoringErrors([&] {
    if (controls.File1->ListCount() > 1) return;
    // With one entry this selects it and runs the file-click handling; on an
    // empty list the assignment fails, which is ignored like any other step.
    controls.File1->SetListIndex(0);
  });
}

platform::PathText SelectedFilePath(const FileList& file_list) {
  return file_list.Path() + u"\\" + file_list.FileName();
}

void ShowClickedFile(BrowseControls& controls) {
  controls.txtPath->SetText(SelectedFilePath(*controls.File1));
  controls.cmdRepair->SetEnabled(true);
}

void ShowDoubleClickedFile(BrowseControls& controls) {
  controls.txtPath->SetText(SelectedFilePath(*controls.File1));
}

platform::PathText WithoutTrailingBackslash(platform::PathText folder) {
  if (!folder.empty() && folder.back() == u'\\') folder.pop_back();
  return folder;
}

}  // namespace vondrel::location
