#include "jet/read/header_inference.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "base/error.h"
#include "jet/format/tdef_decode.h"
#include "jet/io/page_file.h"
#include "jet/io/rc4.h"
#include "jet/read/catalog.h"

namespace jet {
namespace {

constexpr std::uint16_t kDefaultCodePage = 1252;
constexpr std::uint16_t kDefaultSortOrder = 1033;  // "General"

bool NameAt(std::span<const std::uint8_t> bytes, const char* name) {
  const std::size_t length = std::strlen(name);
  return bytes.size() >= 4 + length + 1 && std::memcmp(bytes.data() + 4, name, length) == 0 && bytes[4 + length] == 0;
}

// Page 1 is a data page (the global usage map) and page 2 a table
// definition page with the layout of this version.
bool LayoutFits(std::span<const std::uint8_t> file, FormatVersion version) {
  const std::size_t size = ConstantsFor(version).page_size;
  if (file.size() < 3 * size) return false;
  const std::uint8_t* page1 = file.data() + size;
  const std::uint8_t* page2 = file.data() + 2 * size;
  if (page1[0] != 0x01 || page1[1] != 0x01) return false;
  if (page2[0] != 0x02 || page2[1] != 0x01) return false;
  if (version == FormatVersion::Jet3) return page2[2] == 'V' && page2[3] == 'C';
  // Jet 4 data pages carry four zero bytes after the owner.
  return page1[8] == 0 && page1[9] == 0 && page1[10] == 0 && page1[11] == 0;
}

}  // namespace

bool HeaderNamesOtherFormat(std::span<const std::uint8_t> file) {
  if (NameAt(file, "Standard ACE DB") || NameAt(file, "MSISAM Database")) return true;
  return NameAt(file, "Standard Jet DB") && file.size() > kHeaderVersionOffset && file[kHeaderVersionOffset] > 0x01;
}

bool CatalogPageLooksRight(std::span<const std::uint8_t> file, const DatabaseHeader& header) {
  const std::size_t size = header.constants().page_size;
  if (file.size() < 3 * size) return false;
  std::vector<std::uint8_t> page(file.begin() + 2 * size, file.begin() + 3 * size);
  if (header.database_key != 0) io::Rc4ApplyPageKey(header.database_key, kCatalogTdefPage, page);
  return page[0] == 0x02 && page[1] == 0x01;
}

bool CatalogReadsWith(std::span<const std::uint8_t> file, const DatabaseHeader& header, const std::string& name) {
  const std::size_t size = header.constants().page_size;
  if (file.size() < 3 * size) return false;
  try {
    io::PageFile pages(std::vector<std::uint8_t>(file.begin(), file.end()), size, header.database_key, name);
    ReadTableDefinition(pages, header.version, header.code_page, kCatalogTdefPage);
    return true;
  } catch (const vondrel::Error&) {
    return false;
  }
}

std::optional<DatabaseHeader> FindDisplacedHeader(std::span<const std::uint8_t> file, const std::string& name) {
  constexpr std::size_t kSmallestPage = 2048;
  // Each candidate costs a read of the catalog; a file full of header copies
  // is not worth more than a few.
  constexpr int kMaxCandidates = 4;
  int candidates = 0;
  for (std::size_t start = kSmallestPage; start + kSmallestPage <= file.size(); start += kSmallestPage) {
    const std::span<const std::uint8_t> page = file.subspan(start);
    if (page[0] != 0x00 || page[1] != 0x01 || !NameAt(page, "Standard Jet DB")) continue;
    if (++candidates > kMaxCandidates) break;
    try {
      DatabaseHeader header = DecodeHeader(page, name);
      if (start % header.constants().page_size != 0) continue;
      if (CatalogPageLooksRight(file, header) && CatalogReadsWith(file, header, name)) return header;
    } catch (const vondrel::Error&) {
    }
  }
  return std::nullopt;
}

namespace {

// The Jet 4 password mask: the whole days of the creation date, as four bytes.
std::uint32_t DayMask(double date) {
  const double days = std::floor(date);
  if (!std::isfinite(days) || days <= -2147483648.0 || days >= 2147483647.0) return 0;
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(days));
}

bool AllZero(const std::vector<std::uint8_t>& bytes) {
  for (std::uint8_t b : bytes)
    if (b != 0) return false;
  return true;
}

// A real password starts with a character: its first unit (a byte in Jet 3,
// two in Jet 4) is not zero.
bool StartsWithCharacter(const std::vector<std::uint8_t>& field, std::size_t unit) {
  for (std::size_t k = 0; k < unit && k < field.size(); ++k)
    if (field[k] != 0) return true;
  return false;
}

std::vector<std::uint8_t> Unmasked(const std::vector<std::uint8_t>& stored, std::uint32_t mask) {
  std::vector<std::uint8_t> field(stored);
  for (std::size_t k = 0; k < field.size(); ++k) field[k] ^= static_cast<std::uint8_t>(mask >> (8 * (k % 4)));
  return field;
}

}  // namespace

std::optional<std::string> RepairPasswordField(DatabaseHeader& header) {
  if (!header.has_password) return std::nullopt;
  const std::size_t length = header.constants().password_length;
  std::vector<std::uint8_t>& page = header.unmasked_page;
  if (page.size() < kHeaderJet4CreationDateOffset + 8 || page.size() < kHeaderPasswordOffset + length)
    return std::nullopt;
  const std::vector<std::uint8_t> stored(page.begin() + kHeaderPasswordOffset,
                                         page.begin() + static_cast<std::ptrdiff_t>(kHeaderPasswordOffset + length));
  std::string what;
  if (header.version == FormatVersion::Jet3) {
    if (StartsWithCharacter(stored, 1)) return std::nullopt;
    what = "its password field held stray bits after an empty first character and was cleared";
    std::fill(page.begin() + kHeaderPasswordOffset, page.begin() + static_cast<std::ptrdiff_t>(kHeaderPasswordOffset + length), 0);
  } else {
    const std::uint32_t date_mask = DayMask(header.creation_date);
    if (StartsWithCharacter(Unmasked(stored, date_mask), 2)) {
      // An empty field is the mask alone, four bytes over and over: when most
      // of the field repeats four bytes that the date does not give, the
      // date was damaged.
      std::map<std::uint32_t, int> groups;
      for (std::size_t k = 0; k + 4 <= stored.size(); k += 4)
        ++groups[std::uint32_t{stored[k]} | std::uint32_t{stored[k + 1]} << 8 | std::uint32_t{stored[k + 2]} << 16 |
                 std::uint32_t{stored[k + 3]} << 24];
      const auto common = std::max_element(groups.begin(), groups.end(),
                                           [](const auto& a, const auto& b) { return a.second < b.second; });
      if (common->first == date_mask || 2 * common->second <= static_cast<int>(stored.size() / 4)) return std::nullopt;
      const std::vector<std::uint8_t> field = Unmasked(stored, common->first);
      if (!AllZero(field)) return std::nullopt;  // a password, read with the mask the field shows
      // The mask keeps the whole days (as an Int32) the date had.
      const double fraction = std::isfinite(header.creation_date)
                                  ? header.creation_date - std::floor(header.creation_date) : 0.0;
      header.creation_date = static_cast<double>(static_cast<std::int32_t>(common->first)) + fraction;
      std::uint64_t bits;
      std::memcpy(&bits, &header.creation_date, 8);
      for (int i = 0; i < 8; ++i) page[kHeaderJet4CreationDateOffset + i] = static_cast<std::uint8_t>(bits >> (8 * i));
      what = "its creation date was damaged and was mended from the password mask";
    } else {
      what = "its password field held stray bits after an empty first character and was cleared";
    }
    const std::uint32_t mask = DayMask(header.creation_date);
    for (std::size_t k = 0; k < length; ++k)
      page[kHeaderPasswordOffset + k] = static_cast<std::uint8_t>(mask >> (8 * (k % 4)));
  }
  header.has_password = false;
  return what;
}

std::optional<DatabaseHeader> InferHeader(std::span<const std::uint8_t> file, const std::string& name) {
  for (const FormatVersion version : {FormatVersion::Jet4, FormatVersion::Jet3}) {
    if (!LayoutFits(file, version)) continue;
    DatabaseHeader header;
    header.version = version;
    header.version_byte = version == FormatVersion::Jet3 ? 0x00 : 0x01;
    header.code_page = kDefaultCodePage;
    header.sort_order = kDefaultSortOrder;
    header.sort_order_version = 0;
    header.database_key = 0;
    if (CatalogReadsWith(file, header, name)) return header;
  }
  return std::nullopt;
}

}  // namespace jet
