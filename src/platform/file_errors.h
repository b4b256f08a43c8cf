#pragma once
// The file-system errors, numbered as the original platform's language
// runtime numbers them, so that a message shows the number a user of the
// original program would see.

#include <cstdint>

#include "base/error.h"

namespace vondrel::platform {

enum FileErrorNumber : std::int32_t {
  kFileNotFound = 53,
  kFileAlreadyExists = 58,
  kPermissionDenied = 70,
  kPathFileAccessError = 75,
  kPathNotFound = 76,
};

vondrel::Error FileError(FileErrorNumber number);

// The error for a failed host call; `missingMeansFile` chooses between "file
// not found" and "path not found" for ENOENT.
vondrel::Error ErrorFromErrno(int errno_value, bool missing_means_file);

// The error for a failed Win32 call, from its GetLastError code.
vondrel::Error ErrorFromWindowsCode(std::uint32_t code);

}  // namespace vondrel::platform
