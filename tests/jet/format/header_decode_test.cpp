#include "jet/format/header_decode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "base/error.h"
#include "byte_builder.h"

namespace jet {
namespace {

using testing::Put16;
using testing::Put32;

// An unmasked page 0 as Access writes it, before masking.
std::vector<std::uint8_t> PlainHeader(FormatVersion version) {
  const auto& c = ConstantsFor(version);
  std::vector<std::uint8_t> page(c.page_size, 0);
  page[1] = 0x01;
  std::memcpy(page.data() + 4, "Standard Jet DB", 16);
  page[0x14] = version == FormatVersion::Jet3 ? 0 : 1;
  const std::uint8_t constant[8] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00};
  std::memcpy(page.data() + 0x18, constant, sizeof constant);
  Put16(page, 0x3C, 1252);
  Put16(page, c.sort_order_offset, 1033);
  return page;
}

void SetCreationDateAndMaskPassword(std::vector<std::uint8_t>& page, double date, const std::u16string& password) {
  std::uint64_t bits;
  std::memcpy(&bits, &date, sizeof bits);
  Put32(page, 0x72, static_cast<std::uint32_t>(bits));
  Put32(page, 0x76, static_cast<std::uint32_t>(bits >> 32));
  const auto mask = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::floor(date)));
  for (std::size_t k = 0; k < 40; ++k) {
    std::uint8_t plain = 0;
    if (k / 2 < password.size()) plain = static_cast<std::uint8_t>(password[k / 2] >> (8 * (k % 2)));
    page[0x42 + k] = plain ^ static_cast<std::uint8_t>(mask >> (8 * (k % 4)));
  }
}

std::vector<std::uint8_t> Masked(std::vector<std::uint8_t> page, FormatVersion version) {
  ApplyHeaderMask(version, page);
  return page;
}

TEST(HeaderMask, MatchesTheBytesAccessWrites) {
  // Every Access file starts its masked area with these bytes.
  auto page = Masked(PlainHeader(FormatVersion::Jet4), FormatVersion::Jet4);
  const std::uint8_t expected[8] = {0xB5, 0x6E, 0x03, 0x62, 0x60, 0x09, 0xC2, 0x55};
  EXPECT_EQ(0, std::memcmp(page.data() + 0x18, expected, 8));
  ApplyHeaderMask(FormatVersion::Jet4, page);
  EXPECT_EQ(page, PlainHeader(FormatVersion::Jet4));
}

TEST(DecodeHeader, ReadsJet4Facts) {
  auto plain = PlainHeader(FormatVersion::Jet4);
  Put32(plain, 0x3E, 0x12345678);
  plain[0x71] = 0;
  SetCreationDateAndMaskPassword(plain, 39000.75, u"");
  const DatabaseHeader header = DecodeHeader(Masked(plain, FormatVersion::Jet4), "x.mdb");
  EXPECT_EQ(header.version, FormatVersion::Jet4);
  EXPECT_EQ(header.code_page, 1252);
  EXPECT_EQ(header.sort_order, 1033);
  EXPECT_EQ(header.database_key, 0x12345678u);
  EXPECT_DOUBLE_EQ(header.creation_date, 39000.75);
  EXPECT_FALSE(header.has_password);
  EXPECT_EQ(header.unmasked_page, plain);
}

TEST(DecodeHeader, DetectsJet4PasswordUnderTheDateMask) {
  auto plain = PlainHeader(FormatVersion::Jet4);
  SetCreationDateAndMaskPassword(plain, 41234.2, u"secret");
  EXPECT_TRUE(DecodeHeader(Masked(plain, FormatVersion::Jet4), "x.mdb").has_password);
}

TEST(DecodeHeader, ReadsJet3FactsAndPassword) {
  auto plain = PlainHeader(FormatVersion::Jet3);
  const DatabaseHeader header = DecodeHeader(Masked(plain, FormatVersion::Jet3), "old.mdb");
  EXPECT_EQ(header.version, FormatVersion::Jet3);
  EXPECT_EQ(header.constants().page_size, 2048u);
  EXPECT_EQ(header.sort_order, 1033);
  EXPECT_FALSE(header.has_password);
  plain[0x42] = 'p';
  EXPECT_TRUE(DecodeHeader(Masked(plain, FormatVersion::Jet3), "old.mdb").has_password);
}

int RefusalNumber(const std::vector<std::uint8_t>& bytes) {
  try {
    DecodeHeader(bytes, "odd.mdb");
  } catch (const vondrel::Error& error) {
    EXPECT_NE(error.description().find("odd.mdb"), std::string::npos);
    return error.number();
  }
  return 0;
}

TEST(DecodeHeader, RefusesOtherEnginesVersionsAndFiles) {
  auto ace = PlainHeader(FormatVersion::Jet4);
  std::memcpy(ace.data() + 4, "Standard ACE DB", 16);
  ace[0x14] = 2;
  EXPECT_EQ(RefusalNumber(ace), 3343);
  auto msisam = PlainHeader(FormatVersion::Jet4);
  std::memcpy(msisam.data() + 4, "MSISAM Database", 16);
  EXPECT_EQ(RefusalNumber(msisam), 3343);
  auto newer = PlainHeader(FormatVersion::Jet4);
  newer[0x14] = 3;
  EXPECT_EQ(RefusalNumber(newer), 3343);
  EXPECT_EQ(RefusalNumber(std::vector<std::uint8_t>(4096, 'x')), 3343);
  EXPECT_EQ(RefusalNumber(std::vector<std::uint8_t>(10, 0)), 3343);
  auto short_jet4 = PlainHeader(FormatVersion::Jet4);
  short_jet4.resize(3000);  // less than one 4 KiB page
  EXPECT_EQ(RefusalNumber(short_jet4), 3343);
}

}  // namespace
}  // namespace jet
