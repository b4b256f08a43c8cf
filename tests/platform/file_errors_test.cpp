#include "platform/file_errors.h"

#include <cerrno>
#include <set>

#include <gtest/gtest.h>

namespace vondrel::platform {
namespace {

TEST(FileErrors, HostFailuresGetTheRuntimesNumbers) {
  EXPECT_EQ(ErrorFromErrno(ENOENT, true).number(), kFileNotFound);
  EXPECT_EQ(ErrorFromErrno(ENOENT, false).number(), kPathNotFound);
  EXPECT_EQ(ErrorFromErrno(ENOTDIR, true).number(), kPathNotFound);
  EXPECT_EQ(ErrorFromErrno(EEXIST, true).number(), kFileAlreadyExists);
  EXPECT_EQ(ErrorFromErrno(EACCES, true).number(), kPermissionDenied);
  EXPECT_EQ(ErrorFromErrno(EPERM, true).number(), kPermissionDenied);
  EXPECT_EQ(ErrorFromErrno(EBUSY, true).number(), kPermissionDenied);
  EXPECT_EQ(ErrorFromErrno(EROFS, true).number(), kPathFileAccessError);
  EXPECT_EQ(ErrorFromErrno(EXDEV, true).number(), kPathFileAccessError);
  EXPECT_EQ(ErrorFromErrno(EIO, true).number(), kPathFileAccessError);
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
