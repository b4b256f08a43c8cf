#include "jet/io/byte_view.h"

#include "base/error.h"

namespace jet::io {

void ThrowCorrupt(const ByteSource& source, const std::string& message) {
  std::string text = "The database ";
  text += source.file ? "'" + *source.file + "'" : std::string("file");
  text += " is damaged or unreadable";
  if (source.page >= 0) text += " (page " + std::to_string(source.page) + ")";
  text += ": " + message + ".";
  throw vondrel::Error(errors::kCorrupt, text);
}

void ByteView::FailRange(std::size_t offset, std::size_t length, const char* what) const {
  Fail(std::string(what) + " at offset " + std::to_string(offset) + " (length " + std::to_string(length) +
       ") lies outside the " + std::to_string(size_) + " bytes available");
}

}  // namespace jet::io
