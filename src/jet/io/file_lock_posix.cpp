#include "jet/io/file_lock.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "base/error.h"
#include "jet/io/error_numbers.h"

namespace jet::io {
namespace fs = std::filesystem;

namespace {

// Enough probes for every lock a busy Jet user can hold; past this, the file
// counts as in use rather than being searched forever.
constexpr int kMaxProbes = 4096;

[[noreturn]] void ThrowInUse(const fs::path& path) {
  throw vondrel::Error(errors::kFileInUse,
                       "Could not use '" + path.string() + "': another program has the file open.");
}

struct flock RangeLock(short type, long long start, long long length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(start);
  lock.l_len = static_cast<off_t>(length);
  lock.l_pid = 0;  // required for open-file-description locks
  return lock;
}

// Result of trying to take one lock.
enum class Taken { Yes, Conflict, Unsupported };

Taken TryLock(int fd, short type, long long start, long long length) {
  struct flock lock = RangeLock(type, start, length);
  if (::fcntl(fd, F_OFD_SETLK, &lock) == 0) return Taken::Yes;
  if (errno == EAGAIN || errno == EACCES) return Taken::Conflict;
  return Taken::Unsupported;  // a file system without record locks
}

// Whether another descriptor holds any lock on the file that a write lock
// would collide with; with `foreign_only`, only process-owned (classic POSIX)
// locks count, which is what other programs and Wine take, while our own
// engines hold descriptor-owned locks (reported with pid -1).
bool HoldsLocks(int fd, bool foreign_only) {
  // Intervals still to search: [start, end), end < 0 meaning "to infinity".
  std::vector<std::pair<long long, long long>> todo{{0, -1}};
  for (int probes = 0; !todo.empty(); ++probes) {
    if (probes >= kMaxProbes) return true;
    auto [start, end] = todo.back();
    todo.pop_back();
    struct flock probe = RangeLock(F_WRLCK, start, end < 0 ? 0 : end - start);
    if (::fcntl(fd, F_OFD_GETLK, &probe) != 0) return false;  // cannot tell: no locks to see
    if (probe.l_type == F_UNLCK) continue;
    if (!foreign_only || probe.l_pid != -1) return true;
    // One of our own engines: search around it.
    long long lock_start = probe.l_start;
    long long lock_end = probe.l_len == 0 ? -1 : probe.l_start + probe.l_len;
    if (lock_start > start) todo.emplace_back(start, lock_start);
    if (lock_end >= 0 && (end < 0 || lock_end < end)) todo.emplace_back(lock_end, end);
  }
  return false;
}

bool SameNameIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Whether a lock file "<base name>.ldb" beside the database (in any case) has
// a live lock on it. One left behind by a program that ended holds none. A
// folder that cannot be searched fails the check: another program may be
// using the file without this one being able to tell.
bool LockFileInUse(const fs::path& database) {
  std::string wanted = database.stem().string() + ".ldb";
  fs::path folder = database.parent_path().empty() ? fs::path(".") : database.parent_path();
  std::error_code ec;
  fs::directory_iterator it(folder, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    if (!SameNameIgnoringAsciiCase(it->path().filename().string(), wanted)) continue;
    int fd = ::open(it->path().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) continue;
    bool live = HoldsLocks(fd, false);
    ::close(fd);
    if (live) return true;
  }
  if (ec) {
    throw vondrel::Error(errors::kExclusivelyOpened, "Could not tell whether another program has '" + database.string() +
                                                         "' open: its folder cannot be searched for the lock file (" +
                                                         ec.message() + ").");
  }
  return false;
}

int OpenForLocking(const fs::path& path, LockIntent intent, bool& writable) {
  writable = false;
  if (intent == LockIntent::Compact) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
      writable = true;
      return fd;
    }
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd >= 0) return fd;
  if (errno == ENOENT || errno == ENOTDIR)
    throw vondrel::Error(errors::kFileNotFound, "The database file '" + path.string() + "' was not found.");
  throw vondrel::Error(errors::kExclusivelyOpened, "The database file '" + path.string() + "' cannot be opened.");
}

}  // namespace

DatabaseFileLock::~DatabaseFileLock() {
  if (held()) ::close(static_cast<int>(handle_));  // closing the descriptor releases its locks
}

DatabaseFileLock::DatabaseFileLock(DatabaseFileLock&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)) {}

DatabaseFileLock& DatabaseFileLock::operator=(DatabaseFileLock&& other) noexcept {
  if (this != &other) {
    if (held()) ::close(static_cast<int>(handle_));
    handle_ = std::exchange(other.handle_, kNoHandle);
  }
  return *this;
}

DatabaseFileLock DatabaseFileLock::Acquire(const fs::path& database, LockIntent intent) {
  bool writable = false;
  DatabaseFileLock lock(OpenForLocking(database, intent, writable));
  const int fd = static_cast<int>(lock.handle_);

  // Taking the user slots first closes the gap in which Jet could start
  // using the file between our look and our lock.
  if (TryLock(fd, F_RDLCK, kUserLockStart, kUserLockLength) == Taken::Conflict) ThrowInUse(database);
  if (intent == LockIntent::Compact) {
    // A read-only file cannot carry a write lock; it cannot be replaced
    // either, so a shared one will do.
    short type = writable ? F_WRLCK : F_RDLCK;
    if (TryLock(fd, type, kCompactLockByte, 1) == Taken::Conflict) ThrowInUse(database);
  }
  if (HoldsLocks(fd, true) || LockFileInUse(database)) ThrowInUse(database);
  return lock;
}

}  // namespace jet::io
