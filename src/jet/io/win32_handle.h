// Windows handles as the file classes keep them (an integer, so that their
// headers need not include <windows.h>), and byte offsets as the overlapped
// calls take them. Included by the *_win32.cpp files only.
#pragma once

#include <windows.h>

#include <cstdint>

namespace jet::io {

inline HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// An OVERLAPPED that addresses `offset` bytes from the start of the file.
inline OVERLAPPED OverlappedAt(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

}  // namespace jet::io
