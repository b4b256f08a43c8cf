#include "jet/io/page_file.h"

#include <fstream>
#include <span>
#include <system_error>

#include "base/error.h"
#include "jet/io/rc4.h"

namespace jet::io {

std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path) {
  std::error_code code;
  const bool exists = std::filesystem::exists(path, code);
  if (!exists && !code)
    throw vondrel::Error(errors::kFileNotFound, "The database file '" + path.string() + "' was not found.");
  if (std::filesystem::is_directory(path, code))
    throw vondrel::Error(errors::kExclusivelyOpened, "'" + path.string() + "' is a folder, not a database file.");
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw vondrel::Error(errors::kExclusivelyOpened, "The database file '" + path.string() + "' cannot be opened.");
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0)
    throw vondrel::Error(errors::kExclusivelyOpened, "The database file '" + path.string() + "' cannot be read.");
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (!bytes.empty() && !in.read(reinterpret_cast<char*>(bytes.data()), size))
    throw vondrel::Error(errors::kExclusivelyOpened, "The database file '" + path.string() + "' cannot be read.");
  return bytes;
}

PageFile::PageFile(std::vector<std::uint8_t> bytes, std::size_t page_size, std::uint32_t database_key,
                   std::string name)
    : bytes_(std::move(bytes)),
      page_size_(page_size),
      database_key_(database_key),
      name_(std::move(name)),
      file_size_(bytes_.size()),
      page_count_(static_cast<std::uint32_t>(bytes_.size() / page_size)) {
  if (database_key_ == 0) return;
  for (std::uint32_t page = 1; page < page_count_; ++page)
    Rc4ApplyPageKey(database_key_, page, std::span(bytes_.data() + std::size_t{page} * page_size_, page_size_));
}

ByteView PageFile::Page(std::uint32_t page) const {
  if (page >= page_count_)
    ThrowCorrupt(ByteSource{&name_, page}, "the page lies beyond the end of the file (" +
                                                std::to_string(page_count_) + " pages)");
  return ByteView(bytes_.data() + std::size_t{page} * page_size_, page_size_, ByteSource{&name_, page});
}

}  // namespace jet::io
