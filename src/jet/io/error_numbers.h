#pragma once
// The error numbers the engine reports, the same ones Jet gives for the same
// conditions, so callers and users can look them up.

#include <cstdint>

namespace jet::errors {

inline constexpr std::int32_t kFileNotFound = 3024;        // database file does not exist
inline constexpr std::int32_t kDiskFull = 3026;            // not enough space on disk
inline constexpr std::int32_t kInvalidPassword = 3031;     // password-protected database
inline constexpr std::int32_t kDiskError = 3043;           // disk or network error
inline constexpr std::int32_t kFileInUse = 3045;           // already in use / could not lock
inline constexpr std::int32_t kCorrupt = 3049;             // cannot open: damaged or not readable
inline constexpr std::int32_t kExclusivelyOpened = 3051;   // cannot open the file (locked or denied)
inline constexpr std::int32_t kAlreadyExists = 3204;       // destination database already exists
inline constexpr std::int32_t kItemNotFound = 3265;        // item not found in this collection
inline constexpr std::int32_t kUnrecognizedFormat = 3343;  // not a Jet 3 / Jet 4 database

}  // namespace jet::errors
