#pragma once
// A file system held in memory, for the window's tests on Windows: drive
// letters, folders and files by Windows path text, names matched without
// regard to case and shown as written, names starting with "." hidden.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace vondrel::testing {

class MemoryFileSystem : public platform::FileSystem {
 public:
  // Set-up and inspection: a folder (and its parents), a file with these bytes.
  void MakeFolder(const platform::PathText& path);
  void WriteFile(const platform::PathText& path, const std::string& bytes);
  std::optional<std::string> ReadFile(const platform::PathText& path) const;
  void RemoveFolder(const platform::PathText& path);
  void SetProgramFolder(const platform::PathText& folder) { program_folder_ = folder; }

  bool OrdinaryFileExists(const platform::PathText& path) override;
  void DeleteFile(const platform::PathText& path) override;
  void RenameFile(const platform::PathText& from, const platform::PathText& to) override;
  void ReplaceFile(const platform::PathText& from, const platform::PathText& to) override;
  void ReplaceFileKeepingOld(const platform::PathText& from, const platform::PathText& to,
                             const platform::PathText& backup) override;
  platform::PathText ResolveFolder(const platform::PathText& folder) override;
  void SetCurrentFolder(const platform::PathText& folder) override;
  std::vector<std::u16string> SubFolders(const platform::PathText& folder) override;
  std::vector<std::u16string> OrdinaryFiles(const platform::PathText& folder) override;
  platform::PathText ProgramFolder() override { return program_folder_; }
  std::filesystem::path HostPath(const platform::PathText& path) override;

 private:
  struct Node {
    std::u16string name;  // as first written
    bool folder;
    std::string bytes;
  };
  // "C:", "C:\a\b" and "C:\a\\b\" alike become the full path with one
  // separator between names ("C:\" for a root); without a drive, drive C.
  platform::PathText Normalise(const platform::PathText& path) const;
  static platform::PathText Key(const platform::PathText& normalised);
  const Node* Find(const platform::PathText& path) const;
  std::vector<std::u16string> Children(const platform::PathText& folder, bool folders);

  std::map<platform::PathText, Node> nodes_;  // by folded normalised path
  std::map<char16_t, platform::PathText> current_;  // each drive's current folder
  platform::PathText program_folder_ = u"C:\\";
};

}  // namespace vondrel::testing
