// The whole repair over real Access-written databases, with the project's own
// engine and the real file-system layer behind a drive C: in a scratch folder.

#include <map>

#include <gtest/gtest.h>

#include "jet/dao/dao.h"
#include "jet/write/database_writer.h"
#include "repair/jet_database_engine.h"
#include "repair/repair_operation.h"
#include "support/damage.h"
#include "support/fake_file_system.h"
#include "support/samples.h"
#include "support/small_disk.h"

namespace vondrel::repair {
namespace {
namespace fs = std::filesystem;
using testing::FakeFileSystem;

// A writable copy of a sample (the samples themselves are read-only, and a
// read-only database is refused at the swap, as Windows refuses it).
void PlaceCopy(const fs::path& sample, const fs::path& placed) {
  fs::copy_file(sample, placed);
  fs::permissions(placed, fs::perms::owner_write, fs::perm_options::add);
}

// Table name -> live rows, for every table the engine lists.
std::map<std::string, std::uint64_t> RowCounts(const fs::path& path) {
  jet::dao::DBEngine engine;
  auto database = engine.OpenDatabase(path);
  auto tables = database->TableDefs();
  std::map<std::string, std::uint64_t> counts;
  for (int i = 0; i < tables.Count(); ++i) {
    auto table = tables.Item(i);
    std::uint64_t rows = 0;
    table.ScanRows([&](const jet::Row&) {
      ++rows;
      return true;
    });
    counts[table.Name()] = rows;
  }
  return counts;
}

// Whether our engine reads the sample fully; only those are expected to repair.
bool ReadableSample(const fs::path& path) {
  try {
    RowCounts(path);
    return true;
  } catch (const vondrel::Error&) {
    return false;
  }
}

struct RepairSample : ::testing::TestWithParam<const char*> {};

TEST_P(RepairSample, RepairsInPlaceTwiceAndKeepsEveryRow) {
  VONDREL_REQUIRE_SAMPLES();
  auto sample = testing::Sample(GetParam());
  if (!sample) GTEST_SKIP() << GetParam() << " is not among the samples here";
  FakeFileSystem files;
  files.MakeFolder(u"C:\\Program Files\\Tamberlo");
  fs::path placed = files.DriveC() / "Program Files/Tamberlo/DATA.MDB";  // a capital-letter extension
  PlaceCopy(*sample, placed);
  auto before = RowCounts(placed);

  RepairOperation repair(files, JetEngineFactory(files));
  auto first = repair.Run(u"C:\\Program Files\\Tamberlo\\DATA.MDB");
  ASSERT_EQ(first.kind, RepairOutcome::Kind::Succeeded) << first.number << " " << first.description;
  EXPECT_EQ(files.ListFolder(u"C:\\Program Files\\Tamberlo"), std::vector<std::string>{"DATA.mdb"});
  fs::path repaired = files.DriveC() / "Program Files/Tamberlo/DATA.mdb";
  EXPECT_EQ(RowCounts(repaired), before);

  // The second run repairs a file our own writer built.
  auto second = repair.Run(u"C:\\Program Files\\Tamberlo\\DATA.mdb");
  ASSERT_EQ(second.kind, RepairOutcome::Kind::Succeeded) << second.number << " " << second.description;
  EXPECT_EQ(RowCounts(repaired), before);
  EXPECT_EQ(files.ListFolder(u"C:\\Program Files\\Tamberlo"), std::vector<std::string>{"DATA.mdb"});
}

INSTANTIATE_TEST_SUITE_P(Samples, RepairSample,
                         ::testing::Values("jet3_northwind_de_nwind.mdb", "jet3_jackcess_test2.mdb",
                                           "jet3_fcorpus_acc95.mdb", "jet4_northwind_2000_b.mdb",
                                           "jet4_jackcess_empty2003.mdb", "jet4_jackcess_test2.mdb",
                                           "jet4_jackcessencrypt_db-enc.mdb", "jet4_app_BancoDeHoras.mdb"));

// Every sample: a repair either succeeds and keeps every row, or fails with a
// number and leaves the database exactly as it was.
TEST(RepairAllSamples, SucceedsWithEveryRowOrLeavesTheFileAlone) {
  VONDREL_REQUIRE_SAMPLES();
  int succeeded = 0, failed = 0;
  for (const auto& sample : testing::AllSamples()) {
    SCOPED_TRACE(sample.filename().string());
    FakeFileSystem files;
    fs::path placed = files.DriveC() / "Data.mdb";
    PlaceCopy(sample, placed);
    bool readable = ReadableSample(placed);
    std::map<std::string, std::uint64_t> before;
    if (readable) before = RowCounts(placed);
    auto original = files.ReadFile(u"C:\\Data.mdb");

    RepairOperation repair(files, JetEngineFactory(files));
    auto outcome = repair.Run(platform::JoinPath(u"C:\\", u"Data.mdb"));
    if (outcome.kind == RepairOutcome::Kind::Succeeded) {
      ++succeeded;
      if (readable) {
        EXPECT_EQ(RowCounts(placed), before);
      }
      EXPECT_EQ(files.ListFolder(u"C:\\"), std::vector<std::string>{"Data.mdb"});
    } else {
      ++failed;
      std::cout << "[ INFO ] " << sample.filename().string() << ": " << outcome.number << " " << outcome.description << "\n";
      EXPECT_EQ(outcome.kind, RepairOutcome::Kind::Failed);
      EXPECT_NE(outcome.number, 0);
      EXPECT_EQ(files.ReadFile(u"C:\\Data.mdb"), original);
      EXPECT_FALSE(readable && outcome.number == 3045);
    }
  }
  std::cout << "[ INFO ] repaired " << succeeded << " samples, " << failed << " refused\n";
  EXPECT_GT(succeeded, 0);
}

std::string AsString(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The rows of the repair's error table; nothing when the table is absent.
std::optional<std::uint64_t> CompactErrorRows(const fs::path& path) {
  auto counts = RowCounts(path);
  auto found = counts.find("MSysCompactError");
  if (found == counts.end()) return std::nullopt;
  return found->second;
}

// A real database cut short: the repair loses the rows of the missing pages,
// so the damaged file stays beside the repaired one under the backup name,
// byte for byte; a further repair of the (now sound) database keeps no more.
TEST(LossyRepair, KeepsTheDamagedFileUnderTheBackupName) {
  VONDREL_REQUIRE_SAMPLES();
  auto sample = testing::Sample("jet4_northwind_2000_b.mdb");
  if (!sample) GTEST_SKIP() << "jet4_northwind_2000_b.mdb is not among the samples here";
  testing::DamageGenerator damage(testing::ReadFileBytes(sample->string()));
  const std::string damaged = AsString(damage.Truncate(damage.original().size() * 6 / 10 + 123).bytes);

  FakeFileSystem files;
  const platform::PathText folder = u"C:\\Program Files\\Tamberlo";
  files.WriteFile(folder + u"\\DATA.MDB", damaged);
  files.WriteFile(folder + u"\\data.bak", "an earlier backup");  // taken, in another case
  RepairOperation repair(files, JetEngineFactory(files));
  auto outcome = repair.Run(folder + u"\\DATA.MDB");
  ASSERT_EQ(outcome.kind, RepairOutcome::Kind::Succeeded) << outcome.number << " " << outcome.description;
  EXPECT_EQ(MessageFor(outcome).text, u"Repair was successful!");
  EXPECT_EQ(files.ListFolder(folder), (std::vector<std::string>{"DATA.bak1", "DATA.mdb", "data.bak"}));
  EXPECT_TRUE(files.ReadFile(folder + u"\\DATA.bak1") == damaged);  // compared, not printed
  EXPECT_EQ(files.ReadFile(folder + u"\\data.bak"), "an earlier backup");
  const fs::path repaired = files.DriveC() / "Program Files/Tamberlo/DATA.mdb";
  EXPECT_GT(CompactErrorRows(repaired).value_or(0), 0u);

  const auto rows_after_first = RowCounts(repaired);
  auto again = repair.Run(folder + u"\\DATA.mdb");
  ASSERT_EQ(again.kind, RepairOutcome::Kind::Succeeded) << again.number << " " << again.description;
  EXPECT_EQ(files.ListFolder(folder), (std::vector<std::string>{"DATA.bak1", "DATA.mdb", "data.bak"}));
  EXPECT_EQ(RowCounts(repaired), rows_after_first);
  EXPECT_TRUE(files.ReadFile(folder + u"\\DATA.bak1") == damaged);
}

// A disk with room for the database but not for its copy: the repair fails
// with the disk's own error, as any failed write would, and nothing changes.
TEST(RepairOnAFullDisk, FailsWithTheDisksErrorAndLeavesTheDatabaseAlone) {
  testing::ScratchDir scratch;
  const fs::path built = scratch / "built.mdb";
  {
    jet::write::DatabaseWriter db(built, {});
    const auto table = db.AddTable({"Orders",
                                    {{"Id", jet::ColumnType::Long, 0, true}, {"Note", jet::ColumnType::Text, 200}},
                                    {{"PrimaryKey", {{"Id", true}}, true}}});
    db.BeginRows(table);
    for (int id = 1; id <= 3000; ++id)
      db.Insert({jet::write::Value::Long(id), jet::write::Value::Text("order note " + std::string(60, 'x') + std::to_string(id))});
    db.EndRows();
    db.Close();
  }
  const std::string database = AsString(testing::ReadFileBytes(built.string()));

  FakeFileSystem files;
  const std::unique_ptr<testing::SmallDisk> disk =
      testing::SmallDisk::Mount(files.DriveC() / "Full", database.size() + 64 * 1024);
  if (!disk) GTEST_SKIP() << "no right to mount a small file system here";
  const platform::PathText folder = u"C:\\Full";
  files.WriteFile(folder + u"\\Data.mdb", database);
  RepairOperation repair(files, JetEngineFactory(files));
  const RepairOutcome outcome = repair.Run(folder + u"\\Data.mdb");
  ASSERT_EQ(outcome.kind, RepairOutcome::Kind::Failed);
  EXPECT_EQ(MessageFor(outcome).text,
            u"There was an error repairing the database\r\n\r\nError: 3026  Not enough space on disk.");
  EXPECT_EQ(files.ListFolder(folder), std::vector<std::string>{"Data.mdb"});
  EXPECT_TRUE(files.ReadFile(folder + u"\\Data.mdb") == database);  // compared, not printed
}

}  // namespace
}  // namespace vondrel::repair
