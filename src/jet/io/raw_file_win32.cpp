#include "jet/io/raw_file.h"

#include <windows.h>

#include <cerrno>
#include <algorithm>
#include <utility>

#include "jet/io/win32_handle.h"

namespace jet::io {
namespace {

// The C library's number for the last Windows error.
void SetErrno() {
  switch (GetLastError()) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: errno = ENOSPC; break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: errno = EEXIST; break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: errno = EACCES; break;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: errno = ENOENT; break;
    default: errno = EIO; break;
  }
}

}  // namespace

RawFile::~RawFile() { Close(); }

RawFile::RawFile(RawFile&& other) noexcept : handle_(std::exchange(other.handle_, kClosed)) {}

RawFile& RawFile::operator=(RawFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kClosed);
  }
  return *this;
}

RawFile RawFile::CreateNew(const std::filesystem::path& path) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    SetErrno();
    return RawFile();
  }
  return RawFile(reinterpret_cast<std::intptr_t>(file));
}

RawFile RawFile::CreateTemporary() {
  // The user's temporary folder (msvcrt's tmpfile() would use the drive root).
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) {
    SetErrno();
    return RawFile();
  }
  wchar_t name[MAX_PATH + 1];
  if (GetTempFileNameW(folder, L"vdx", 0, name) == 0) {
    SetErrno();
    return RawFile();
  }
  const HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    SetErrno();
    DeleteFileW(name);
    return RawFile();
  }
  return RawFile(reinterpret_cast<std::intptr_t>(file));
}

bool RawFile::WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, std::size_t{1} << 30));
    OVERLAPPED at = OverlappedAt(offset);
    DWORD written = 0;
    if (!WriteFile(AsHandle(handle_), data, chunk, &written, &at)) {
      SetErrno();
      return false;
    }
    if (written == 0) {
      errno = EIO;
      return false;
    }
    data += written;
    size -= written;
    offset += written;
  }
  return true;
}

std::ptrdiff_t RawFile::ReadAt(std::uint64_t offset, std::uint8_t* data, std::size_t size) const {
  const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, std::size_t{1} << 30));
  OVERLAPPED at = OverlappedAt(offset);
  DWORD read = 0;
  if (!ReadFile(AsHandle(handle_), data, chunk, &read, &at)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    SetErrno();
    return -1;
  }
  return static_cast<std::ptrdiff_t>(read);
}

bool RawFile::Flush() {
  if (FlushFileBuffers(AsHandle(handle_))) return true;
  SetErrno();
  return false;
}

void RawFile::StartWriteBack(std::uint64_t, std::size_t) {}  // Windows writes back on its own schedule

// Unbuffered writes are chosen when a file is opened on Windows, not later:
// writes stay cached.
bool RawFile::WriteDirect() { return false; }

bool RawFile::Resize(std::uint64_t size) {
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  if (SetFilePointerEx(AsHandle(handle_), end, nullptr, FILE_BEGIN) && SetEndOfFile(AsHandle(handle_))) return true;
  SetErrno();
  return false;
}

bool RawFile::Close() {
  if (handle_ == kClosed) return true;
  if (CloseHandle(AsHandle(std::exchange(handle_, kClosed)))) return true;
  SetErrno();
  return false;
}

}  // namespace jet::io
