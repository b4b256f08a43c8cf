#pragma once
// Keeping two programs from working on one database at once, with the locks
// Jet itself uses. A program that has a database open holds byte-range locks
// far beyond the end of the file (one byte per user in 0x10000001-0x100000FF,
// further regions for pages and commits) and, when shared, locks on the lock
// file "<base name>.ldb" beside it.
//
// On POSIX systems our engine holds open-file-description locks
// (F_OFD_SETLK); programs under Wine take POSIX record locks, which can be
// seen from here. On Windows it holds LockFileEx locks on the same ranges.
// Either kind belongs to the open file, not to the process, so closing some
// other handle of the same file does not drop them, and two engines in one
// process exclude each other just as two processes do.

#include <cstdint>
#include <filesystem>

namespace jet::io {

enum class LockIntent {
  // Reading: shared with other readers, keeps Jet out (all user slots taken).
  Read,
  // Compacting the file: as Read, and exclusive against another compaction.
  Compact,
};

// The user-lock range and the byte our compactions hold.
inline constexpr long long kUserLockStart = 0x10000001;
inline constexpr long long kUserLockLength = 0xFF;
inline constexpr long long kCompactLockByte = 0x10000000;

class DatabaseFileLock {
 public:
  DatabaseFileLock() = default;
  ~DatabaseFileLock();
  DatabaseFileLock(DatabaseFileLock&& other) noexcept;
  DatabaseFileLock& operator=(DatabaseFileLock&& other) noexcept;
  DatabaseFileLock(const DatabaseFileLock&) = delete;
  DatabaseFileLock& operator=(const DatabaseFileLock&) = delete;

  // Takes the locks for `intent` on `database`. Fails with 3045 (file already
  // in use) when another program has the file open: a live lock on its .ldb,
  // a record lock of another process on the file, or one of our own locks
  // that conflicts with `intent`; with 3024 when the file is missing and 3051
  // when it cannot be opened or its folder cannot be searched for the lock file.
  static DatabaseFileLock Acquire(const std::filesystem::path& database, LockIntent intent);

  bool held() const { return handle_ != kNoHandle; }

 private:
  // A descriptor on POSIX systems, a HANDLE on Windows; -1 is neither.
  static constexpr std::intptr_t kNoHandle = -1;
  explicit DatabaseFileLock(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_ = kNoHandle;
};

}  // namespace jet::io
