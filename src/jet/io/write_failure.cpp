#include "jet/io/write_failure.h"

#include <cerrno>
#include <cstring>

#include "jet/io/error_numbers.h"

namespace jet::io {
namespace {

// A full disk, or a full quota where the system has quotas (Windows reports
// both as a full disk).
bool OutOfSpace(int error_number) {
#ifdef EDQUOT
  if (error_number == EDQUOT) return true;
#endif
  return error_number == ENOSPC;
}

}  // namespace

void ThrowWriteFailure(int error_number, const std::string& what) {
  if (OutOfSpace(error_number))
    throw WriteFailure(errors::kDiskFull, "Not enough space on disk.");
  throw WriteFailure(errors::kDiskError,
                     "Disk or network error (" + what + ": " + std::strerror(error_number) + ").");
}

}  // namespace jet::io
