#include "bench/aged_database.h"

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "jet/format/data_page_encode.h"
#include "jet/write/database_writer.h"

namespace vondrel::bench {
namespace {

using jet::ColumnType;
using jet::write::DatabaseWriter;
using jet::write::Value;

// Random lower-case text, taken from one pool so that long memos cost little to make.
class TextPool {
 public:
  explicit TextPool(std::mt19937& rng) : rng_(rng) {
    pool_.resize(1 << 16);
    for (char& c : pool_) c = rng() % 7 == 0 ? ' ' : static_cast<char>('a' + rng() % 26);
  }
  std::string Text(std::size_t length) {
    const std::size_t from = rng_() % (pool_.size() - length);
    return pool_.substr(from, length);
  }

 private:
  std::mt19937& rng_;
  std::string pool_;
};

struct AgedTable {
  DatabaseWriter::TableHandle handle = 0;
  std::vector<std::int32_t> keys;  // primary keys in the order they arrive
  std::size_t next = 0;
};

// Rows per megabyte of file, measured on this layout (Jet 4; Jet 3 pages
// hold the same bytes in less room per row, so about the same).
constexpr int kCustomersPerMb = 180;
constexpr int kOrdersPerMb = 1000;
constexpr int kEventsPerMb = 1300;

std::vector<std::int32_t> ShuffledKeys(int count, std::mt19937& rng) {
  std::vector<std::int32_t> keys(static_cast<std::size_t>(count));
  std::iota(keys.begin(), keys.end(), 1);
  std::shuffle(keys.begin(), keys.end(), rng);
  return keys;
}

}  // namespace

AgedFigures BuildAgedDatabase(const std::filesystem::path& path, const AgedOptions& options) {
  std::mt19937 rng(options.seed);
  TextPool pool(rng);
  jet::write::CreateOptions create;
  create.version = options.version;
  DatabaseWriter db(path, create);
  // The rows per megabyte are those of Jet 4, whose text takes two bytes a
  // character where compression fails; Jet 3's one byte a character needs
  // about 1.6 times the rows for the same file size.
  const int mb = std::max(1, options.version == jet::FormatVersion::Jet3 ? options.megabytes * 8 / 5 : options.megabytes);
  AgedTable customers{db.AddTable({"Customers",
                                   {{"CustomerId", ColumnType::Long},
                                    {"Name", ColumnType::Text, 60},
                                    {"City", ColumnType::Text, 40},
                                    {"Joined", ColumnType::DateTime},
                                    {"Notes", ColumnType::Memo}},
                                   {{"PrimaryKey", {{"CustomerId", true}}, true}, {"Name", {{"Name", true}}}}}),
                      ShuffledKeys(kCustomersPerMb * mb, rng)};
  AgedTable orders{db.AddTable({"Orders",
                                {{"OrderId", ColumnType::Long},
                                 {"CustomerId", ColumnType::Long},
                                 {"Product", ColumnType::Text, 80},
                                 {"Quantity", ColumnType::Integer},
                                 {"Price", ColumnType::Double},
                                 {"Placed", ColumnType::DateTime},
                                 {"Notes", ColumnType::Memo}},
                                {{"PrimaryKey", {{"OrderId", true}}, true},
                                 {"CustomerId", {{"CustomerId", true}}},
                                 {"Product", {{"Product", true}}}}}),
                   ShuffledKeys(kOrdersPerMb * mb, rng)};
  AgedTable events{db.AddTable({"Events",
                                {{"EventId", ColumnType::Long},
                                 {"Kind", ColumnType::Byte},
                                 {"At", ColumnType::DateTime},
                                 {"Text", ColumnType::Text, 120}},
                                {{"PrimaryKey", {{"EventId", true}}, true}, {"At", {{"At", true}}}}}),
                   ShuffledKeys(kEventsPerMb * mb, rng)};
  const int customer_count = static_cast<int>(customers.keys.size());
  // Memos: most rows none or a short note, some up to 8000 characters.
  const std::size_t lval_row = jet::encode::DataPageBuilder::MaxRowOnEmptyPage(options.version);
  AgedFigures figures;
  auto memo = [&](int percent) {
    if (static_cast<int>(rng() % 100) >= percent) return Value::Null();
    const std::size_t length = rng() % 4 == 0 ? rng() % 8001 : rng() % 200;
    if (length > lval_row) ++figures.chained_memos;
    return Value::Text(pool.Text(length));
  };
  auto row_of = [&](AgedTable& table, std::int32_t key, bool longer) -> std::vector<Value> {
    const std::size_t extra = longer ? 10 + rng() % 20 : 0;
    if (&table == &customers)
      return {Value::Long(key), Value::Text(pool.Text(8 + rng() % 12 + extra)), Value::Text(pool.Text(4 + rng() % 10)),
              Value::Date(36000 + rng() % 9000 + (rng() % 86400) / 86400.0), memo(20)};
    if (&table == &orders)
      return {Value::Long(key), Value::Long(static_cast<std::int32_t>(1 + rng() % customer_count)),
              Value::Text("Product " + pool.Text(3 + rng() % 20 + extra)), Value::Integer(static_cast<std::int16_t>(rng() % 100)),
              Value::Double((rng() % 100000) / 100.0), Value::Date(40000 + rng() % 5000), memo(30)};
    return {Value::Long(key), Value::Byte(static_cast<std::uint8_t>(rng() % 8)),
            Value::Date(42000 + (rng() % 10000000) / 1000.0), Value::Text("event " + pool.Text(10 + rng() % 40 + extra))};
  };

  std::vector<AgedTable*> tables = {&customers, &orders, &events};
  for (AgedTable* t : tables) db.OpenRows(t->handle);
  std::uint64_t remaining = 0;
  for (AgedTable* t : tables) remaining += t->keys.size();
  // Each step inserts into a table chosen in proportion to the rows it has
  // left, so that all three grow together and their pages interleave.
  for (; remaining > 0; --remaining) {
    std::uint64_t pick = std::uniform_int_distribution<std::uint64_t>(0, remaining - 1)(rng);
    AgedTable* table = tables.back();
    for (AgedTable* t : tables) {
      const std::uint64_t left = t->keys.size() - t->next;
      if (pick < left) {
        table = t;
        break;
      }
      pick -= left;
    }
    const std::int32_t key = table->keys[table->next++];
    const unsigned fate = rng() % 10;  // 2 in 10 deleted later, 2 in 10 updated longer
    if (fate < 2) {
      db.InsertDeleted(table->handle, row_of(*table, key, false));
      ++figures.deleted_rows;
    } else if (fate < 4) {
      const std::vector<Value> before = row_of(*table, key, false);
      db.InsertMoved(table->handle, before, row_of(*table, key, true));
      ++figures.moved_rows;
      ++figures.live_rows;
    } else {
      db.InsertInto(table->handle, row_of(*table, key, false));
      ++figures.live_rows;
    }
  }
  for (AgedTable* t : tables) db.CloseRows(t->handle);
  db.Close();
  return figures;
}

}  // namespace vondrel::bench
