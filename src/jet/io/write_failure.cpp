#include "jet/io/write_failure.h"

#include <cerrno>
#include <cstring>

#include "jet/io/error_numbers.h"

namespace jet::io {

void ThrowWriteFailure(int error_number, const std::string& what) {
  if (error_number == ENOSPC || error_number == EDQUOT)
    throw WriteFailure(errors::kDiskFull, "Not enough space on disk.");
  throw WriteFailure(errors::kDiskError,
                     "Disk or network error (" + what + ": " + std::strerror(error_number) + ").");
}

}  // namespace jet::io
