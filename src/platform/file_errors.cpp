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

vondrel::Error ErrorFromErrno(int errnoValue, bool missingMeansFile) {
  switch (errnoValue) {
    case ENOENT: return FileError(missingMeansFile ? kFileNotFound : kPathNotFound);
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

}  // namespace vondrel::platform
