#include "platform/windows_path.h"

#include "platform/file_errors.h"

namespace vondrel::platform {
namespace {

bool IsDriveLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

}  // namespace

PathText WindowsPath::Text() const {
  PathText text{drive, u':', u'\\'};
  for (std::size_t i = 0; i < components.size(); ++i) {
    if (i) text += u'\\';
    text += components[i];
  }
  return text;
}

WindowsPath CurrentFolders::Of(char16_t letter) const {
  auto found = by_drive.find(FoldCase(letter));
  if (found != by_drive.end()) return found->second;
  return WindowsPath{FoldCase(letter), {}};
}

WindowsPath ParsePathText(const PathText& text, const CurrentFolders& current) {
  if (text.empty()) throw FileError(kPathNotFound);
  std::size_t pos = 0;
  WindowsPath path;
  bool have_drive = text.size() >= 2 && text[1] == u':' && IsDriveLetter(text[0]);
  bool from_root;
  if (have_drive) {
    pos = 2;
    from_root = pos < text.size() && IsPathSeparator(text[pos]);
    path = from_root ? WindowsPath{text[0], {}} : current.Of(text[0]);
    if (!from_root) path.drive = text[0];
  } else {
    if (text.size() >= 2 && IsPathSeparator(text[0]) && IsPathSeparator(text[1])) throw FileError(kPathNotFound);
    from_root = IsPathSeparator(text[0]);
    path = from_root ? WindowsPath{current.drive, {}} : current.Of(current.drive);
  }
  while (pos < text.size()) {
    std::size_t end = pos;
    while (end < text.size() && !IsPathSeparator(text[end])) ++end;
    std::u16string name = text.substr(pos, end - pos);
    if (name == u"..") {
      if (!path.components.empty()) path.components.pop_back();
    } else if (!name.empty() && name != u".") {
      path.components.push_back(std::move(name));
    }
    pos = end + 1;
  }
  return path;
}

}  // namespace vondrel::platform
