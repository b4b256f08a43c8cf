#include "repair/jet_database_engine.h"

#include <fstream>

#include <gtest/gtest.h>

#include "repair/repair_operation.h"
#include "support/fake_file_system.h"
#include "support/samples.h"

namespace vondrel::repair {
namespace {
namespace fs = std::filesystem;
using testing::FakeFileSystem;

// Puts a copy of a sample database on drive C: under `name`; false when absent.
bool PlaceSample(FakeFileSystem& files, const std::string& sample, const std::string& name) {
  auto source = testing::Sample(sample);
  if (!source) return false;
  fs::copy_file(*source, files.DriveC() / name);
  return true;
}

std::int32_t ErrorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const vondrel::Error& error) {
    return error.number();
  }
  return 0;
}

TEST(JetDatabaseEngine, OpensThroughPathTextAndFetchesATableDefinition) {
  VONDREL_REQUIRE_SAMPLES();
  FakeFileSystem files;
  ASSERT_TRUE(PlaceSample(files, "jet4_jackcess_test2.mdb", "Test.mdb"));
  JetDatabaseEngine engine(files);
  auto database = engine.OpenDatabase(u"c:\\TEST.MDB");  // names match without regard to case
  EXPECT_NE(database->TableDefAt(1), nullptr);
  EXPECT_EQ(ErrorNumberOf([&] { database->TableDefAt(100000); }), 3265);
  EXPECT_EQ(ErrorNumberOf([&] { database->TableDefAt(-1); }), 3265);
}

TEST(JetDatabaseEngine, ReportsTheEnginesErrorsForMissingAndForeignFiles) {
  FakeFileSystem files;
  files.WriteFile(u"C:\\notes.mdb", std::string(4096, 'x'));
  JetDatabaseEngine engine(files);
  EXPECT_EQ(ErrorNumberOf([&] { engine.OpenDatabase(u"C:\\absent.mdb"); }), 3024);
  EXPECT_EQ(ErrorNumberOf([&] { engine.OpenDatabase(u"C:\\no folder\\absent.mdb"); }), 3044);
  EXPECT_NE(ErrorNumberOf([&] { engine.OpenDatabase(u"C:\\notes.mdb"); }), 0);
}

TEST(JetRepair, AFileThatIsNoDatabaseFailsAndStaysAsItWas) {
  FakeFileSystem files;
  std::string bytes(8192, '\x5a');
  files.WriteFile(u"C:\\Data\\Data.mdb", bytes);
  RepairOperation repair(files, JetEngineFactory(files));
  auto outcome = repair.Run(u"C:\\Data\\Data.mdb");
  EXPECT_EQ(outcome.kind, RepairOutcome::Kind::Failed);
  EXPECT_NE(outcome.number, 0);
  EXPECT_EQ(files.ReadFile(u"C:\\Data\\Data.mdb"), bytes);
  EXPECT_TRUE(repair.EngineCreated());
}

}  // namespace
}  // namespace vondrel::repair
