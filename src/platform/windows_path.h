#pragma once
// Path text taken apart into a drive letter and its folder names, with the
// relative forms ("C:", "C:name", "\name", "name") completed from the
// current folders.

#include <map>
#include <string>
#include <vector>

#include "platform/path_text.h"

namespace vondrel::platform {

struct WindowsPath {
  char16_t drive = u'C';  // as written; compare with FoldCase
  std::vector<std::u16string> components;

  // "C:\" for the root, "C:\a\b" below it.
  PathText Text() const;
};

struct CurrentFolders {
  char16_t drive = u'C';                     // the current drive, upper case
  std::map<char16_t, WindowsPath> by_drive;   // upper-case letter -> folder; root when absent
  WindowsPath Of(char16_t letter) const;
};

// Fails with "path not found" for empty text and for network (\\server) paths.
WindowsPath ParsePathText(const PathText& text, const CurrentFolders& current);

}  // namespace vondrel::platform
