#pragma once
// A read-only window on bytes of a database file. Every read checks its range;
// a read outside the window throws vondrel::Error 3049 naming the file and the
// page, so damaged input can never make the engine read out of bounds.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "jet/io/error_numbers.h"

namespace jet::io {

// Where the bytes come from, for error messages. The file name is borrowed and
// must outlive the views that carry it.
struct ByteSource {
  const std::string* file = nullptr;
  std::int64_t page = -1;  // -1 = not a page
};

// Throws error 3049 "<file>, page <n>: <message>".
[[noreturn]] void ThrowCorrupt(const ByteSource& source, const std::string& message);

class ByteView {
 public:
  ByteView() = default;
  ByteView(const std::uint8_t* data, std::size_t size, ByteSource source = {})
      : data_(data), size_(size), source_(source) {}

  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const ByteSource& source() const { return source_; }

  // True when [offset, offset + length) lies inside the view.
  bool Contains(std::size_t offset, std::size_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }
  // Throws 3049 mentioning `what` unless [offset, offset + length) is inside.
  void Require(std::size_t offset, std::size_t length, const char* what) const {
    if (!Contains(offset, length)) FailRange(offset, length, what);
  }

  std::uint8_t U8(std::size_t offset) const {
    Require(offset, 1, "byte");
    return data_[offset];
  }
  std::uint16_t U16(std::size_t offset) const {
    Require(offset, 2, "16-bit value");
    return static_cast<std::uint16_t>(data_[offset] | (data_[offset + 1] << 8));
  }
  std::uint32_t U24(std::size_t offset) const {
    Require(offset, 3, "24-bit value");
    return static_cast<std::uint32_t>(data_[offset]) | (static_cast<std::uint32_t>(data_[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(data_[offset + 2]) << 16);
  }
  std::uint32_t U32(std::size_t offset) const {
    Require(offset, 4, "32-bit value");
    return static_cast<std::uint32_t>(data_[offset]) | (static_cast<std::uint32_t>(data_[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(data_[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(data_[offset + 3]) << 24);
  }
  std::uint64_t U64(std::size_t offset) const {
    Require(offset, 8, "64-bit value");
    return static_cast<std::uint64_t>(U32(offset)) | (static_cast<std::uint64_t>(U32(offset + 4)) << 32);
  }
  std::int16_t I16(std::size_t offset) const { return static_cast<std::int16_t>(U16(offset)); }
  std::int32_t I32(std::size_t offset) const { return static_cast<std::int32_t>(U32(offset)); }
  std::int64_t I64(std::size_t offset) const { return static_cast<std::int64_t>(U64(offset)); }
  double F64(std::size_t offset) const {
    std::uint64_t bits = U64(offset);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  // The sub-window [offset, offset + length); throws when it does not fit.
  ByteView Sub(std::size_t offset, std::size_t length, const char* what = "range") const {
    Require(offset, length, what);
    return ByteView(data_ + offset, length, source_);
  }
  // From offset to the end.
  ByteView From(std::size_t offset, const char* what = "range") const {
    Require(offset, 0, what);
    return ByteView(data_ + offset, size_ - offset, source_);
  }

  [[noreturn]] void Fail(const std::string& message) const { ThrowCorrupt(source_, message); }

 private:
  [[noreturn]] void FailRange(std::size_t offset, std::size_t length, const char* what) const;

  const std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  ByteSource source_;
};

}  // namespace jet::io
