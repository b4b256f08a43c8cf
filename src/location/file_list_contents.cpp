#include "location/file_list_contents.h"

#include <cstdint>

#include "base/error.h"
#include "location/name_matching.h"

namespace vondrel::location {
namespace {

// The number and text the platform's list controls give for a position
// that does not exist.
constexpr std::int32_t kInvalidPropertyValue = 380;

}  // namespace

void FileListContents::SetPath(const platform::PathText& folder) {
  // Resolving and reading both throw on a missing folder, before anything changes.
  const platform::PathText resolved = file_system_.ResolveFolder(folder);
  std::vector<std::u16string> names = MatchingFiles(file_system_, resolved, pattern_);
  path_ = resolved;
  Show(std::move(names));
}

void FileListContents::SetPattern(const std::u16string& pattern) {
  // The same pattern again leaves the list and its selection alone, so that
  // Find keeps the file that its folder change has just selected.
  if (pattern == pattern_) return;
  std::vector<std::u16string> names = MatchingFiles(file_system_, path_, pattern);
  pattern_ = pattern;
  Show(std::move(names));
}

void FileListContents::SetListIndex(int position) {
  if (position < -1 || position >= ListCount()) throw Error(kInvalidPropertyValue, "Invalid property value");
  Select(position);
  if (position >= 0) RaiseClick();
}

std::u16string FileListContents::FileName() const {
  return list_index_ >= 0 ? names_[static_cast<std::size_t>(list_index_)] : std::u16string();
}

std::u16string FileListContents::List(int position) const {
  if (position < 0 || position >= ListCount()) throw Error(kInvalidPropertyValue, "Invalid property value");
  return names_[static_cast<std::size_t>(position)];
}

void FileListContents::Pick(int position) {
  Select(position);
  RaiseClick();
}

void FileListContents::Show(std::vector<std::u16string> names) {
  names_ = std::move(names);
  list_index_ = -1;
  ShowNames(names_);
}

void FileListContents::Select(int position) {
  list_index_ = position;
  ShowSelection(position);
}

}  // namespace vondrel::location
