#include "jet/format/long_value_decode.h"

#include <gtest/gtest.h>

#include <map>

#include "base/error.h"
#include "byte_builder.h"

namespace jet {
namespace {

using testing::Append32;

std::vector<std::uint8_t> Header(std::uint32_t word, RowPointer first) {
  std::vector<std::uint8_t> field;
  Append32(field, word);
  Append32(field, first.ToRaw());
  Append32(field, 0);
  return field;
}

// LVAL rows kept in a map; the fetcher fails for unknown pointers.
struct FakeRows {
  std::map<RowPointer, std::vector<std::uint8_t>> rows;
  LongValueRowFetcher Fetcher() {
    return [this](RowPointer pointer) {
      auto found = rows.find(pointer);
      if (found == rows.end()) io::ThrowCorrupt({}, "no such row");
      return io::ByteView(found->second.data(), found->second.size());
    };
  }
  void AddChainRow(RowPointer at, RowPointer next, const std::string& chunk) {
    std::vector<std::uint8_t> row;
    Append32(row, next.ToRaw());
    testing::AppendBytes(row, chunk);
    rows[at] = row;
  }
};

std::string Assemble(const std::vector<std::uint8_t>& field, FakeRows& rows) {
  std::vector<std::uint8_t> out;
  AssembleLongValue(io::ByteView(field.data(), field.size()), rows.Fetcher(), 1 << 20, out);
  return std::string(out.begin(), out.end());
}

TEST(LongValue, InlineSingleRowAndChain) {
  FakeRows rows;
  auto inline_field = Header(kLongValueInlineBit | 5, {});
  testing::AppendBytes(inline_field, "hello");
  EXPECT_EQ(Assemble(inline_field, rows), "hello");

  rows.rows[{20, 1}] = {'w', 'o', 'r', 'l', 'd', '!', '!'};
  EXPECT_EQ(Assemble(Header(kLongValueSingleRowBit | 5, {20, 1}), rows), "world");

  rows.AddChainRow({30, 0}, {31, 2}, "abc");
  rows.AddChainRow({31, 2}, {}, "defXX");  // the last chunk may be longer
  EXPECT_EQ(Assemble(Header(8, {30, 0}), rows), "abcdefXX");
  EXPECT_EQ(Assemble(Header(6, {30, 0}), rows), "abcdef");
  const LongValueHeader header = DecodeLongValueHeader(io::ByteView(inline_field.data(), inline_field.size()));
  EXPECT_EQ(header.kind, LongValueKind::Inline);
  EXPECT_EQ(header.length, 5u);
}

TEST(LongValue, BrokenValuesAreCorruptionNotCrashes) {
  FakeRows rows;
  std::vector<std::uint8_t> out;
  const auto fails = [&](const std::vector<std::uint8_t>& field) {
    try {
      AssembleLongValue(io::ByteView(field.data(), field.size()), rows.Fetcher(), 1 << 20, out);
    } catch (const vondrel::Error& error) {
      return error.number() == 3049;
    }
    return false;
  };
  EXPECT_TRUE(fails(std::vector<std::uint8_t>(8, 0)));                   // shorter than a header
  EXPECT_TRUE(fails(Header(kLongValueInlineBit | 50, {})));              // inline data missing
  EXPECT_TRUE(fails(Header(0xC0000000u | 3, {})));                       // unknown kind
  EXPECT_TRUE(fails(Header(kLongValueSingleRowBit | 5, {99, 0})));        // missing row
  rows.rows[{20, 1}] = {'a', 'b'};
  EXPECT_TRUE(fails(Header(kLongValueSingleRowBit | 5, {20, 1})));        // row too short
  EXPECT_TRUE(fails(Header(kLongValueInlineBit | (2u << 20), {})));      // longer than the bound
  rows.AddChainRow({30, 0}, {31, 0}, "ab");
  rows.AddChainRow({31, 0}, {30, 0}, "cd");
  EXPECT_TRUE(fails(Header(1000, {30, 0})));                              // loop
  rows.AddChainRow({40, 0}, {}, "ab");
  EXPECT_TRUE(fails(Header(10, {40, 0})));                                // ends early
  rows.rows[{50, 0}] = {0, 0, 0, 0};
  EXPECT_TRUE(fails(Header(10, {50, 0})));                                // empty chunk
}

}  // namespace
}  // namespace jet
