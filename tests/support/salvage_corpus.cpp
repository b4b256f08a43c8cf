#include "support/salvage_corpus.h"

#include <string>

#include "jet/write/database_writer.h"
#include "support/damage.h"

namespace vondrel::testing {

using jet::ColumnType;
using jet::write::DatabaseWriter;
using jet::write::Value;

void BuildSalvageDatabase(const std::filesystem::path& path, jet::FormatVersion version, int orders) {
  jet::write::CreateOptions options;
  options.version = version;
  DatabaseWriter db(path, options);
  const auto customers = db.AddTable({"Customers",
                                      {{"Code", ColumnType::Text, 10, false, true},
                                       {"Name", ColumnType::Text, 60},
                                       {"Score", ColumnType::Double}},
                                      {{"PrimaryKey", {{"Code", true}}, true}, {"Name", {{"Name", true}}}}});
  const auto order_table = db.AddTable({"Orders",
                                        {{"Id", ColumnType::Long, 0, true},
                                         {"Customer", ColumnType::Text, 10},
                                         {"Amount", ColumnType::Currency},
                                         {"Placed", ColumnType::DateTime},
                                         {"Paid", ColumnType::Boolean},
                                         {"Notes", ColumnType::Memo},
                                         {"Scan", ColumnType::OLE}},
                                        {{"PrimaryKey", {{"Id", true}}, true}, {"Customer", {{"Customer", true}}}}});
  db.AddTable({"Empty", {{"X", ColumnType::Long}}, {}});

  SeededRandom random(static_cast<std::uint64_t>(orders) * 31 + (version == jet::FormatVersion::Jet3 ? 3 : 4));
  const int customer_count = std::max(1, orders / 3);
  db.BeginRows(customers);
  for (int c = 0; c < customer_count; ++c) {
    db.Insert({Value::Text("C" + std::to_string(10000 + c)), Value::Text("Customer number " + std::to_string(c) + " ü"),
               Value::Double(static_cast<double>(random.Below(100000)) / 7.0)});
  }
  db.EndRows();

  db.BeginRows(order_table);
  for (int k = 0; k < orders; ++k) {
    // Notes: mostly short, some filling one long-value row, a few spanning
    // several long-value pages; the scans are rarer and larger.
    std::size_t note_length = random.Below(60);
    if (k % 9 == 0) note_length = 500 + random.Below(1500);
    if (k % 97 == 0) note_length = 9000 + random.Below(6000);
    std::string note;
    for (std::size_t i = 0; i < note_length; ++i) note += static_cast<char>('a' + (k + i) % 26);
    Value scan = Value::Null();
    if (k % 13 == 0) {
      std::vector<std::uint8_t> bytes(100 + random.Below(k % 39 == 0 ? 12000 : 900));
      for (auto& b : bytes) b = static_cast<std::uint8_t>(random.Next());
      scan = Value::Binary(std::move(bytes));
    }
    db.Insert({Value::Null(), Value::Text("C" + std::to_string(10000 + static_cast<int>(random.Below(customer_count)))),
               Value::Currency(static_cast<std::int64_t>(random.Below(100000000))),
               Value::Date(40000.0 + static_cast<double>(random.Below(4000)) + 0.25),
               Value::Boolean(random.Below(2) == 0), note.empty() ? Value::Null() : Value::Text(note),
               std::move(scan)});
  }
  db.EndRows();
  db.Close();
}

std::vector<std::filesystem::path> BuildSalvageCorpus(const std::filesystem::path& folder, int orders) {
  std::vector<std::filesystem::path> paths = {folder / "built_jet3.mdb", folder / "built_jet4.mdb"};
  BuildSalvageDatabase(paths[0], jet::FormatVersion::Jet3, orders);
  BuildSalvageDatabase(paths[1], jet::FormatVersion::Jet4, orders);
  return paths;
}

void BuildPeopleDatabase(const std::filesystem::path& path, jet::FormatVersion version, int people, bool scrambled) {
  jet::write::CreateOptions options;
  options.version = version;
  jet::write::DatabaseWriter db(path, options);
  const auto table = db.AddTable({"People",
                                  {{"Id", jet::ColumnType::Long, 0, true}, {"Name", jet::ColumnType::Text, 40}, {"Notes", jet::ColumnType::Memo}},
                                  {{"PrimaryKey", {{"Id", true}}, true}, {"Name", {{"Name", true}}, false, true}}});
  jet::write::TableSpec wide_spec{"Wide", {}, {}};
  for (int c = 0; c < 120; ++c) wide_spec.columns.push_back({"Column number " + std::to_string(c), jet::ColumnType::Long});
  const auto wide = db.AddTable(wide_spec);
  db.BeginRows(table);
  for (int k = 0; k < people; ++k) {
    const int id = scrambled ? 1 + (k * 7) % people : 1 + k;  // 7 is prime to the counts used
    const std::string notes = id % 10 == 0 ? std::string(3000, static_cast<char>('a' + id % 26)) : "short " + std::to_string(id);
    db.Insert({jet::write::Value::Long(id), jet::write::Value::Text("person " + std::to_string(id)), jet::write::Value::Text(notes)});
  }
  db.EndRows();
  db.BeginRows(wide);
  for (int r = 1; r <= 5; ++r) {
    std::vector<jet::write::Value> values;
    for (int c = 0; c < 120; ++c) values.push_back(jet::write::Value::Long(r * 1000 + c));
    db.Insert(values);
  }
  db.EndRows();
  db.Close();
}

}  // namespace vondrel::testing
