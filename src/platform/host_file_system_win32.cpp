#include "platform/host_file_system_win32.h"

#include <windows.h>
// The interface's names, not the system's ANSI/wide macros.
#undef DeleteFile
#undef ReplaceFile

#include <algorithm>

#include "platform/file_errors.h"

namespace vondrel::platform {
namespace fs = std::filesystem;

namespace {

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
std::u16string FromWide(const wchar_t* text, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

[[noreturn]] void ThrowLastError() { throw ErrorFromWindowsCode(GetLastError()); }

constexpr DWORD kNotOrdinary = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Path text as the system reads it: doubled separators made single (a network
// path, which starts with two, is not a path here) and "/" as "\".
std::u16string Normalised(const PathText& text) {
  if (text.empty()) throw FileError(kPathNotFound);
  if (text.size() >= 2 && IsPathSeparator(text[0]) && IsPathSeparator(text[1])) throw FileError(kPathNotFound);
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (IsPathSeparator(c)) {
      if (!out.empty() && out.back() == u'\\') continue;
      c = u'\\';
    }
    out += c;
  }
  return out;
}

// The full path: the drive's current folder completes "C:name", "." and ".."
// are applied. A trailing separator stays only on a drive root.
std::u16string FullPath(const PathText& text) {
  const std::u16string normal = Normalised(text);
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetFullPathNameW(Wide(normal), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) ThrowLastError();
    if (length < buffer.size()) {
      std::u16string full = FromWide(buffer.data(), length);
      if (full.size() > 3 && full.back() == u'\\') full.pop_back();
      return full;
    }
    buffer.resize(length + 1);
  }
}

bool IsRoot(const std::u16string& full) { return full.size() == 3 && full[1] == u':' && full[2] == u'\\'; }

DWORD AttributesOf(const std::u16string& full) { return GetFileAttributesW(Wide(full)); }

std::u16string FolderOf(const std::u16string& full) {
  const std::size_t separator = full.find_last_of(u'\\');
  if (separator == std::u16string::npos) return full;
  return full.substr(0, separator == 2 ? 3 : separator);
}

// A full path whose folder exists; the last name may be absent.
std::u16string FullPathInExistingFolder(const PathText& text) {
  std::u16string full = FullPath(text);
  if (IsRoot(full)) throw FileError(kPathFileAccessError);
  const DWORD folder = AttributesOf(FolderOf(full));
  if (folder == INVALID_FILE_ATTRIBUTES || !(folder & FILE_ATTRIBUTE_DIRECTORY)) throw FileError(kPathNotFound);
  return full;
}

std::u16string ExistingFolder(const PathText& text) {
  std::u16string full;
  try {
    full = FullPath(text);
  } catch (const vondrel::Error&) {
    throw FileError(kPathNotFound);
  }
  const DWORD attributes = AttributesOf(full);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) throw FileError(kPathNotFound);
  return full;
}

// The name a folder stores for the entry that `full` reaches (its case may
// differ from the name as written); nothing when there is no such entry.
bool StoredName(const std::u16string& full, std::u16string& name) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(Wide(full), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  name = FromWide(found.cFileName, wcslen(found.cFileName));
  return true;
}

// Writes a file's data through to the disk before it takes another name.
void Flush(const std::u16string& full) {
  HANDLE file = CreateFileW(Wide(full), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) ThrowLastError();
  const BOOL flushed = FlushFileBuffers(file);
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!flushed) throw ErrorFromWindowsCode(error);
}

bool SameFile(const std::u16string& a, const std::u16string& b) {
  const auto identity = [](const std::u16string& full, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE file = CreateFileW(Wide(full), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const BOOL ok = GetFileInformationByHandle(file, &info);
    CloseHandle(file);
    return ok != 0;
  };
  BY_HANDLE_FILE_INFORMATION first, second;
  return identity(a, first) && identity(b, second) && first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

bool LessIgnoringCase(const std::u16string& a, const std::u16string& b) {
  const int order = CompareStringOrdinal(Wide(a), static_cast<int>(a.size()), Wide(b), static_cast<int>(b.size()), TRUE);
  return order != CSTR_EQUAL ? order == CSTR_LESS_THAN : a < b;
}

}  // namespace

bool HostFileSystem::OrdinaryFileExists(const PathText& path) {
  try {
    const std::u16string full = FullPath(path);
    if (IsRoot(full)) return false;
    const DWORD attributes = AttributesOf(full);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & kNotOrdinary);
  } catch (const vondrel::Error&) {
    return false;
  }
}

void HostFileSystem::DeleteFile(const PathText& path) {
  const std::u16string full = FullPathInExistingFolder(path);
  const DWORD attributes = AttributesOf(full);
  if (attributes == INVALID_FILE_ATTRIBUTES) ThrowLastError();
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) throw FileError(kPathFileAccessError);
  if (!DeleteFileW(Wide(full))) ThrowLastError();
}

void HostFileSystem::RenameFile(const PathText& from, const PathText& to) {
  const std::u16string source = FullPathInExistingFolder(from);
  const std::u16string target = FullPathInExistingFolder(to);
  if (AttributesOf(source) == INVALID_FILE_ATTRIBUTES) ThrowLastError();
  // The system refuses a name that any entry answers to, except the source's
  // own in another case, which it gives the name as written.
  if (AttributesOf(target) != INVALID_FILE_ATTRIBUTES && !SameFile(source, target)) throw FileError(kFileAlreadyExists);
  if (!MoveFileExW(Wide(source), Wide(target), MOVEFILE_WRITE_THROUGH)) ThrowLastError();
}

void HostFileSystem::ReplaceFile(const PathText& from, const PathText& to) { Replace(from, to, nullptr); }

void HostFileSystem::ReplaceFileKeepingOld(const PathText& from, const PathText& to, const PathText& backup) {
  Replace(from, to, &backup);
}

void HostFileSystem::Replace(const PathText& from, const PathText& to, const PathText* backup) {
  const std::u16string source = FullPathInExistingFolder(from);
  std::u16string replaced = FullPathInExistingFolder(to);
  const DWORD source_attributes = AttributesOf(source);
  if (source_attributes == INVALID_FILE_ATTRIBUTES) ThrowLastError();
  if (source_attributes & FILE_ATTRIBUTE_DIRECTORY) throw FileError(kPathFileAccessError);
  const DWORD replaced_attributes = AttributesOf(replaced);
  const bool present = replaced_attributes != INVALID_FILE_ATTRIBUTES;
  // Windows refuses to replace a read-only file, but not every file system
  // it reaches does: refuse it here, before anything changes.
  if (present && (replaced_attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
    throw FileError(kPathFileAccessError);
  }
  if (present && SameFile(source, replaced)) return;  // already in place
  std::u16string stored;
  if (present && StoredName(replaced, stored)) replaced = FolderOf(replaced) + (IsRoot(FolderOf(replaced)) ? u"" : u"\\") + stored;
  std::u16string kept;
  if (backup && present) {
    kept = FullPathInExistingFolder(*backup);
    if (AttributesOf(kept) != INVALID_FILE_ATTRIBUTES) throw FileError(kFileAlreadyExists);
  }

  Flush(source);
  // The replaced file's attributes (archive, hidden, not indexed) pass to the new one.
  if (present && !SetFileAttributesW(Wide(source), replaced_attributes == 0 ? FILE_ATTRIBUTE_NORMAL : replaced_attributes)) {
    ThrowLastError();
  }
  if (!kept.empty() && !CreateHardLinkW(Wide(kept), Wide(replaced), nullptr)) {
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) throw FileError(kFileAlreadyExists);
    // A file system without hard links: the old file moves to the backup name.
    if (!MoveFileExW(Wide(replaced), Wide(kept), MOVEFILE_WRITE_THROUGH)) ThrowLastError();
  }
  if (!MoveFileExW(Wide(source), Wide(replaced), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) ThrowLastError();
}

PathText HostFileSystem::ResolveFolder(const PathText& folder) { return ExistingFolder(folder); }

void HostFileSystem::SetCurrentFolder(const PathText& folder) {
  const std::u16string full = ExistingFolder(folder);
  if (!SetCurrentDirectoryW(Wide(full))) ThrowLastError();
  // The drive's own current folder, where the C runtime and the system look
  // for it when a path names the drive alone ("C:", "C:name").
  const char16_t letter = FoldCase(full[0]);
  const std::u16string variable{u'=', letter, u':'};
  if (!SetEnvironmentVariableW(Wide(variable), Wide(full))) ThrowLastError();
}

std::vector<std::u16string> HostFileSystem::FolderEntries(const PathText& folder, bool folders) {
  const std::u16string full = ExistingFolder(folder);
  const std::u16string pattern = full + (full.back() == u'\\' ? u"*" : u"\\*");
  std::vector<std::u16string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileExW(Wide(pattern), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return names;
    ThrowLastError();
  }
  do {
    std::u16string name = FromWide(found.cFileName, wcslen(found.cFileName));
    if (name == u"." || name == u"..") continue;
    const DWORD attributes = found.dwFileAttributes;
    if (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
    if (((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == folders) names.push_back(std::move(name));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end(), LessIgnoringCase);
  return names;
}

std::vector<std::u16string> HostFileSystem::SubFolders(const PathText& folder) { return FolderEntries(folder, true); }

std::vector<std::u16string> HostFileSystem::OrdinaryFiles(const PathText& folder) { return FolderEntries(folder, false); }

PathText HostFileSystem::ProgramFolder() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) ThrowLastError();
    if (length < buffer.size()) return FolderOf(FromWide(buffer.data(), length));
    buffer.resize(buffer.size() * 2);
  }
}

fs::path HostFileSystem::HostPath(const PathText& path) {
  const std::u16string full = FullPathInExistingFolder(path);
  return fs::path(std::wstring(Wide(full), full.size()));
}

PathText HostFileSystem::ShowHostPath(const fs::path& host) const {
  const std::wstring text = host.wstring();
  std::u16string shown = FromWide(text.c_str(), text.size());
  std::replace(shown.begin(), shown.end(), u'/', u'\\');
  return shown;
}

}  // namespace vondrel::platform
