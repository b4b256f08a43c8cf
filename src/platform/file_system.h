#pragma once
// The file system as the program sees it: Windows path text (UTF-16, backslash
// separators, drive letters) on every platform. On Linux the drive letters map
// to host folders the way Wine maps them, and names match without regard to
// case. Every failure throws vondrel::Error with the number the original
// platform's runtime gives (see file_errors.h).

#include <filesystem>
#include <string>
#include <vector>

#include "base/error.h"
#include "platform/path_text.h"

namespace vondrel::platform {

// Path text is a full path in Windows form, e.g. u"c:\\Program Files\\Tamberlo\\Data.mdb".
// "C:" alone means drive C's current folder; "C:name" is relative to it.
// Empty components (two backslashes in a row) are skipped.

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // True when `path` names an ordinary file: not hidden (a name starting with
  // "."), not a system file (neither a regular file nor a folder), not a folder.
  // A path that cannot be reached counts as absent.
  virtual bool OrdinaryFileExists(const PathText& path) = 0;
  // Deletes a file; a read-only file (no owner write permission) is refused.
  virtual void DeleteFile(const PathText& path) = 0;
  // Renames a file within its folder in one atomic step and flushes the
  // folder; fails when any entry answers to the new name (hidden, system or
  // folder too, in any case) and never replaces one. When both names reach
  // the same file, the file takes the name as written (a change of case).
  virtual void RenameFile(const PathText& from, const PathText& to) = 0;
  // Puts `from` in the place of the file that `to` reaches, under that file's
  // stored name (the name as written in `to` when there is none), keeping the
  // permission bits of the file it replaces. `from` is flushed and moved onto
  // the name in one atomic step and the folder is flushed, so that a crash
  // leaves the old or the new file under the name, never neither and never
  // both. A read-only file in the way is refused before anything changes.
  virtual void ReplaceFile(const PathText& from, const PathText& to) = 0;
  // ReplaceFile, keeping the replaced file under `backup`, a name no entry
  // answers to (else "file already exists" before anything changes). The old
  // file gains the backup name before the new one takes its place, where the
  // file system allows as a second name of the same file, so that a crash
  // leaves each file whole under a name and the old one under the database
  // name until the new one is there.
  virtual void ReplaceFileKeepingOld(const PathText& from, const PathText& to, const PathText& backup) = 0;

  // The full path of an existing folder: "C:" resolved to the drive's current
  // folder, "." and ".." applied, doubled separators removed; a drive root
  // reads "C:\". Fails with "path not found" when it is not a folder.
  virtual PathText ResolveFolder(const PathText& folder) = 0;
  // Makes an existing folder the current folder of its drive (each drive's
  // root until then) and its drive the current drive.
  virtual void SetCurrentFolder(const PathText& folder) = 0;
  // Names of the subfolders and of the ordinary files of a folder, hidden and
  // system entries left out, sorted without regard to case.
  virtual std::vector<std::u16string> SubFolders(const PathText& folder) = 0;
  virtual std::vector<std::u16string> OrdinaryFiles(const PathText& folder) = 0;

  // The folder that holds the running executable, as path text.
  virtual PathText ProgramFolder() = 0;
  // The host path behind path text, for code that opens files itself (the
  // engine). The folder must exist; the last name may be absent.
  virtual std::filesystem::path HostPath(const PathText& path) = 0;
};

}  // namespace vondrel::platform
