#include "jet/format/header_decode.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/error.h"
#include "jet/io/rc4.h"

namespace jet {
namespace {

constexpr std::uint8_t kHeaderMaskKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
constexpr char kJetEngineName[] = "Standard Jet DB";
constexpr char kAceEngineName[] = "Standard ACE DB";
constexpr char kMsisamEngineName[] = "MSISAM Database";

[[noreturn]] void Unrecognized(const std::string& file, const std::string& why) {
  throw vondrel::Error(errors::kUnrecognizedFormat,
                       "'" + file + "' is not a database in a recognized format: " + why + ".");
}

bool NameAt(std::span<const std::uint8_t> bytes, const char* name) {
  const std::size_t length = std::strlen(name);
  return bytes.size() >= 4 + length + 1 && std::memcmp(bytes.data() + 4, name, length) == 0 &&
         bytes[4 + length] == 0;
}

bool PasswordSet(const DatabaseHeader& header, const io::ByteView& page) {
  const auto& constants = header.constants();
  const std::size_t length = constants.password_length;
  if (header.version == FormatVersion::Jet3) {
    for (std::size_t k = 0; k < length; ++k)
      if (page.U8(kHeaderPasswordOffset + k) != 0) return true;
    return false;
  }
  // Jet 4 masks the password with the whole days of the creation date.
  double days = std::floor(header.creation_date);
  std::int32_t whole = 0;
  if (std::isfinite(days) && days > -2147483648.0 && days < 2147483647.0) whole = static_cast<std::int32_t>(days);
  const auto mask_value = static_cast<std::uint32_t>(whole);
  for (std::size_t k = 0; k < length; ++k) {
    const auto mask = static_cast<std::uint8_t>(mask_value >> (8 * (k % 4)));
    if ((page.U8(kHeaderPasswordOffset + k) ^ mask) != 0) return true;
  }
  return false;
}

}  // namespace

void ApplyHeaderMask(FormatVersion version, std::span<std::uint8_t> page) {
  if (page.size() <= kHeaderMaskOffset) return;
  const std::size_t length =
      std::min(ConstantsFor(version).header_mask_length, page.size() - kHeaderMaskOffset);
  io::Rc4Apply(kHeaderMaskKey, page.subspan(kHeaderMaskOffset, length));
}

DatabaseHeader DecodeHeader(std::span<const std::uint8_t> file_start, const std::string& file_name) {
  if (file_start.size() < 0x100) Unrecognized(file_name, "the file is too short to hold a database header");
  if (file_start[0] != 0x00 || file_start[1] != 0x01)
    Unrecognized(file_name, "the file does not start with a database header");
  if (NameAt(file_start, kAceEngineName))
    Unrecognized(file_name, "it is an ACE (Access 2007 or later) database");
  if (NameAt(file_start, kMsisamEngineName)) Unrecognized(file_name, "it is an MSISAM database");
  if (!NameAt(file_start, kJetEngineName)) Unrecognized(file_name, "the engine name is not that of Jet");

  DatabaseHeader header;
  header.version_byte = file_start[kHeaderVersionOffset];
  if (header.version_byte == 0x00)
    header.version = FormatVersion::Jet3;
  else if (header.version_byte == 0x01)
    header.version = FormatVersion::Jet4;
  else
    Unrecognized(file_name, "format version " + std::to_string(header.version_byte) +
                                " is newer than Jet 4 (Access 2007 or later)");
  const auto& constants = header.constants();
  if (file_start.size() < constants.page_size)
    Unrecognized(file_name, "the file is shorter than one database page");

  header.unmasked_page.assign(file_start.begin(), file_start.begin() + constants.page_size);
  ApplyHeaderMask(header.version, header.unmasked_page);
  const io::ByteSource source{&file_name, 0};
  const io::ByteView page(header.unmasked_page.data(), header.unmasked_page.size(), source);

  header.code_page = page.U16(kHeaderCodePageOffset);
  header.database_key = page.U32(kHeaderDatabaseKeyOffset);
  header.sort_order = page.U16(constants.sort_order_offset);
  if (header.version == FormatVersion::Jet4) {
    header.sort_order_version = page.U8(kHeaderJet4SortVersionOffset);
    header.creation_date = page.F64(kHeaderJet4CreationDateOffset);
  }
  header.has_password = PasswordSet(header, page);
  return header;
}

}  // namespace jet
