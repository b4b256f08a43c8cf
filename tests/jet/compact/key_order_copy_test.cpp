// Tables with a primary key are copied in key order. Rows already in key
// order are copied in one pass; otherwise the copy starts over (its pages are
// reused) in key order. Either way the output depends only on the rows.

#include <gtest/gtest.h>

#include "jet/compact/compactor.h"
#include "jet/read/database.h"
#include "jet/write/database_writer.h"
#include "support/file_bytes.h"
#include "support/samples.h"

namespace {

using jet::ColumnType;
using jet::write::Value;
using vondrel::testing::ReadFileBytes;
using vondrel::testing::ScratchDir;

enum class Order { InKeyOrder, Shuffled, LastRowFirst };

// The same rows, inserted in key order or not. The memo values put long-value
// pages among the data pages, which a restart must give up and reuse too.
// With the last row first, the rows are out of order only at the very end,
// when a copy in source order has written every other page already.
void BuildOrders(const std::filesystem::path& path, Order order) {
  const bool in_key_order = order == Order::InKeyOrder;
  jet::write::DatabaseWriter db(path, {});
  const auto small = db.AddTable({"Small", {{"Code", ColumnType::Long}}, {{"PrimaryKey", {{"Code", true}}, true}}});
  const auto orders = db.AddTable({"Orders",
                                   {{"Number", ColumnType::Long}, {"Item", ColumnType::Text, 50}, {"Notes", ColumnType::Memo}},
                                   {{"PrimaryKey", {{"Number", true}}, true}, {"ByItem", {{"Item", true}}}}});
  db.BeginRows(small);
  for (int i = 0; i < 10; ++i) db.Insert({Value::Long(in_key_order ? i : 9 - i)});
  db.EndRows();
  db.BeginRows(orders);
  for (int n = 0; n < 2000; ++n) {
    int number = in_key_order ? n : (n * 7919) % 2000;  // a permutation
    if (order == Order::LastRowFirst) number = n == 1999 ? 0 : n + 1;
    db.Insert({Value::Long(number), Value::Text("item " + std::to_string(number % 97)),
               number % 5 ? Value::Null() : Value::Text(std::string(3000 + number, 'm'))});
  }
  db.EndRows();
  db.Close();
}

TEST(KeyOrderCopy, RowsOutOfKeyOrderGiveTheSameFileAsRowsInOrder) {
  ScratchDir dir;
  BuildOrders(dir / "sorted.mdb", Order::InKeyOrder);
  BuildOrders(dir / "shuffled.mdb", Order::Shuffled);
  BuildOrders(dir / "last_first.mdb", Order::LastRowFirst);
  ASSERT_FALSE(ReadFileBytes(dir / "sorted.mdb") == ReadFileBytes(dir / "shuffled.mdb"));
  jet::compact::CompactDatabase(dir / "sorted.mdb", dir / "sorted_out.mdb");
  jet::compact::CompactDatabase(dir / "shuffled.mdb", dir / "shuffled_out.mdb");
  const auto a = ReadFileBytes(dir / "sorted_out.mdb");
  EXPECT_GT(a.size(), 100000u);
  EXPECT_TRUE(a == ReadFileBytes(dir / "shuffled_out.mdb"));
  jet::compact::CompactDatabase(dir / "last_first.mdb", dir / "last_first_out.mdb");
  EXPECT_TRUE(a == ReadFileBytes(dir / "last_first_out.mdb"));

  // And the rows come out in key order.
  const auto db = jet::Database::Open(dir / "shuffled_out.mdb");
  const jet::TableDefinition table = db->ReadTableDefinition(*db->FindTable("Orders"));
  std::int32_t expected = 0;
  bool in_order = true;
  db->ScanRows(table, [&](const jet::Row& row) {
    in_order = in_order && row.fields[0].bytes.I32(0) == expected++;
    return true;
  });
  EXPECT_TRUE(in_order);
  EXPECT_EQ(expected, 2000);
}

}  // namespace
