#pragma once
// What a folder list holds, whatever control shows it: the current drive's
// folders from its root down to the current folder, open, each one step
// deeper than the one before, then the current folder's subfolders, closed,
// sorted by name. Setting a different folder raises the change notification
// before SetPath returns; a folder that does not exist throws and changes
// nothing. A list box on either windowing toolkit derives from it: it shows
// the entries and passes on the user's double-clicks.

#include <string>
#include <vector>

#include "location/controls.h"
#include "platform/file_system.h"

namespace vondrel::location {

class FolderListContents : public FolderList {
 public:
  struct Entry {
    platform::PathText path;  // the folder the entry stands for
    std::u16string text;      // what the entry shows: the folder's own name
    int depth;                // steps below the drive's root
    bool open;                // the current folder or one of its ancestors
  };

  explicit FolderListContents(platform::FileSystem& file_system) : file_system_(file_system) {}

  platform::PathText Path() const override { return path_; }
  void SetPath(const platform::PathText& folder) override;

  int Count() const { return static_cast<int>(entries_.size()); }
  // The full folder path an entry stands for; empty for a row that does not exist.
  platform::PathText EntryPath(int row) const;
  int EntryDepth(int row) const;
  bool EntryIsOpen(int row) const;
  // The number of entries that are ancestors of the current folder or the folder itself.
  int ChainLength() const { return chain_length_; }

  // Moves to the folder of an entry, as a double-click on it does.
  void OpenEntry(int row);

 protected:
  const std::vector<Entry>& Entries() const { return entries_; }

 private:
  // The control shows the entries with the current folder (the last open one) selected.
  virtual void ShowEntries(const std::vector<Entry>& entries, int chain_length) = 0;
  virtual void RaiseChange() = 0;

  platform::FileSystem& file_system_;
  platform::PathText path_;
  std::vector<Entry> entries_;
  int chain_length_ = 0;
};

}  // namespace vondrel::location
