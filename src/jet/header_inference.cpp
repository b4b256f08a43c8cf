#include "jet/header_inference.h"

#include <cstring>
#include <vector>

#include "base/error.h"
#include "jet/catalog.h"
#include "jet/format/tdef_decode.h"
#include "jet/io/page_file.h"
#include "jet/io/rc4.h"

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
