#include "jet/io/page_file.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numeric>
#include <span>
#include <system_error>

#include "base/error.h"
#include "jet/io/rc4.h"

namespace jet::io {
namespace {

constexpr std::size_t kDefaultWindowBytes = std::size_t{1} << 20;
// Unpinned windows kept: a floor, and a share of the file, within a ceiling
// that leaves a 32-bit address space room for everything else.
constexpr std::uint64_t kWindowFloorBytes = std::uint64_t{4} << 20;
constexpr std::uint64_t kWindowShareDivisor = 64;
constexpr std::uint64_t kWindowCeilingBytes = std::uint64_t{96} << 20;
// A mapped file is also checked for having shrunk after this many bytes of windows were loaded.
constexpr std::uint64_t kShrinkCheckBytes = std::uint64_t{16} << 20;
// What a checking build leaves in a copied window it lets go.
constexpr std::uint8_t kReleasedFill = 0xDB;

}  // namespace

struct PageFile::Window {
  std::uint64_t index = 0;
  const std::uint8_t* data = nullptr;  // null: the slot is free
  std::size_t size = 0;
  std::unique_ptr<std::uint8_t[]> copy;  // decrypted or checking copies
  std::uint32_t pins = 0;
  std::uint64_t last_use = 0;
  std::uint64_t pinned_by = 0;  // the hold that pinned it last
};

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
  if (size < 0 || static_cast<std::uint64_t>(size) > std::vector<std::uint8_t>().max_size())
    throw vondrel::Error(errors::kExclusivelyOpened, "The database file '" + path.string() + "' cannot be read.");
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (!bytes.empty() && !in.read(reinterpret_cast<char*>(bytes.data()), size))
    throw vondrel::Error(errors::kExclusivelyOpened, "The database file '" + path.string() + "' cannot be read.");
  return bytes;
}

FileImage LoadFile(const std::filesystem::path& path) {
  FileImage image;
  image.mapped = MappedFile::Open(path);
  if (!image.mapped) image.bytes = ReadWholeFile(path);
  return image;
}

namespace {

std::vector<std::uint8_t> CopyFromImage(const FileImage& image, std::uint64_t length) {
  length = std::min(length, image.size());
  if (!image.mapped) return std::vector<std::uint8_t>(image.bytes.begin(), image.bytes.begin() + static_cast<std::ptrdiff_t>(length));
  if (length > std::vector<std::uint8_t>().max_size())
    throw vondrel::Error(errors::kExclusivelyOpened, "The database file is too large to be read into memory.");
  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(length));
  const std::size_t step = std::max(kDefaultWindowBytes / MappedFile::Granularity(), std::size_t{1}) * MappedFile::Granularity();
  for (std::uint64_t at = 0; at < length; at += step) {
    const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(step, length - at));
    const std::uint8_t* window = image.mapped->MapWindow(at, size);
    out.insert(out.end(), window, window + size);
    image.mapped->UnmapWindow(window, size, false);
  }
  return out;
}

}  // namespace

std::vector<std::uint8_t> FileImage::Head(std::size_t length) const { return CopyFromImage(*this, length); }

std::vector<std::uint8_t> FileImage::All() const { return CopyFromImage(*this, size()); }

ReadLimits ReadLimits::Default() {
  ReadLimits limits;
  const char* check = std::getenv("VONDREL_READ_CHECK");
  limits.checking = check != nullptr && check[0] == '1';
  return limits;
}

PageFile::PageFile(std::vector<std::uint8_t> bytes, std::size_t page_size, std::uint32_t database_key,
                   std::string name, ReadLimits limits)
    : PageFile(FileImage{std::move(bytes), nullptr}, page_size, database_key, std::move(name), limits) {}

PageFile::PageFile(FileImage image, std::size_t page_size, std::uint32_t database_key, std::string name,
                   ReadLimits limits)
    : image_(std::move(image)),
      page_size_(page_size),
      database_key_(database_key),
      name_(std::move(name)),
      file_size_(image_.size()),
      page_count_(static_cast<std::uint32_t>(file_size_ / page_size_)),
      windowed_(image_.mapped != nullptr || limits.checking),
      checking_(limits.checking) {
  if (database_key_ != 0 && !image_.mapped) {
    // Bytes in memory are decrypted in place; mapped windows are decrypted as they are loaded.
    for (std::uint64_t page = 1; page * page_size_ < file_size_; ++page) {
      const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(page_size_, file_size_ - page * page_size_));
      Rc4ApplyPageKey(database_key_, static_cast<std::uint32_t>(page),
                      std::span(image_.bytes.data() + page * page_size_, length));
    }
  }
  if (!windowed_) return;
  const std::size_t unit = std::lcm(page_size_, MappedFile::Granularity());
  if (checking_) {
    window_bytes_ = unit;
    max_windows_ = 1;
  } else {
    const std::size_t wanted = limits.window_bytes != 0 ? limits.window_bytes : kDefaultWindowBytes;
    window_bytes_ = std::max(unit, wanted / unit * unit);
    const std::uint64_t budget =
        std::min(kWindowCeilingBytes, kWindowFloorBytes + file_size_ / kWindowShareDivisor);
    max_windows_ = limits.windows != 0 ? limits.windows : static_cast<std::size_t>(std::max<std::uint64_t>(2, budget / window_bytes_));
  }
  slot_of_window_.assign(static_cast<std::size_t>((file_size_ + window_bytes_ - 1) / window_bytes_), -1);
}

PageFile::~PageFile() {
  for (Window& slot : slots_)
    if (slot.data) Release(slot);
}

std::size_t PageFile::windows_in_use() const { return in_use_; }

void PageFile::Load(Window& slot, std::uint64_t window) const {
  const std::uint64_t offset = window * window_bytes_;
  const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(window_bytes_, file_size_ - offset));
  slot.index = window;
  slot.size = size;
  slot.pins = 0;
  slot.pinned_by = 0;
  if (!image_.mapped) {  // checking copies of bytes in memory
    slot.copy = std::make_unique<std::uint8_t[]>(size);
    std::memcpy(slot.copy.get(), image_.bytes.data() + offset, size);
    slot.data = slot.copy.get();
  } else if (database_key_ == 0) {
    slot.data = image_.mapped->MapWindow(offset, size);
  } else {
    const std::uint8_t* mapped = image_.mapped->MapWindow(offset, size);
    slot.copy = std::make_unique<std::uint8_t[]>(size);
    std::memcpy(slot.copy.get(), mapped, size);
    image_.mapped->UnmapWindow(mapped, size, false);
    // The key stream of a page starts with its first byte, so what remains
    // of a cut last page decodes as far as it goes.
    for (std::size_t at = 0; at < size; at += page_size_) {
      const std::uint64_t page = (offset + at) / page_size_;
      if (page == 0) continue;
      Rc4ApplyPageKey(database_key_, static_cast<std::uint32_t>(page),
                      std::span(slot.copy.get() + at, std::min(page_size_, size - at)));
    }
    slot.data = slot.copy.get();
  }
  most_windows_ = std::max(most_windows_, ++in_use_);
}

void PageFile::Release(Window& slot) const {
  if (slot.copy) {
    if (checking_) std::memset(slot.copy.get(), kReleasedFill, slot.size);
    slot.copy.reset();
  } else {
    image_.mapped->UnmapWindow(slot.data, slot.size, checking_);
  }
  slot_of_window_[static_cast<std::size_t>(slot.index)] = -1;
  slot.data = nullptr;
  --in_use_;
}

void PageFile::MakeRoom() const {
  // Let go of the least recently used unpinned windows until one more fits.
  for (;;) {
    std::size_t unpinned = 0;
    Window* oldest = nullptr;
    for (Window& slot : slots_) {
      if (!slot.data || slot.pins != 0) continue;
      ++unpinned;
      if (!oldest || slot.last_use < oldest->last_use) oldest = &slot;
    }
    if (unpinned < max_windows_ || !oldest) return;
    Release(*oldest);
  }
}

PageFile::Window& PageFile::Acquire(std::uint64_t window) const {
  std::int32_t index = slot_of_window_[static_cast<std::size_t>(window)];
  if (index < 0) {
    MakeRoom();
    const auto free = std::find_if(slots_.begin(), slots_.end(), [](const Window& slot) { return !slot.data; });
    index = static_cast<std::int32_t>(free - slots_.begin());
    if (free == slots_.end()) slots_.emplace_back();
    Load(slots_[static_cast<std::size_t>(index)], window);
    slot_of_window_[static_cast<std::size_t>(window)] = index;
    if (image_.mapped && (loaded_bytes_ += window_bytes_) >= kShrinkCheckBytes) {
      loaded_bytes_ = 0;
      CheckUnchanged();
    }
  }
  Window& slot = slots_[static_cast<std::size_t>(index)];
  slot.last_use = ++clock_;
  if (hold_ != 0 && slot.pinned_by != hold_) {
    slot.pinned_by = hold_;
    ++slot.pins;
    pinned_.push_back(static_cast<std::size_t>(index));
  }
  return slot;
}

ByteView PageFile::View(std::uint32_t page, std::size_t length) const {
  const std::uint64_t offset = std::uint64_t{page} * page_size_;
  const ByteSource source{&name_, page};
  if (!windowed_) return ByteView(image_.bytes.data() + offset, length, source);
  if (image_.mapped && image_.mapped->read_past_end()) CheckUnchanged();
  const Window& slot = Acquire(offset / window_bytes_);
  return ByteView(slot.data + static_cast<std::size_t>(offset - slot.index * window_bytes_), length, source);
}

ByteView PageFile::Page(std::uint32_t page) const {
  if (page >= page_count_)
    ThrowCorrupt(ByteSource{&name_, page}, "the page lies beyond the end of the file (" +
                                                std::to_string(page_count_) + " pages)");
  return View(page, page_size_);
}

ByteView PageFile::PageOrPart(std::uint32_t page) const {
  if (page != page_count_ || !has_partial_page()) return Page(page);
  return View(page, static_cast<std::size_t>(file_size_ % page_size_));
}

ByteView PageFile::CopyPage(std::uint32_t page, std::vector<std::uint8_t>& out) const {
  if (!HasPageOrPart(page)) Page(page);  // throws, as PageOrPart() does
  const std::uint64_t offset = std::uint64_t{page} * page_size_;
  const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(page_size_, file_size_ - offset));
  out.resize(length);
  const ByteSource source{&name_, page};
  if (!image_.mapped) {  // bytes in memory, decrypted already
    std::memcpy(out.data(), image_.bytes.data() + offset, length);
    return ByteView(out.data(), length, source);
  }
  if (image_.mapped->ReadAt(offset, out.data(), length) != length)
    ThrowCorrupt(ByteSource{&name_, -1}, "the file was shortened by another program while it was being read");
  if (database_key_ != 0 && page != 0) Rc4ApplyPageKey(database_key_, page, std::span(out.data(), length));
  return ByteView(out.data(), length, source);
}

std::vector<std::uint8_t> PageFile::CopyBytes(std::uint64_t offset, std::size_t length) const {
  std::vector<std::uint8_t> out;
  const std::uint64_t end = std::min<std::uint64_t>(file_size_, offset + length);
  for (std::uint64_t at = offset; at < end;) {
    const auto page = static_cast<std::uint32_t>(at / page_size_);
    const ByteView bytes = PageOrPart(page);
    const std::size_t from = static_cast<std::size_t>(at - std::uint64_t{page} * page_size_);
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size() - from, end - at));
    out.insert(out.end(), bytes.data() + from, bytes.data() + from + take);
    at += take;
  }
  return out;
}

void PageFile::CheckUnchanged() const {
  if (image_.mapped && image_.mapped->vanished())
    ThrowCorrupt(ByteSource{&name_, -1}, "the file was shortened by another program while it was being read");
}

void PageFile::DropResident() const {
  for (Window& slot : slots_)
    if (slot.data && slot.pins == 0) Release(slot);
}

void PageFile::Unpin(std::size_t mark) const {
  for (std::size_t k = mark; k < pinned_.size(); ++k) --slots_[pinned_[k]].pins;
  pinned_.resize(mark);
}

ReadHold::ReadHold(const PageFile& file) : file_(file), outer_(file.hold_), mark_(file.pinned_.size()) {
  file.hold_ = ++file.next_hold_;
}

ReadHold::~ReadHold() {
  file_.Unpin(mark_);
  file_.hold_ = outer_;
}

}  // namespace jet::io
