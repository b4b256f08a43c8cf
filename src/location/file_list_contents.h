#pragma once
// What a file list holds, whatever control shows it: its folder, its pattern,
// the ordinary files of the folder whose names match the pattern (wildcards,
// without regard to case, several patterns separated by ";"), sorted by name,
// and the selected position. Setting the folder or a different pattern
// re-reads the names and clears the selection. A list box on either
// windowing toolkit derives from it: it shows what this holds and passes on
// the user's picks.

#include <string>
#include <vector>

#include "location/controls.h"
#include "platform/file_system.h"

namespace vondrel::location {

class FileListContents : public FileList {
 public:
  explicit FileListContents(platform::FileSystem& file_system) : file_system_(file_system) {}

  platform::PathText Path() const override { return path_; }
  void SetPath(const platform::PathText& folder) override;
  std::u16string Pattern() const override { return pattern_; }
  void SetPattern(const std::u16string& pattern) override;
  int ListCount() const override { return static_cast<int>(names_.size()); }
  int ListIndex() const override { return list_index_; }
  void SetListIndex(int position) override;
  std::u16string FileName() const override;

  // The entry at a position, for callers that walk the list.
  std::u16string List(int position) const;

 protected:
  // The user picked the entry at `position` (one that exists): it becomes
  // the selection and the click notification is raised.
  void Pick(int position);

 private:
  // The control shows `names` with nothing selected.
  virtual void ShowNames(const std::vector<std::u16string>& names) = 0;
  // The control selects the entry at `position`; -1 selects none.
  virtual void ShowSelection(int position) = 0;
  virtual void RaiseClick() = 0;

  void Show(std::vector<std::u16string> names);
  void Select(int position);

  platform::FileSystem& file_system_;
  platform::PathText path_;
  std::u16string pattern_ = u"*.*";
  std::vector<std::u16string> names_;
  int list_index_ = -1;
};

}  // namespace vondrel::location
