// The whole utility on the real engine: choose Tamberlo, Find, repair a real
// database in Tamberlo's default folder on a temporary drive C:.

#include <QTest>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "jet/dao/dao.h"
#include "repair/jet_database_engine.h"
#include "support/samples.h"
#include "window/window_fixture.h"

namespace vondrel::window {
namespace {

namespace fs = std::filesystem;
using testing::ShellQuote;
using testing::ShownMessage;

constexpr char kSampleName[] = "jet4_vb_dreamvb_Tables.mdb";

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Every user table exported by mdbtools, one block per table.
std::string ExportAll(const fs::path& database) {
  const testing::CommandResult tables = testing::RunCommand("mdb-tables -1 " + ShellQuote(database.string()));
  EXPECT_EQ(tables.status, 0);
  std::string all;
  std::istringstream names(tables.output);
  for (std::string table; std::getline(names, table);) {
    if (table.empty()) continue;
    const testing::CommandResult rows =
        testing::RunCommand("mdb-export " + ShellQuote(database.string()) + " " + ShellQuote(table));
    EXPECT_EQ(rows.status, 0) << table;
    all += "== " + table + "\n" + rows.output;
  }
  return all;
}

// "There was an error repairing the database", an empty line, then "Error: ",
// a decimal number without leading zeros, two spaces and a description.
bool IsErrorMessage(const std::string& text) {
  const std::string head = "There was an error repairing the database\n\nError: ";
  if (text.compare(0, head.size(), head) != 0) return false;
  std::size_t at = head.size();
  if (at < text.size() && text[at] == '-') ++at;
  const std::size_t digits = at;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
  if (at == digits || text[digits] == '0') return false;
  return text.compare(at, 2, "  ") == 0 && text.size() > at + 2;
}

class EndToEndTest : public ::testing::Test {
 protected:
  QApplication& application = testing::EnsureQtApplication();
  testing::FakeFileSystem files;
  repair::RepairOperation repair{files, repair::JetEngineFactory(files)};
  std::unique_ptr<Vondrel> window;

  fs::path DefaultDatabase() const { return files.DriveC() / "Program Files" / "Tamberlo" / "Data.mdb"; }

  void OpenAndFind() {
    files.MakeFolder(u"C:\\Tools");
    files.SetProgramFolder(u"C:\\Tools");
    window = std::make_unique<Vondrel>(files, repair);
    window->show();
    window->optSelect(0)->click();
    QTest::mouseClick(window->cmdFind(), Qt::LeftButton);
    ASSERT_EQ(window->txtPath()->toPlainText().toStdString(), "c:\\Program Files\\Tamberlo\\Data.mdb");
    ASSERT_TRUE(window->cmdRepair()->isEnabled());
  }

  std::vector<ShownMessage> PressRepair() {
    return testing::CatchMessages([&] { QTest::mouseClick(window->cmdRepair(), Qt::LeftButton); });
  }
};

TEST_F(EndToEndTest, RepairsARealDatabaseFoundInTheDefaultFolder) {
  VONDREL_REQUIRE_SAMPLES();
  const std::optional<fs::path> sample = testing::Sample(kSampleName);
  if (!sample) GTEST_SKIP() << kSampleName << " is not among the samples here";
  {
    // Until the engine can compact, there is nothing to repair with.
    testing::ScratchDir probe;
    try {
      jet::dao::DBEngine().CompactDatabase(*sample, probe / "probe.mdb");
    } catch (const Error& error) {
      GTEST_SKIP() << "the engine does not compact yet: " << error.number() << " " << error.description();
    }
  }
  const std::string before = ExportAll(*sample);
  ASSERT_NE(before.find("== "), std::string::npos);
  fs::create_directories(DefaultDatabase().parent_path());
  fs::copy_file(*sample, DefaultDatabase());
  // The samples are read-only, and a read-only database cannot be replaced.
  fs::permissions(DefaultDatabase(), fs::perms::owner_read | fs::perms::owner_write);

  OpenAndFind();
  const std::vector<ShownMessage> shown = PressRepair();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Repair was successful!");
  EXPECT_EQ(shown[0].title, "Finished");
  EXPECT_EQ(shown[0].icon, QMessageBox::Warning);
  EXPECT_EQ(shown[0].owner, window.get());
  EXPECT_EQ(ExportAll(DefaultDatabase()), before);
  EXPECT_FALSE(fs::exists(DefaultDatabase().parent_path() / "Data.rpr"));
}

TEST_F(EndToEndTest, AFileThatIsNotADatabaseShowsTheErrorAndStaysAsItWas) {
  const std::string bytes = "This is a shopping list, not a database.\n";
  files.WriteFile(u"C:\\Program Files\\Tamberlo\\Data.mdb", bytes);
  OpenAndFind();
  const std::vector<ShownMessage> shown = PressRepair();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_TRUE(IsErrorMessage(shown[0].text)) << shown[0].text;
  EXPECT_EQ(shown[0].title, "Error");
  EXPECT_EQ(shown[0].icon, QMessageBox::Critical);
  EXPECT_EQ(shown[0].buttons, std::vector<std::string>{"OK"});
  EXPECT_EQ(FileBytes(DefaultDatabase()), bytes);
}

}  // namespace
}  // namespace vondrel::window
