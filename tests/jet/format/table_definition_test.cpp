#include "jet/format/table_definition.h"

#include <gtest/gtest.h>

namespace jet {
namespace {

TEST(RowPointer, RawFormIsRowInLowByteAndPageAbove) {
  RowPointer pointer = RowPointer::FromRaw(0x00123405);
  EXPECT_EQ(pointer.page, 0x1234u);
  EXPECT_EQ(pointer.row, 5);
  EXPECT_EQ(pointer.ToRaw(), 0x00123405u);
  EXPECT_TRUE(RowPointer::FromRaw(0).IsNull());
  EXPECT_LT((RowPointer{3, 9}), (RowPointer{4, 0}));
}

TEST(TableDefinition, FixedAreaIgnoresBooleanAndVariableColumns) {
  TableDefinition table;
  ColumnDefinition id;
  id.type = ColumnType::Long;
  id.flags = column_flags::kFixed;
  id.fixed_offset = 0;
  id.length = 4;
  ColumnDefinition flag;
  flag.type = ColumnType::Boolean;
  flag.flags = column_flags::kFixed;
  flag.fixed_offset = 40;
  flag.length = 1;
  ColumnDefinition text;
  text.type = ColumnType::Text;
  text.fixed_offset = 999;  // garbage on variable columns
  text.length = 100;
  text.name = "Label";
  ColumnDefinition amount;
  amount.type = ColumnType::Double;
  amount.flags = column_flags::kFixed;
  amount.fixed_offset = 4;
  amount.length = 8;
  table.columns = {id, flag, text, amount};
  EXPECT_EQ(table.FixedAreaSize(), 12u);
  ASSERT_NE(table.FindColumn(std::string("label")), nullptr);
  EXPECT_EQ(table.FindColumn(std::string("labe")), nullptr);
}

TEST(ColumnTypeName, NamesKnownAndUnknownCodes) {
  EXPECT_EQ(ColumnTypeName(ColumnType::Memo), "Memo");
  EXPECT_EQ(ColumnTypeName(static_cast<ColumnType>(0x1E)), "Type 0x1E");
}

}  // namespace
}  // namespace jet
