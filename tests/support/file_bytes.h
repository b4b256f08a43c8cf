#pragma once
// Whole files as bytes, for tests that damage, compare or build files.

#include <cstdint>
#include <filesystem>
#include <vector>

namespace vondrel::testing {

// Reads a whole file into memory (empty when it cannot be read).
std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path);
// Writes bytes to a file; false on failure.
bool WriteFileBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

}  // namespace vondrel::testing
