#include "platform/file_errors.h"

#include <cerrno>

namespace vondrel::platform {

vondrel::Error FileError(FileErrorNumber number) {
  switch (number) {
    case kFileNotFound: return {number, "The file does not exist"};
    case kFileAlreadyExists: return {number, "A file of that name is already there"};
    case kPermissionDenied: return {number, "Access to the file was refused"};
    case kPathNotFound: return {number, "The folder does not exist"};
    case kPathFileAccessError: break;
  }
  return {kPathFileAccessError, "The file or folder could not be used"};
}

vondrel::Error ErrorFromErrno(int errno_value, bool missing_means_file) {
  switch (errno_value) {
    case ENOENT: return FileError(missing_means_file ? kFileNotFound : kPathNotFound);
    case ENOTDIR: return FileError(kPathNotFound);
    case EEXIST:
    case ENOTEMPTY: return FileError(kFileAlreadyExists);
    case EACCES:
    case EPERM:
    case EBUSY:
    case ETXTBSY: return FileError(kPermissionDenied);
    default: return FileError(kPathFileAccessError);
  }
}

vondrel::Error ErrorFromWindowsCode(std::uint32_t code) {
  // The codes of winerror.h, by number, so that every platform can map them.
  enum : std::uint32_t {
    kFileNotFoundCode = 2,
    kPathNotFoundCode = 3,
    kAccessDenied = 5,
    kInvalidDrive = 15,
    kWriteProtect = 19,
    kSharingViolation = 32,
    kLockViolation = 33,
    kBadNetPath = 53,
    kFileExists = 80,
    kInvalidName = 123,
    kDirNotEmpty = 145,
    kAlreadyExists = 183,
    kUserMappedFile = 1224,
  };
  switch (code) {
    case kFileNotFoundCode: return FileError(kFileNotFound);
    case kPathNotFoundCode:
    case kInvalidDrive:
    case kBadNetPath:
    case kInvalidName: return FileError(kPathNotFound);
    case kFileExists:
    case kAlreadyExists:
    case kDirNotEmpty: return FileError(kFileAlreadyExists);
    case kAccessDenied:
    case kWriteProtect:
    case kSharingViolation:
    case kLockViolation:
    case kUserMappedFile: return FileError(kPermissionDenied);
    default: return FileError(kPathFileAccessError);
  }
}

}  // namespace vondrel::platform
