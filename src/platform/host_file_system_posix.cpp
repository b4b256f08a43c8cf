#include "platform/host_file_system_posix.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_errors.h"

namespace vondrel::platform {
namespace fs = std::filesystem;

namespace {

std::optional<struct stat> StatOf(const fs::path& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return st;
}

bool EntryExists(const fs::path& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool IsHidden(const fs::path& host_path) {
  auto name = host_path.filename().string();
  return !name.empty() && name[0] == '.';
}

bool IsReadOnly(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

// The entry of `folder` that `name` reaches: the exact name when present,
// else the first case-insensitive match in byte order.
std::optional<fs::path> FindEntry(const fs::path& folder, const std::u16string& name) {
  fs::path exact = folder / ToHostName(name);
  if (EntryExists(exact)) return exact;
  std::optional<std::string> best;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string candidate = it->path().filename().string();
    if (!SameNameIgnoringCase(FromHostName(candidate), name)) continue;
    if (!best || candidate < *best) best = candidate;
  }
  if (!best) return std::nullopt;
  return folder / *best;
}

void FlushPath(const fs::path& path, int flags) {
  int fd = ::open(path.c_str(), flags | O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw ErrorFromErrno(errno, true);
  int result = ::fsync(fd);
  int error = errno;
  ::close(fd);
  // Some file systems cannot flush a folder; the rename itself has happened.
  if (result != 0 && error != EINVAL && error != EROFS) throw ErrorFromErrno(error, true);
}

CurrentFolders InitialFolders(const DriveTable& drives) {
  CurrentFolders current;
  current.drive = drives.Root(u'C') ? u'C' : drives.Drives().begin()->first;
  return current;
}

}  // namespace

HostFileSystem::HostFileSystem() : HostFileSystem(DriveTable::FromEnvironment()) {}

HostFileSystem::HostFileSystem(DriveTable drives) : drives_(std::move(drives)), current_(InitialFolders(drives_)) {}

fs::path HostFileSystem::Resolve(const WindowsPath& path, LastName last) const {
  auto root = drives_.Root(path.drive);
  if (!root) throw FileError(kPathNotFound);
  fs::path host = *root;
  for (std::size_t i = 0; i < path.components.size(); ++i) {
    bool is_last = i + 1 == path.components.size();
    auto entry = FindEntry(host, path.components[i]);
    if (!entry) {
      if (!is_last) throw FileError(kPathNotFound);
      if (last == LastName::MustExist) throw FileError(kFileNotFound);
      return host / ToHostName(path.components[i]);
    }
    if (!is_last) {
      auto st = StatOf(*entry);
      if (!st || !S_ISDIR(st->st_mode)) throw FileError(kPathNotFound);
    }
    host = *entry;
  }
  return host;
}

fs::path HostFileSystem::ResolveExistingFolder(const PathText& folder, WindowsPath* parsed) const {
  WindowsPath path = ParsePathText(folder, current_);
  fs::path host;
  try {
    host = Resolve(path, LastName::MustExist);
  } catch (const vondrel::Error&) {
    throw FileError(kPathNotFound);
  }
  auto st = StatOf(host);
  if (!st || !S_ISDIR(st->st_mode)) throw FileError(kPathNotFound);
  if (parsed) *parsed = std::move(path);
  return host;
}

bool HostFileSystem::OrdinaryFileExists(const PathText& path) {
  try {
    WindowsPath parsed = ParsePathText(path, current_);
    if (parsed.components.empty()) return false;
    fs::path host = Resolve(parsed, LastName::MustExist);
    auto st = StatOf(host);
    return st && S_ISREG(st->st_mode) && !IsHidden(host);
  } catch (const vondrel::Error&) {
    return false;
  }
}

void HostFileSystem::DeleteFile(const PathText& path) {
  WindowsPath parsed = ParsePathText(path, current_);
  if (parsed.components.empty()) throw FileError(kPathFileAccessError);
  fs::path host = Resolve(parsed, LastName::MustExist);
  auto st = StatOf(host);
  if (st && (S_ISDIR(st->st_mode) || IsReadOnly(*st))) throw FileError(kPathFileAccessError);
  if (::unlink(host.c_str()) != 0) throw ErrorFromErrno(errno, true);
}

void HostFileSystem::RenameFile(const PathText& from, const PathText& to) {
  WindowsPath source = ParsePathText(from, current_);
  WindowsPath target = ParsePathText(to, current_);
  if (source.components.empty() || target.components.empty()) throw FileError(kPathFileAccessError);
  fs::path source_host = Resolve(source, LastName::MustExist);
  fs::path target_host = Resolve(target, LastName::MayBeAbsent);
  if (EntryExists(target_host)) {
    struct stat a, b;
    bool same_file = ::lstat(source_host.c_str(), &a) == 0 && ::lstat(target_host.c_str(), &b) == 0 &&
                    a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    if (!same_file) throw FileError(kFileAlreadyExists);
    // Only the case of the name changes: give the entry the name as written.
    target_host = target_host.parent_path() / ToHostName(target.components.back());
    if (::rename(source_host.c_str(), target_host.c_str()) != 0) throw ErrorFromErrno(errno, true);
  } else if (::renameat2(AT_FDCWD, source_host.c_str(), AT_FDCWD, target_host.c_str(), RENAME_NOREPLACE) != 0) {
    if (errno != EINVAL && errno != ENOSYS) throw ErrorFromErrno(errno, true);
    // The file system cannot refuse to replace by itself; the check above stands in.
    if (::rename(source_host.c_str(), target_host.c_str()) != 0) throw ErrorFromErrno(errno, true);
  }
  FlushPath(target_host.parent_path(), O_DIRECTORY);
  if (source_host.parent_path() != target_host.parent_path()) FlushPath(source_host.parent_path(), O_DIRECTORY);
}

void HostFileSystem::ReplaceFile(const PathText& from, const PathText& to) { Replace(from, to, nullptr); }

void HostFileSystem::ReplaceFileKeepingOld(const PathText& from, const PathText& to, const PathText& backup) {
  Replace(from, to, &backup);
}

void HostFileSystem::Replace(const PathText& from, const PathText& to, const PathText* backup) {
  WindowsPath source = ParsePathText(from, current_);
  WindowsPath target = ParsePathText(to, current_);
  if (source.components.empty() || target.components.empty()) throw FileError(kPathFileAccessError);
  fs::path source_host = Resolve(source, LastName::MustExist);
  // The file `to` reaches, in any case; the name as written when there is none.
  fs::path replaced = Resolve(target, LastName::MayBeAbsent);
  auto source_stat = StatOf(source_host);
  if (!source_stat || !S_ISREG(source_stat->st_mode)) throw FileError(kPathFileAccessError);
  auto replaced_stat = StatOf(replaced);
  if (replaced_stat && (S_ISDIR(replaced_stat->st_mode) || IsReadOnly(*replaced_stat))) {
    throw FileError(kPathFileAccessError);
  }
  if (replaced_stat && replaced_stat->st_ino == source_stat->st_ino && replaced_stat->st_dev == source_stat->st_dev) {
    return;  // already in place
  }
  fs::path kept;
  if (backup && replaced_stat) {
    WindowsPath kept_path = ParsePathText(*backup, current_);
    if (kept_path.components.empty()) throw FileError(kPathFileAccessError);
    kept = Resolve(kept_path, LastName::MayBeAbsent);
    if (EntryExists(kept)) throw FileError(kFileAlreadyExists);
  }

  int fd = ::open(source_host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw ErrorFromErrno(errno, true);
  int error = 0;
  if (replaced_stat && ::fchmod(fd, replaced_stat->st_mode & 07777) != 0) error = errno;
  if (!error && ::fsync(fd) != 0) error = errno;
  ::close(fd);
  if (error) throw ErrorFromErrno(error, true);

  if (!kept.empty()) KeepAs(replaced, kept);
  if (::rename(source_host.c_str(), replaced.c_str()) != 0) throw ErrorFromErrno(errno, true);
  FlushPath(replaced.parent_path(), O_DIRECTORY);
  if (source_host.parent_path() != replaced.parent_path()) FlushPath(source_host.parent_path(), O_DIRECTORY);
}

void HostFileSystem::KeepAs(const fs::path& file, const fs::path& backup) {
  // A second name first: the file stays under its own name until it is replaced.
  if (::link(file.c_str(), backup.c_str()) != 0) {
    if (errno == EEXIST) throw FileError(kFileAlreadyExists);
    // A file system without hard links: the file moves to the backup name.
    if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, backup.c_str(), RENAME_NOREPLACE) != 0) {
      if (errno != EINVAL && errno != ENOSYS) throw ErrorFromErrno(errno, true);
      if (::rename(file.c_str(), backup.c_str()) != 0) throw ErrorFromErrno(errno, true);
    }
  }
  FlushPath(backup.parent_path(), O_DIRECTORY);
}

PathText HostFileSystem::ResolveFolder(const PathText& folder) {
  WindowsPath parsed;
  ResolveExistingFolder(folder, &parsed);
  return parsed.Text();
}

void HostFileSystem::SetCurrentFolder(const PathText& folder) {
  WindowsPath parsed;
  ResolveExistingFolder(folder, &parsed);
  char16_t letter = FoldCase(parsed.drive);
  current_.by_drive[letter] = std::move(parsed);
  current_.drive = letter;
}

std::vector<std::u16string> HostFileSystem::FolderEntries(const PathText& folder, bool folders) const {
  fs::path host = ResolveExistingFolder(folder);
  std::vector<std::u16string> names;
  std::error_code ec;
  fs::directory_iterator it(host, ec);
  for (fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    if (IsHidden(it->path())) continue;
    auto st = StatOf(it->path());
    if (!st) continue;
    if (folders ? S_ISDIR(st->st_mode) : S_ISREG(st->st_mode)) names.push_back(FromHostName(it->path().filename().string()));
  }
  if (ec) throw ErrorFromErrno(ec.value(), false);
  std::sort(names.begin(), names.end(), [](const std::u16string& a, const std::u16string& b) {
    auto folded_a = FoldCase(a), folded_b = FoldCase(b);
    return folded_a != folded_b ? folded_a < folded_b : a < b;
  });
  return names;
}

std::vector<std::u16string> HostFileSystem::SubFolders(const PathText& folder) { return FolderEntries(folder, true); }

std::vector<std::u16string> HostFileSystem::OrdinaryFiles(const PathText& folder) { return FolderEntries(folder, false); }

PathText HostFileSystem::ProgramFolder() {
  std::error_code ec;
  fs::path executable = fs::read_symlink("/proc/self/exe", ec);
  if (ec) throw ErrorFromErrno(ec.value(), true);
  return drives_.ShowHostPath(executable.parent_path());
}

PathText HostFileSystem::ShowHostPath(const fs::path& host) const {
  PathText folder = drives_.ShowHostPath(host.parent_path());
  if (folder.empty() || folder.back() != u'\\') folder += u'\\';
  return folder + FromHostName(host.filename().string());
}

fs::path HostFileSystem::HostPath(const PathText& path) {
  return Resolve(ParsePathText(path, current_), LastName::MayBeAbsent);
}

}  // namespace vondrel::platform
