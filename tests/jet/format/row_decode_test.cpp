#include "jet/format/row_decode.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "byte_builder.h"
#include "jet/format/row_encode.h"

namespace jet {
namespace {

using testing::Append16;

ColumnDefinition Column(std::uint16_t number, ColumnType type, bool fixed, std::uint16_t offset_or_slot,
                        std::uint16_t length, const char* name) {
  ColumnDefinition column;
  column.number = number;
  column.type = type;
  column.flags = fixed ? column_flags::kFixed : 0;
  if (fixed)
    column.fixed_offset = offset_or_slot;
  else
    column.var_index = offset_or_slot;
  column.length = length;
  column.name = name;
  return column;
}

// Columns: 0 Long fixed @0, 1 Boolean, 2 Text var slot 0, 3 Text var slot 1.
TableDefinition SampleTable(FormatVersion version) {
  TableDefinition table;
  table.version = version;
  table.columns = {Column(0, ColumnType::Long, true, 0, 4, "Id"), Column(1, ColumnType::Boolean, true, 0, 1, "Done"),
                   Column(2, ColumnType::Text, false, 0, 100, "A"), Column(3, ColumnType::Text, false, 1, 100, "B")};
  table.max_columns = 4;
  table.var_slots = 2;
  return table;
}

std::string Text(const StoredField& field) { return std::string(field.bytes.data(), field.bytes.data() + field.bytes.size()); }

// What the encoder writes for decoded fields: rows built here in Access's
// layout must come back byte for byte.
std::vector<std::uint8_t> Reencoded(const TableDefinition& table, const std::vector<StoredField>& fields) {
  std::vector<encode::FieldValue> values(fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i)
    values[i] = {fields[i].is_null, fields[i].bool_value, fields[i].bytes.data(), fields[i].bytes.size()};
  return encode::EncodeRow(table, values);
}

TEST(RowLayoutJet4, FixedVariableNullAndBooleanFields) {
  // N=4 | Long 7 | "hey" | eod, off1, off0, V | mask
  std::vector<std::uint8_t> row;
  Append16(row, 4);
  testing::Append32(row, 7);
  testing::AppendBytes(row, "hey");
  Append16(row, 9);  // eod
  Append16(row, 9);  // offset of slot 1 (NULL, empty)
  Append16(row, 6);  // offset of slot 0
  Append16(row, 2);  // V
  row.push_back(0b0111);  // Id, Done = Yes, A present; B NULL
  const TableDefinition table = SampleTable(FormatVersion::Jet4);
  RowStructure scratch;
  std::vector<StoredField> fields;
  DecodeRow(io::ByteView(row.data(), row.size()), table, scratch, fields);
  ASSERT_EQ(fields.size(), 4u);
  EXPECT_FALSE(fields[0].is_null);
  EXPECT_EQ(fields[0].bytes.I32(0), 7);
  EXPECT_FALSE(fields[1].is_null);
  EXPECT_TRUE(fields[1].bool_value);
  EXPECT_EQ(Text(fields[2]), "hey");
  EXPECT_TRUE(fields[3].is_null);
}

TEST(RowLayoutJet4, RowsWrittenBeforeAColumnWasAddedReadItAsNull) {
  // Written when the table had columns 0..2 and one var slot.
  std::vector<std::uint8_t> row;
  Append16(row, 3);
  testing::Append32(row, 1);
  testing::AppendBytes(row, "x");
  Append16(row, 7);  // eod
  Append16(row, 6);  // slot 0
  Append16(row, 1);  // V
  row.push_back(0b0101);
  const TableDefinition table = SampleTable(FormatVersion::Jet4);
  RowStructure scratch;
  std::vector<StoredField> fields;
  DecodeRow(io::ByteView(row.data(), row.size()), table, scratch, fields);
  EXPECT_FALSE(fields[1].bool_value);
  EXPECT_EQ(Text(fields[2]), "x");
  EXPECT_TRUE(fields[3].is_null);
}

TEST(RowLayoutJet4, InconsistentOffsetsAreCorruption) {
  std::vector<std::uint8_t> row;
  Append16(row, 4);
  testing::Append32(row, 7);
  testing::AppendBytes(row, "hey");
  Append16(row, 9);
  Append16(row, 5);  // slot 1 before slot 0: offsets out of order
  Append16(row, 6);
  Append16(row, 2);
  row.push_back(0x0F);
  const TableDefinition table = SampleTable(FormatVersion::Jet4);
  RowStructure scratch;
  std::vector<StoredField> fields;
  EXPECT_THROW(DecodeRow(io::ByteView(row.data(), row.size()), table, scratch, fields), vondrel::Error);
  // A var count that cannot fit.
  std::vector<std::uint8_t> tiny{4, 0, 0xFF, 0xFF, 0x0F};
  EXPECT_THROW(DecodeRow(io::ByteView(tiny.data(), tiny.size()), table, scratch, fields), vondrel::Error);
  // Too short for its own null mask.
  std::vector<std::uint8_t> empty_row{0xFF};
  EXPECT_THROW(DecodeRow(io::ByteView(empty_row.data(), empty_row.size()), table, scratch, fields), vondrel::Error);
}

TEST(RowLayout, ARowThatHoldsNoColumnsWasNeverWritten) {
  // Zeros where a row should be: a column count of 0, no null mask, no
  // variable columns. Such bytes would read as a row whose every value is null.
  for (const FormatVersion version : {FormatVersion::Jet3, FormatVersion::Jet4}) {
    const TableDefinition table = SampleTable(version);
    const std::vector<std::uint8_t> zeros(24, 0);
    RowStructure scratch;
    std::vector<StoredField> fields;
    try {
      DecodeRow(io::ByteView(zeros.data(), zeros.size()), table, scratch, fields);
      ADD_FAILURE() << "a row of zeros was decoded";
    } catch (const vondrel::Error& error) {
      EXPECT_EQ(error.number(), 3049);
      EXPECT_NE(error.description().find("holds no columns"), std::string::npos) << error.description();
    }
    EXPECT_THROW(ParseRowStructureUnordered(io::ByteView(zeros.data(), zeros.size()), table, scratch), vondrel::Error);
  }
}

TEST(RowLayoutJet3, ShortRowWithoutJumps) {
  std::vector<std::uint8_t> row{4};
  testing::Append32(row, 9);
  testing::AppendBytes(row, "ab");
  // eod, slot1, slot0 (offset[0] nearest the count), V
  row.insert(row.end(), {7, 7, 5, 2});
  row.push_back(0b0101);  // Id, A present; Done = No; B NULL
  const TableDefinition table = SampleTable(FormatVersion::Jet3);
  RowStructure scratch;
  std::vector<StoredField> fields;
  DecodeRow(io::ByteView(row.data(), row.size()), table, scratch, fields);
  EXPECT_EQ(fields[0].bytes.I32(0), 9);
  EXPECT_FALSE(fields[1].bool_value);
  EXPECT_EQ(Text(fields[2]), "ab");
  EXPECT_TRUE(fields[3].is_null);
  EXPECT_EQ(Reencoded(table, fields), row);
}

// Column A holds 300 bytes, so B starts past 255 and eod too: the jump table
// records that offset entries 1 (B) and 2 (eod) lie in the second 256 block.
TEST(RowLayoutJet3, JumpTableRebuildsOffsetsBeyond255) {
  std::vector<std::uint8_t> row{4};
  testing::Append32(row, 1);
  const std::string a(300, 'a');
  testing::AppendBytes(row, a);  // 5..305
  testing::AppendBytes(row, "bbbb");  // 305..309
  // offsets: slot0 = 5, slot1 = 305 (0x131), eod = 309 (0x135)
  // layout from the end: mask, V, jump[0], then offset bytes slot0 (nearest), slot1, eod
  row.push_back(0x35);    // eod low byte
  row.push_back(0x31);    // slot 1 low byte
  row.push_back(5);       // slot 0
  row.push_back(1);       // jump[0] = first entry >= 256 is entry 1
  row.push_back(2);       // V
  row.push_back(0x0D);    // Id, A, B present; Done = No
  ASSERT_EQ((row.size() - 1) / 256, 1u);
  const TableDefinition table = SampleTable(FormatVersion::Jet3);
  RowStructure scratch;
  std::vector<StoredField> fields;
  DecodeRow(io::ByteView(row.data(), row.size()), table, scratch, fields);
  EXPECT_EQ(Text(fields[2]), a);
  EXPECT_EQ(Text(fields[3]), "bbbb");
  EXPECT_EQ(Reencoded(table, fields), row);
}

// A row longer than 256 bytes whose eod stays below 256 carries one filler
// jump byte (0xFF) that readers ignore.
TEST(RowLayoutJet3, FillerJumpByteIsIgnored) {
  TableDefinition table = SampleTable(FormatVersion::Jet3);
  table.columns[0].length = 250;  // a wide fixed area pushes the row past 256 bytes
  table.columns[0].type = ColumnType::Binary;
  std::vector<std::uint8_t> row{4};
  row.insert(row.end(), 250, 0x11);
  testing::AppendBytes(row, "cd");  // slot 0 at 251..253, eod 253
  row.insert(row.end(), {253, 253, 251, 0xFF, 2});
  row.push_back(0x05);
  ASSERT_EQ(row.size(), 259u);  // one jump byte, but eod (253) is below 256
  RowStructure scratch;
  std::vector<StoredField> fields;
  DecodeRow(io::ByteView(row.data(), row.size()), table, scratch, fields);
  EXPECT_EQ(fields[0].bytes.size(), 250u);
  EXPECT_EQ(Text(fields[2]), "cd");
  EXPECT_TRUE(fields[3].is_null);
  EXPECT_EQ(Reencoded(table, fields), row);
}

}  // namespace
}  // namespace jet
