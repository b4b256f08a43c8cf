#pragma once
// The file system of a POSIX machine, with Windows semantics
// over a POSIX host: drive letters from a DriveTable (Wine's mapping), names
// matched component by component without regard to case (an exact match
// wins, else the first match in byte order), hidden = a name starting with
// ".", system = neither a regular file nor a folder.

#include "platform/drive_table.h"
#include "platform/file_system.h"
#include "platform/windows_path.h"

namespace vondrel::platform {

class HostFileSystem : public FileSystem {
 public:
  // The drives of the Wine prefix in the environment (WINEPREFIX, else ~/.wine).
  HostFileSystem();
  explicit HostFileSystem(DriveTable drives);

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

  const DriveTable& Drives() const { return drives_; }
  // A host path as path text under the drive that holds its folder; the last
  // name as written, so that a link is named, not its target.
  PathText ShowHostPath(const std::filesystem::path& host) const;

 private:
  // What to do when the last name is not there.
  enum class LastName { MustExist, MayBeAbsent };
  std::filesystem::path Resolve(const WindowsPath& path, LastName last) const;
  std::filesystem::path ResolveExistingFolder(const PathText& folder, WindowsPath* parsed = nullptr) const;
  std::vector<std::u16string> FolderEntries(const PathText& folder, bool folders) const;
  // ReplaceFile, keeping the replaced file under `backup` when given.
  void Replace(const PathText& from, const PathText& to, const PathText* backup);
  // Gives `file` the name `backup` too (or only, where links are not to be had).
  static void KeepAs(const std::filesystem::path& file, const std::filesystem::path& backup);

  DriveTable drives_;
  CurrentFolders current_;
};

}  // namespace vondrel::platform
