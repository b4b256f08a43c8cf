#include "jet/format/header_encode.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "jet/format/page_cipher_encode.h"

namespace jet::encode {
namespace {

constexpr std::uint8_t kEngineName[16] = {'S', 't', 'a', 'n', 'd', 'a', 'r', 'd', ' ', 'J', 'e', 't', ' ', 'D', 'B', 0};
// Present in every file at 0x18 (meaning unknown).
constexpr std::uint8_t kConstantBlock[24] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                                             0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
// Jet 4 files carry "4.0" after a fixed word at 0x98, outside the masked area.
constexpr std::uint8_t kJet4Tag[8] = {0x54, 0x06, 0x00, 0x00, 0x34, 0x2E, 0x30, 0x00};

void WriteFreshFields(Bytes& page, const HeaderSettings& s) {
  PutU32(page, 0, 0x00000100);
  PutBytes(page, 4, kEngineName, sizeof kEngineName);
  PutBytes(page, 0x18, kConstantBlock, sizeof kConstantBlock);
  if (s.version == FormatVersion::Jet3) {
    PutU16(page, 0x38, 1);
    PutU32(page, 0x56, 0x251E);  // value seen in Access 97 files
    return;
  }
  PutU32(page, 0x6A, 0x11A6);  // value seen in Jet-created Jet 4 files
  std::uint64_t bits;
  std::memcpy(&bits, &s.creation_date, 8);
  for (int i = 0; i < 8; ++i) page[0x72 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
  // An empty password is stored as the mask alone: the whole-day part of the creation date.
  const auto day = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::floor(s.creation_date)));
  for (int i = 0; i < 40; ++i) page[0x42 + i] = static_cast<std::uint8_t>(day >> (8 * (i % 4)));
  PutBytes(page, 0x98, kJet4Tag, sizeof kJet4Tag);
}

}  // namespace

Bytes BuildHeaderPage(const HeaderSettings& s, const Bytes* source) {
  const FormatConstants& c = ConstantsFor(s.version);
  Bytes page(c.page_size, 0);
  if (source) {
    if (source->size() != c.page_size) throw std::invalid_argument("source header has the wrong page size");
    page = *source;
  } else {
    WriteFreshFields(page, s);
  }
  page[0] = 0x00;
  page[0x14] = s.version == FormatVersion::Jet3 ? 0x00 : 0x01;
  PutU16(page, 0x3C, s.code_page);
  PutU32(page, 0x3E, s.database_key);
  if (s.version == FormatVersion::Jet3) {
    PutU16(page, 0x3A, s.sort_order);
  } else {
    PutU16(page, 0x6E, s.sort_order);
    page[0x71] = s.sort_order_version;
  }
  // Commit area of a cleanly closed file: no write in progress by anyone.
  const std::size_t commit = c.commit_area_offset;
  for (std::size_t slot = 0; slot < 256; ++slot) PutU16(page, commit + 2 * slot, 0x0100);
  PutU16(page, commit, 0x0101);
  return page;
}

Bytes MaskHeaderPage(Bytes unmasked, FormatVersion version) {
  ApplyHeaderMask(unmasked.data(), unmasked.size(), version);
  return unmasked;
}

}  // namespace jet::encode
