#include "platform/file_errors.h"

#include <cerrno>
#include <set>

#include <gtest/gtest.h>

namespace vondrel::platform {
namespace {

// The runtime's numbers: 53 "File not found", 58 "File already exists", 70
// "Permission denied", 75 "Path/File access error", 76 "Path not found".
TEST(FileErrors, HostFailuresGetTheRuntimesNumbers) {
  EXPECT_EQ(ErrorFromErrno(ENOENT, true).number(), 53);
  EXPECT_EQ(ErrorFromErrno(ENOENT, false).number(), 76);
  EXPECT_EQ(ErrorFromErrno(ENOTDIR, true).number(), 76);
  EXPECT_EQ(ErrorFromErrno(EEXIST, true).number(), 58);
  EXPECT_EQ(ErrorFromErrno(EACCES, true).number(), 70);
  EXPECT_EQ(ErrorFromErrno(EPERM, true).number(), 70);
  EXPECT_EQ(ErrorFromErrno(EBUSY, true).number(), 70);
  EXPECT_EQ(ErrorFromErrno(EROFS, true).number(), 75);
  EXPECT_EQ(ErrorFromErrno(EXDEV, true).number(), 75);
  EXPECT_EQ(ErrorFromErrno(EIO, true).number(), 75);
}

// GetLastError codes: 2 file not found, 3 path not found, 5 access denied,
// 15 invalid drive, 32 sharing violation, 80 file exists, 123 invalid name,
// 183 already exists, 1224 a file mapped by a view, 112 disk full.
TEST(FileErrors, WindowsFailuresGetTheRuntimesNumbers) {
  EXPECT_EQ(ErrorFromWindowsCode(2).number(), 53);
  EXPECT_EQ(ErrorFromWindowsCode(3).number(), 76);
  EXPECT_EQ(ErrorFromWindowsCode(15).number(), 76);
  EXPECT_EQ(ErrorFromWindowsCode(123).number(), 76);
  EXPECT_EQ(ErrorFromWindowsCode(80).number(), 58);
  EXPECT_EQ(ErrorFromWindowsCode(183).number(), 58);
  EXPECT_EQ(ErrorFromWindowsCode(5).number(), 70);
  EXPECT_EQ(ErrorFromWindowsCode(32).number(), 70);
  EXPECT_EQ(ErrorFromWindowsCode(1224).number(), 70);
  EXPECT_EQ(ErrorFromWindowsCode(112).number(), 75);
}

TEST(FileErrors, EveryNumberHasItsOwnDescription) {
  std::set<std::string> seen;
  for (auto number : {kFileNotFound, kFileAlreadyExists, kPermissionDenied, kPathFileAccessError, kPathNotFound}) {
    vondrel::Error error = FileError(number);
    EXPECT_EQ(error.number(), number);
    EXPECT_FALSE(error.description().empty());
    EXPECT_TRUE(seen.insert(error.description()).second) << error.description();
  }
}

}  // namespace
}  // namespace vondrel::platform
