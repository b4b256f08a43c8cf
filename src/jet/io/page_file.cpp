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

FileImage LoadFile(const std::filesystem::path& path) {
  FileImage image;
  image.mapped = MappedFile::Map(path);
  if (!image.mapped) image.bytes = ReadWholeFile(path);
  return image;
}

PageFile::PageFile(std::vector<std::uint8_t> bytes, std::size_t page_size, std::uint32_t database_key,
                   std::string name)
    : PageFile(FileImage{std::move(bytes), nullptr}, page_size, database_key, std::move(name)) {}

PageFile::PageFile(FileImage image, std::size_t page_size, std::uint32_t database_key, std::string name)
    : image_(std::move(image)), page_size_(page_size), database_key_(database_key), name_(std::move(name)) {
  if (database_key_ != 0 && image_.mapped) {
    // Decryption needs a private copy; encoded files are not held to the memory bound.
    const std::span<const std::uint8_t> mapped = image_.mapped->bytes();
    image_.bytes.assign(mapped.begin(), mapped.end());
    image_.mapped.reset();
  }
  const std::span<const std::uint8_t> view = image_.view();
  data_ = view.data();
  file_size_ = view.size();
  page_count_ = static_cast<std::uint32_t>(view.size() / page_size_);
  if (image_.mapped) touched_.assign(page_count_, false);
  if (database_key_ == 0) return;
  for (std::uint32_t page = 1; page < page_count_; ++page)
    Rc4ApplyPageKey(database_key_, page,
                    std::span(image_.bytes.data() + std::size_t{page} * page_size_, page_size_));
  // The key stream of a page starts with its first byte, so what remains of
  // a cut last page decodes as far as it goes.
  const std::size_t tail = static_cast<std::size_t>(file_size_ % page_size_);
  if (tail != 0 && page_count_ >= 1)
    Rc4ApplyPageKey(database_key_, page_count_,
                    std::span(image_.bytes.data() + std::size_t{page_count_} * page_size_, tail));
}

void PageFile::NotePageRead(std::uint32_t page) const {
  if (touched_[page]) return;
  touched_[page] = true;
  if (++touched_count_ * page_size_ <= kResidentWindowBytes) return;
  // A window's worth of pages read: give them all back (hot pages simply
  // fault in again), and look out for a file that shrank meanwhile.
  CheckUnchanged();
  DropResident();
}

ByteView PageFile::Page(std::uint32_t page) const {
  if (page >= page_count_)
    ThrowCorrupt(ByteSource{&name_, page}, "the page lies beyond the end of the file (" +
                                                std::to_string(page_count_) + " pages)");
  if (image_.mapped) {
    if (image_.mapped->read_past_end()) CheckUnchanged();
    NotePageRead(page);
  }
  return ByteView(data_ + std::size_t{page} * page_size_, page_size_, ByteSource{&name_, page});
}

ByteView PageFile::PageOrPart(std::uint32_t page) const {
  if (page != page_count_ || !has_partial_page()) return Page(page);
  if (image_.mapped && image_.mapped->read_past_end()) CheckUnchanged();
  const std::size_t tail = static_cast<std::size_t>(file_size_ % page_size_);
  return ByteView(data_ + std::size_t{page} * page_size_, tail, ByteSource{&name_, page});
}

void PageFile::CheckUnchanged() const {
  if (image_.mapped && image_.mapped->vanished())
    ThrowCorrupt(ByteSource{&name_, -1}, "the file was shortened by another program while it was being read");
}

void PageFile::DropResident() const {
  if (!image_.mapped) return;
  image_.mapped->DropResident();
  touched_.assign(touched_.size(), false);
  touched_count_ = 0;
}

}  // namespace jet::io
