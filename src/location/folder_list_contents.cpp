#include "location/folder_list_contents.h"

#include <exception>

#include "location/name_matching.h"
#include "platform/path_text.h"

namespace vondrel::location {

void FolderListContents::SetPath(const platform::PathText& folder) {
  // Both reads throw on a missing folder, before anything changes.
  const platform::PathText resolved = file_system_.ResolveFolder(folder);
  std::vector<std::u16string> sub_folders = file_system_.SubFolders(resolved);
  SortNames(sub_folders);
  const bool changed = !platform::SameNameIgnoringCase(resolved, path_);
  path_ = resolved;

  entries_.clear();
  const std::vector<platform::PathText> chain = platform::FolderChain(resolved);
  int depth = 0;
  for (const platform::PathText& ancestor : chain) {
    entries_.push_back(Entry{ancestor, platform::LastComponent(ancestor), depth++, true});
  }
  chain_length_ = static_cast<int>(chain.size());
  for (const std::u16string& name : sub_folders) {
    entries_.push_back(Entry{platform::ChildFolder(resolved, name), name, depth, false});
  }
  ShowEntries(entries_, chain_length_);
  if (changed) RaiseChange();
}

platform::PathText FolderListContents::EntryPath(int row) const {
  return row >= 0 && row < Count() ? entries_[static_cast<std::size_t>(row)].path : platform::PathText();
}

int FolderListContents::EntryDepth(int row) const {
  return row >= 0 && row < Count() ? entries_[static_cast<std::size_t>(row)].depth : 0;
}

bool FolderListContents::EntryIsOpen(int row) const {
  return row >= 0 && row < Count() && entries_[static_cast<std::size_t>(row)].open;
}

void FolderListContents::OpenEntry(int row) {
  const platform::PathText target = EntryPath(row);
  if (target.empty()) return;
  try {
    SetPath(target);
  } catch (const std::exception&) {
    // The folder vanished since the list was read: show what is there now.
    try {
      SetPath(path_);
    } catch (const std::exception&) {
    }
  }
}

}  // namespace vondrel::location
