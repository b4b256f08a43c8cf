#pragma once
// A failure of the disk under a file being written: no space left, or a
// device that refuses a write or a flush. It is not damage in what was read,
// so a compaction that meets one fails with it rather than salvaging.

#include <string>

#include "base/error.h"

namespace jet::io {

class WriteFailure : public vondrel::Error {
 public:
  using vondrel::Error::Error;
};

// Throws WriteFailure for the C library's error `error_number` met while
// doing `what`: 3026 when the disk is full, else 3043.
[[noreturn]] void ThrowWriteFailure(int error_number, const std::string& what);

}  // namespace jet::io
