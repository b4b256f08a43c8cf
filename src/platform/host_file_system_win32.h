#pragma once
// The file system of a Windows machine: the system's own drive letters, each
// drive's current folder (kept where the C runtime keeps it, in the "=C:"
// environment entries), names matched without regard to case by the system,
// hidden and system files known by their attributes. Paths go to the system
// as UTF-16, never through the ANSI code page.

#include "platform/file_system.h"

namespace vondrel::platform {

class HostFileSystem : public FileSystem {
 public:
  bool OrdinaryFileExists(const PathText& path) override;
  void DeleteFile(const PathText& path) override;
  void RenameFile(const PathText& from, const PathText& to) override;
  void ReplaceFile(const PathText& from, const PathText& to) override;
  void ReplaceFileKeepingOld(const PathText& from, const PathText& to, const PathText& backup) override;
  PathText ResolveFolder(const PathText& folder) override;
  void SetCurrentFolder(const PathText& folder) override;
  std::vector<std::u16string> SubFolders(const PathText& folder) override;
  std::vector<std::u16string> OrdinaryFiles(const PathText& folder) override;
  PathText ProgramFolder() override;
  std::filesystem::path HostPath(const PathText& path) override;

  // A host path as path text: its full form, the last name as written.
  PathText ShowHostPath(const std::filesystem::path& host) const;

 private:
  // ReplaceFile, keeping the replaced file under `backup` when given.
  void Replace(const PathText& from, const PathText& to, const PathText* backup);
  std::vector<std::u16string> FolderEntries(const PathText& folder, bool folders);
};

}  // namespace vondrel::platform
