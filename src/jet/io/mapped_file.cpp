#include "jet/io/mapped_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <system_error>


namespace jet::io {
namespace {

// Live mappings, for the SIGBUS handler, which may only touch lock-free state.
constexpr int kGuardSlots = 64;
struct GuardSlot {
  std::atomic<bool> taken{false};
  std::atomic<std::uintptr_t> begin{0};
  std::atomic<std::uintptr_t> end{0};
  std::atomic<bool> vanished{false};
};
GuardSlot g_slots[kGuardSlots];
struct sigaction g_previous_bus_action;
std::uintptr_t g_system_page = 4096;

void RestorePreviousAndReturn() { sigaction(SIGBUS, &g_previous_bus_action, nullptr); }

void OnBusError(int signal, siginfo_t* info, void* context) {
  const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (GuardSlot& slot : g_slots) {
    if (address < slot.begin.load() || address >= slot.end.load()) continue;
    // The file is shorter than the mapping now: read zeros from here on.
    void* page = reinterpret_cast<void*>(address & ~(g_system_page - 1));
    if (mmap(page, g_system_page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED) break;
    slot.vanished.store(true);
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

int TakeSlot(const std::uint8_t* data, std::size_t size) {
  for (int i = 0; i < kGuardSlots; ++i) {
    bool expected = false;
    if (!g_slots[i].taken.compare_exchange_strong(expected, true)) continue;
    g_slots[i].vanished.store(false);
    g_slots[i].begin.store(reinterpret_cast<std::uintptr_t>(data));
    g_slots[i].end.store(reinterpret_cast<std::uintptr_t>(data) + size);
    return i;
  }
  return -1;
}

void ReleaseSlot(int i) {
  g_slots[i].begin.store(0);
  g_slots[i].end.store(0);
  g_slots[i].taken.store(false);
}

}  // namespace

std::unique_ptr<MappedFile> MappedFile::Map(const std::filesystem::path& path) {
  // Missing files, folders and unreadable files are left to the reading
  // fallback, which names the error.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0 || !InstallGuard()) {
    ::close(fd);
    return nullptr;
  }
  const auto size = static_cast<std::size_t>(status.st_size);
  void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  if (data == MAP_FAILED) {
    ::close(fd);
    return nullptr;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  const int slot = TakeSlot(bytes, size);
  if (slot < 0) {
    ::munmap(data, size);
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<MappedFile>(new MappedFile(fd, bytes, size, slot));
}

MappedFile::MappedFile(int fd, const std::uint8_t* data, std::size_t size, int slot)
    : fd_(fd), data_(data), size_(size), slot_(slot) {}

MappedFile::~MappedFile() {
  ReleaseSlot(slot_);
  ::munmap(const_cast<std::uint8_t*>(data_), size_);
  ::close(fd_);
}

void MappedFile::DropResident() const {
  ::madvise(const_cast<std::uint8_t*>(data_), size_, MADV_DONTNEED);
}

bool MappedFile::read_past_end() const { return g_slots[slot_].vanished.load(); }

bool MappedFile::vanished() const {
  if (read_past_end()) return true;
  struct stat status {};
  return ::fstat(fd_, &status) != 0 || static_cast<std::uint64_t>(status.st_size) < size_;
}

}  // namespace jet::io
