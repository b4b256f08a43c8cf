#include "jet/io/mapped_file.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "base/error.h"
#include "jet/io/error_numbers.h"

namespace jet::io {

// Windows refuses to shorten a file while a view of it is mapped, so no
// guard against vanished pages is needed here.
struct MappedFile::Handle {
  HANDLE file = INVALID_HANDLE_VALUE;
  HANDLE mapping = nullptr;
};

std::size_t MappedFile::Granularity() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwAllocationGranularity;
}

std::unique_ptr<MappedFile> MappedFile::Open(const std::filesystem::path& path) {
  // Missing files, folders and unreadable files are left to the reading
  // fallback, which names the error.
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER size{};
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(file, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !GetFileSizeEx(file, &size) ||
      size.QuadPart <= 0) {
    CloseHandle(file);
    return nullptr;
  }
  const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) {
    CloseHandle(file);
    return nullptr;
  }
  auto handle = std::make_unique<Handle>();
  handle->file = file;
  handle->mapping = mapping;
  return std::unique_ptr<MappedFile>(new MappedFile(std::move(handle), static_cast<std::uint64_t>(size.QuadPart)));
}

MappedFile::MappedFile(std::unique_ptr<Handle> handle, std::uint64_t size) : handle_(std::move(handle)), size_(size) {}

MappedFile::~MappedFile() {
  CloseHandle(handle_->mapping);
  CloseHandle(handle_->file);
}

const std::uint8_t* MappedFile::MapWindow(std::uint64_t offset, std::size_t length) {
  void* view = MapViewOfFile(handle_->mapping, FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                             static_cast<DWORD>(offset & 0xFFFFFFFFu), length);
  if (view == nullptr)
    throw vondrel::Error(errors::kExclusivelyOpened, "Part of the database file cannot be mapped into memory.");
  return static_cast<const std::uint8_t*>(view);
}

void MappedFile::UnmapWindow(const std::uint8_t* data, std::size_t length, bool poison) {
  UnmapViewOfFile(data);
  // Checking builds keep the range reserved and inaccessible (best effort:
  // another allocation may have taken it in between).
  if (poison) VirtualAlloc(const_cast<std::uint8_t*>(data), length, MEM_RESERVE, PAGE_NOACCESS);
}

std::size_t MappedFile::ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t length) const {
  std::size_t done = 0;
  while (done < length) {
    const std::uint64_t at = offset + done;
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
    position.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD read = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(length - done, std::size_t{1} << 30));
    if (!ReadFile(handle_->file, data + done, chunk, &read, &position)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      throw vondrel::Error(errors::kExclusivelyOpened, "Part of the database file cannot be read.");
    }
    if (read == 0) break;
    done += read;
  }
  return done;
}

bool MappedFile::vanished() const {
  LARGE_INTEGER size{};
  return !GetFileSizeEx(handle_->file, &size) || static_cast<std::uint64_t>(size.QuadPart) < size_;
}

}  // namespace jet::io
