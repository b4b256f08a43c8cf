#pragma once
// The one error type that crosses every layer: a signed number and a
// description, as the platform, the file system or the database engine give them.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vondrel {

class Error : public std::runtime_error {
 public:
  Error(std::int32_t number, std::string description)
      : std::runtime_error(description), number_(number), description_(std::move(description)) {}

  std::int32_t number() const { return number_; }
  // UTF-8 text.
  const std::string& description() const { return description_; }

 private:
  std::int32_t number_;
  std::string description_;
};

}  // namespace vondrel
