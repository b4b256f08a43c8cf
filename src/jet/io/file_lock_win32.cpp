#include "jet/io/file_lock.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

#include "base/error.h"
#include "jet/io/error_numbers.h"
#include "jet/io/win32_handle.h"

namespace jet::io {
namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kToTheEnd = ~std::uint64_t{0};

// Paths in messages as UTF-8, never through the ANSI code page.
std::string Shown(const fs::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

[[noreturn]] void ThrowInUse(const fs::path& path) {
  throw vondrel::Error(errors::kFileInUse,
                       "Could not use '" + Shown(path) + "': another program has the file open.");
}

// Result of trying to take one lock.
enum class Taken { Yes, Conflict, Unsupported };

Taken TryLock(HANDLE file, bool exclusive, std::uint64_t start, std::uint64_t length) {
  OVERLAPPED at = OverlappedAt(start);
  DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  if (LockFileEx(file, flags, 0, static_cast<DWORD>(length & 0xFFFFFFFFu), static_cast<DWORD>(length >> 32), &at))
    return Taken::Yes;
  DWORD error = GetLastError();
  if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return Taken::Conflict;
  return Taken::Unsupported;  // a file system without byte-range locks
}

void Unlock(HANDLE file, std::uint64_t start, std::uint64_t length) {
  OVERLAPPED at = OverlappedAt(start);
  UnlockFileEx(file, 0, static_cast<DWORD>(length & 0xFFFFFFFFu), static_cast<DWORD>(length >> 32), &at);
}

// Whether some other handle holds a lock in [start, start + length): an
// exclusive lock there is refused exactly when one does.
bool RangeLocked(HANDLE file, std::uint64_t start, std::uint64_t length) {
  Taken taken = TryLock(file, true, start, length);
  if (taken != Taken::Yes) return taken == Taken::Conflict;
  Unlock(file, start, length);
  return false;
}

HANDLE OpenShared(const fs::path& path, DWORD access) {
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Whether a program other than our engines has the database open: Jet's
// locks outside the user slots and the compaction byte (our engines take
// those two only, and the user slots are checked by taking them).
bool HoldsForeignLocks(const fs::path& database) {
  HANDLE probe = OpenShared(database, GENERIC_READ);
  if (probe == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  const std::uint64_t after_users = kUserLockStart + kUserLockLength;
  bool locked = RangeLocked(probe, 0, kCompactLockByte) || RangeLocked(probe, after_users, kToTheEnd - after_users);
  CloseHandle(probe);
  return locked;
}

bool SameNameIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// Whether a lock file "<base name>.ldb" beside the database (in any case) has
// a live lock on it, or is held open without sharing. One left behind by a
// program that ended holds none. A folder that cannot be searched fails the
// check: another program may be using the file without this one seeing it.
bool LockFileInUse(const fs::path& database) {
  std::wstring wanted = database.stem().wstring() + L".ldb";
  fs::path folder = database.parent_path().empty() ? fs::path(L".") : database.parent_path();
  std::error_code ec;
  fs::directory_iterator it(folder, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    if (!SameNameIgnoringCase(it->path().filename().wstring(), wanted)) continue;
    HANDLE file = OpenShared(it->path(), GENERIC_READ);
    if (file == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_SHARING_VIOLATION) return true;
      continue;
    }
    bool live = RangeLocked(file, 0, kToTheEnd);
    CloseHandle(file);
    if (live) return true;
  }
  if (ec) {
    throw vondrel::Error(errors::kExclusivelyOpened, "Could not tell whether another program has '" +
                                                         Shown(database) +
                                                         "' open: its folder cannot be searched for the lock file (" +
                                                         ec.message() + ").");
  }
  return false;
}

HANDLE OpenForLocking(const fs::path& path, LockIntent intent, bool& writable) {
  writable = false;
  if (intent == LockIntent::Compact) {
    HANDLE file = OpenShared(path, GENERIC_READ | GENERIC_WRITE);
    if (file != INVALID_HANDLE_VALUE) {
      writable = true;
      return file;
    }
  }
  HANDLE file = OpenShared(path, GENERIC_READ);
  if (file != INVALID_HANDLE_VALUE) return file;
  DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
    throw vondrel::Error(errors::kFileNotFound, "The database file '" + Shown(path) + "' was not found.");
  // A program that opened the file without sharing it has it in use.
  if (error == ERROR_SHARING_VIOLATION) ThrowInUse(path);
  throw vondrel::Error(errors::kExclusivelyOpened, "The database file '" + Shown(path) + "' cannot be opened.");
}

}  // namespace

DatabaseFileLock::~DatabaseFileLock() {
  if (held()) CloseHandle(AsHandle(handle_));  // closing the handle releases its locks
}

DatabaseFileLock::DatabaseFileLock(DatabaseFileLock&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)) {}

DatabaseFileLock& DatabaseFileLock::operator=(DatabaseFileLock&& other) noexcept {
  if (this != &other) {
    if (held()) CloseHandle(AsHandle(handle_));
    handle_ = std::exchange(other.handle_, kNoHandle);
  }
  return *this;
}

DatabaseFileLock DatabaseFileLock::Acquire(const fs::path& database, LockIntent intent) {
  bool writable = false;
  DatabaseFileLock lock(reinterpret_cast<std::intptr_t>(OpenForLocking(database, intent, writable)));
  HANDLE file = AsHandle(lock.handle_);

  // Taking the user slots first closes the gap in which Jet could start
  // using the file between our look and our lock.
  if (TryLock(file, false, kUserLockStart, kUserLockLength) == Taken::Conflict) ThrowInUse(database);
  if (intent == LockIntent::Compact) {
    // A read-only file cannot be replaced either, so a shared lock will do.
    if (TryLock(file, writable, kCompactLockByte, 1) == Taken::Conflict) ThrowInUse(database);
  }
  if (HoldsForeignLocks(database) || LockFileInUse(database)) ThrowInUse(database);
  return lock;
}

}  // namespace jet::io
