#include "support/property_blob.h"

#include "jet/format/text_decode.h"

namespace vondrel::testing {

using jet::FormatVersion;
namespace io = jet::io;

namespace {

constexpr std::uint16_t kNamesChunk = 0x0080;

std::string Name(const io::ByteView& bytes, FormatVersion version, std::uint16_t code_page) {
  const std::span<const std::uint8_t> raw(bytes.data(), bytes.size());
  return version == FormatVersion::Jet3 ? jet::DecodeJet3Text(raw, code_page) : jet::Utf16LeToUtf8(raw);
}

void DecodeValues(const io::ByteView& chunk, FormatVersion version, std::uint16_t code_page,
                  const std::vector<std::string>& names, PropertyBlock& block) {
  // Name block: uint32 length (itself included), uint16 name length, name.
  const std::size_t name_block = chunk.U32(0);
  if (name_block < 6) chunk.Fail("a property block name is shorter than its header");
  const std::size_t name_length = chunk.U16(4);
  block.name = Name(chunk.Sub(6, name_length, "property block name"), version, code_page);
  std::size_t at = name_block;
  chunk.Require(at, 0, "property values");
  while (at < chunk.size()) {
    const std::size_t length = chunk.U16(at);
    if (length < 8) chunk.Fail("a property value is shorter than its header");
    const io::ByteView value = chunk.Sub(at, length, "property value");
    PropertyValue property;
    property.ddl_flag = value.U8(2);
    property.type = value.U8(3);
    const std::size_t name_index = value.U16(4);
    if (name_index >= names.size()) value.Fail("a property names an entry beyond the name list");
    property.name = names[name_index];
    const io::ByteView data = value.Sub(8, value.U16(6), "property data");
    property.data.assign(data.data(), data.data() + data.size());
    block.values.push_back(std::move(property));
    at += length;
  }
}

}  // namespace

std::vector<PropertyBlock> DecodePropertyBlob(const io::ByteView& blob, FormatVersion version,
                                              std::uint16_t code_page) {
  const char* magic = version == FormatVersion::Jet3 ? "KKD" : "MR2";
  if (blob.size() < 4 || blob.U8(0) != magic[0] || blob.U8(1) != magic[1] || blob.U8(2) != magic[2] ||
      blob.U8(3) != 0)
    blob.Fail("a property blob does not start with its signature");
  std::vector<std::string> names;
  std::vector<PropertyBlock> blocks;
  std::size_t at = 4;
  while (at < blob.size()) {
    const std::size_t length = blob.U32(at);
    if (length < 6) blob.Fail("a property chunk is shorter than its header");
    const io::ByteView chunk = blob.Sub(at, length, "property chunk");
    const std::uint16_t type = chunk.U16(4);
    const io::ByteView body = chunk.From(6);
    if (type == kNamesChunk) {
      std::size_t k = 0;
      while (k < body.size()) {
        const std::size_t name_length = body.U16(k);
        names.push_back(Name(body.Sub(k + 2, name_length, "property name"), version, code_page));
        k += 2 + name_length;
      }
    } else {
      PropertyBlock block;
      block.chunk_type = type;
      DecodeValues(body, version, code_page, names, block);
      blocks.push_back(std::move(block));
    }
    at += length;
  }
  return blocks;
}

}  // namespace vondrel::testing
