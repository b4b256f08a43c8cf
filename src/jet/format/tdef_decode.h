#pragma once
// Reading a table definition: collecting its page chain into one byte stream
// and decoding header, columns, indexes and the long-value trailer.
// Layout: docs/jet-format.md, section 6.

#include <cstdint>
#include <string>
#include <vector>

#include "jet/format/table_definition.h"
#include "jet/io/page_file.h"

namespace jet {

struct TdefStream {
  std::vector<std::uint8_t> bytes;   // first page whole, continuation pages from byte 8
  std::vector<std::uint32_t> pages;  // in chain order
};

// Follows the TDEF chain from `first_page`. Throws 3049 on a page that is not
// a TDEF page, a loop or a pointer beyond the file.
TdefStream ReadTdefStream(const io::PageFile& file, FormatVersion version, std::uint32_t first_page);

// Decodes a stream. `code_page` decodes Jet 3 names. Throws 3049 when the
// definition is inconsistent (counts that overrun the stream, impossible
// column numbers). `name` and `page` only label errors.
// `end_of_definition`, when given, receives the offset just past the final
// FF FF terminator (0 when the stream has none).
TableDefinition DecodeTableDefinition(const TdefStream& stream, FormatVersion version, std::uint16_t code_page,
                                      const std::string& file_name, std::size_t* end_of_definition = nullptr);

// What DecodeColumnsOfDamagedDefinition had to make up or leave out.
struct DefinitionSalvage {
  std::size_t names_read = 0;      // columns, in stored order, whose own names were read
  std::vector<std::string> named;  // the names given to the others, in stored order
  bool indexes_lost = false;       // the definition had indexes, which lie after the names
};

// For a definition that DecodeTableDefinition refuses: its column
// descriptors with the names that can still be read, in stored order up to
// the first that cannot be read or could not have been written (each later
// column is named "Field" and its number + 1), and without the indexes and
// long-value maps stored after the names. Throws as DecodeTableDefinition
// does when the header or the descriptors are unsound.
TableDefinition DecodeColumnsOfDamagedDefinition(const TdefStream& stream, FormatVersion version,
                                                 std::uint16_t code_page, const std::string& file_name,
                                                 DefinitionSalvage& salvage);

// Follows the chain as ReadTdefStream does, but ends it before the first
// page that is not a definition page, lies past the end or closes a loop, so
// that a damaged continuation page leaves the pages before it.
TdefStream ReadTdefStreamUntilDamage(const io::PageFile& file, std::uint32_t first_page);

// Both steps.
TableDefinition ReadTableDefinition(const io::PageFile& file, FormatVersion version, std::uint16_t code_page,
                                    std::uint32_t first_page);

}  // namespace jet
