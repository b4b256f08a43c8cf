#pragma once
// The file system as the program sees it: Windows path text (UTF-16, backslash
// separators, drive letters) on every platform. On Linux the drive letters map
// to host folders the way Wine maps them. Every failure throws vondrel::Error
// with the number the original platform's runtime gives (see file_errors.h).

#include <filesystem>
#include <string>
#include <vector>

#include "base/error.h"

namespace vondrel::platform {

// A full path in Windows form, e.g. u"c:\\Program Files\\Tamberlo\\Data.mdb".
using PathText = std::u16string;

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // True when `path` names an ordinary file: not hidden, not a system file, not a folder.
  virtual bool OrdinaryFileExists(const PathText& path) = 0;
  virtual void DeleteFile(const PathText& path) = 0;
  // Renames a file within its folder; fails when `to` exists.
  virtual void RenameFile(const PathText& from, const PathText& to) = 0;
  // Moves `from` onto `to` in one atomic step, replacing `to` if it exists, and
  // flushes the folder so that the new name survives a crash.
  virtual void ReplaceFile(const PathText& from, const PathText& to) = 0;
  // Gives `to` the permission bits of `from`.
  virtual void CopyPermissions(const PathText& from, const PathText& to) = 0;

  // The full path of an existing folder, resolved the way Windows resolves
  // it: "C:" alone means drive C's current folder; names match without regard
  // to case. The result shows the drive root as "C:\". Fails when absent.
  virtual PathText ResolveFolder(const PathText& folder) = 0;
  // Names of the subfolders and of the ordinary files of a folder, sorted.
  virtual std::vector<std::u16string> SubFolders(const PathText& folder) = 0;
  virtual std::vector<std::u16string> OrdinaryFiles(const PathText& folder) = 0;

  // The folder that holds the running executable, as path text.
  virtual PathText ProgramFolder() = 0;
  // The host path behind path text, for code that opens files itself (the engine).
  virtual std::filesystem::path HostPath(const PathText& path) = 0;
};

}  // namespace vondrel::platform
