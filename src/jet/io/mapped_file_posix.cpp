#include "jet/io/mapped_file.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "jet/io/error_numbers.h"

namespace jet::io {
namespace {

// Live windows, for the SIGBUS handler, which may only touch lock-free state.
constexpr int kGuardSlots = 4096;
struct GuardSlot {
  std::atomic<bool> taken{false};
  std::atomic<std::uintptr_t> begin{0};
  std::atomic<std::uintptr_t> end{0};
  std::atomic<std::atomic<bool>*> vanished{nullptr};  // the owning file's mark
};
GuardSlot g_slots[kGuardSlots];
std::atomic<int> g_slots_used{0};  // slots at and above are untouched
struct sigaction g_previous_bus_action;
std::uintptr_t g_system_page = 4096;

void RestorePreviousAndReturn() { sigaction(SIGBUS, &g_previous_bus_action, nullptr); }

void OnBusError(int signal, siginfo_t* info, void* context) {
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (int i = 0, n = g_slots_used.load(); i < n; ++i) {
    GuardSlot& slot = g_slots[i];
    if (address < slot.begin.load() || address >= slot.end.load()) continue;
    // The file is shorter than the window now: read zeros from here on.
    void* page = reinterpret_cast<void*>(address & ~(g_system_page - 1));
    if (mmap(page, g_system_page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED) break;
    if (std::atomic<bool>* mark = slot.vanished.load()) mark->store(true);
    return;
  }
  // Not ours: behave as if this handler did not exist.
  if (g_previous_bus_action.sa_flags & SA_SIGINFO) {
    g_previous_bus_action.sa_sigaction(signal, info, context);
  } else if (g_previous_bus_action.sa_handler != SIG_DFL && g_previous_bus_action.sa_handler != SIG_IGN) {
    g_previous_bus_action.sa_handler(signal);
  } else {
    RestorePreviousAndReturn();  // the faulting access repeats and gets the default action
  }
}

bool InstallGuard() {
  static std::once_flag once;
  static bool installed = false;
  std::call_once(once, [] {
    const long page = sysconf(_SC_PAGESIZE);
    if (page > 0) g_system_page = static_cast<std::uintptr_t>(page);
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    installed = sigaction(SIGBUS, &action, &g_previous_bus_action) == 0;
  });
  return installed;
}

bool TakeSlot(const std::uint8_t* data, std::size_t size, std::atomic<bool>* mark) {
  for (int i = 0; i < kGuardSlots; ++i) {
    GuardSlot& slot = g_slots[i];
    bool expected = false;
    if (!slot.taken.compare_exchange_strong(expected, true)) continue;
    slot.vanished.store(mark);
    slot.begin.store(reinterpret_cast<std::uintptr_t>(data));
    slot.end.store(reinterpret_cast<std::uintptr_t>(data) + size);
    int used = g_slots_used.load();
    while (used < i + 1 && !g_slots_used.compare_exchange_weak(used, i + 1)) {
    }
    return true;
  }
  return false;
}

void ReleaseSlot(const std::uint8_t* data) {
  const auto begin = reinterpret_cast<std::uintptr_t>(data);
  for (int i = 0, n = g_slots_used.load(); i < n; ++i) {
    GuardSlot& slot = g_slots[i];
    if (!slot.taken.load() || slot.begin.load() != begin) continue;
    slot.begin.store(0);
    slot.end.store(0);
    slot.vanished.store(nullptr);
    slot.taken.store(false);
    return;
  }
}

// Reads do not update the file's access time where the owner may ask for
// that (O_NOATIME): a compaction reads tens of thousands of long-value pages
// one by one, and the access-time check took about 7% of the kernel's time
// for those reads.
int OpenForReading(const std::filesystem::path& path) {
#if defined(O_NOATIME)
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
  if (fd >= 0 || errno != EPERM) return fd;  // EPERM: not the file's owner
#endif
  return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

}  // namespace

struct MappedFile::Handle {
  int fd = -1;
  std::vector<std::pair<void*, std::size_t>> poisoned;  // reserved ranges, released on close
};

std::size_t MappedFile::Granularity() {
  InstallGuard();  // reads the system page size
  return static_cast<std::size_t>(g_system_page);
}

std::unique_ptr<MappedFile> MappedFile::Open(const std::filesystem::path& path) {
  // Missing files, folders and unreadable files are left to the reading
  // fallback, which names the error.
  const int fd = OpenForReading(path);
  if (fd < 0) return nullptr;
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0 || !InstallGuard()) {
    ::close(fd);
    return nullptr;
  }
  auto handle = std::make_unique<Handle>();
  handle->fd = fd;
  return std::unique_ptr<MappedFile>(new MappedFile(std::move(handle), static_cast<std::uint64_t>(status.st_size)));
}

MappedFile::MappedFile(std::unique_ptr<Handle> handle, std::uint64_t size) : handle_(std::move(handle)), size_(size) {}

MappedFile::~MappedFile() {
  for (const auto& [data, length] : handle_->poisoned) ::munmap(data, length);
  ::close(handle_->fd);
}

const std::uint8_t* MappedFile::MapWindow(std::uint64_t offset, std::size_t length) {
  void* data = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE, handle_->fd, static_cast<off_t>(offset));
  if (data == MAP_FAILED)
    throw vondrel::Error(errors::kExclusivelyOpened, "Part of the database file cannot be mapped into memory.");
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  if (!TakeSlot(bytes, length, &vanished_)) {
    ::munmap(data, length);
    throw vondrel::Error(errors::kExclusivelyOpened, "Too many parts of database files are mapped at once.");
  }
  return bytes;
}

void MappedFile::UnmapWindow(const std::uint8_t* data, std::size_t length, bool poison) {
  ReleaseSlot(data);
  void* address = const_cast<std::uint8_t*>(data);
  if (poison && ::mmap(address, length, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED | MAP_NORESERVE, -1, 0) !=
                    MAP_FAILED) {
    handle_->poisoned.emplace_back(address, length);
    return;
  }
  ::munmap(address, length);
}

std::size_t MappedFile::ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t length) const {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t n = ::pread(handle_->fd, data + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw vondrel::Error(errors::kExclusivelyOpened, "Part of the database file cannot be read.");
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool MappedFile::vanished() const {
  if (read_past_end()) return true;
  struct stat status {};
  return ::fstat(handle_->fd, &status) != 0 || static_cast<std::uint64_t>(status.st_size) < size_;
}

}  // namespace jet::io
