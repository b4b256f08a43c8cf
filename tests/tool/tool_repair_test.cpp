// vondrel-jet repair: the window's repair on a file named on the command
// line. Its message is the one the same RepairOperation gives in this
// process on an identical copy, to the byte (CR LF included); the exit code
// follows the outcome; the button's rules hold (leftover copy, in-use
// refusal, lower-case extension, Windows path text).
#include <gtest/gtest.h>

#include <regex>

#include "jet/io/file_lock.h"
#include "platform/host_file_system.h"
#include "platform/path_text.h"
#include "repair/jet_database_engine.h"
#include "repair/repair_operation.h"
#include "support/damage.h"
#include "support/salvage_corpus.h"
#include "support/samples.h"
#include "support/tool_runner.h"

namespace vondrel::testing {
namespace {

namespace fs = std::filesystem;

const std::regex kErrorMessage(
    "There was an error repairing the database\r\n\r\nError: -?[0-9]+  [^\r\n]+\n");

// The message of a repair of `file` run here, as the window runs it, plus the
// newline the tool adds. The file is written from `bytes` first, and again
// afterwards with whatever the run left beside it removed, so that the tool
// then meets the same file under the same name (error texts name the file).
std::string MessageInProcess(const std::vector<std::uint8_t>& bytes, const fs::path& file,
                             repair::RepairOutcome::Kind* kind = nullptr) {
  const fs::path folder = file.parent_path();
  fs::remove_all(folder);
  fs::create_directories(folder);
  EXPECT_TRUE(WriteFileBytes(file.string(), bytes)) << file;
  platform::HostFileSystem files;
  repair::RepairOperation operation(files, repair::JetEngineFactory(files));
  const repair::RepairOutcome outcome = operation.Run(files.Drives().ShowHostPath(file));
  if (kind) *kind = outcome.kind;
  fs::remove_all(folder);
  fs::create_directories(folder);
  EXPECT_TRUE(WriteFileBytes(file.string(), bytes)) << file;
  return platform::ToUtf8(repair::MessageFor(outcome).text) + "\n";
}

class ToolRepair : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!JetToolPath()) GTEST_SKIP() << "VONDREL_JET_TOOL is not set";
  }
  // A database the tests build, in the scratch folder under `name`.
  fs::path Built(const std::string& name) {
    const fs::path path = scratch_ / name;
    BuildSalvageDatabase(path, jet::FormatVersion::Jet4, 300);
    return path;
  }
  ScratchDir scratch_;
};

TEST_F(ToolRepair, BuiltDatabaseIsReplacedAndSaysSo) {
  const fs::path file = Built("Data.mdb");
  ASSERT_TRUE(WriteFileBytes((scratch_ / "Data.rpr").string(), {1, 2, 3}));  // a leftover copy
  Captured run = RunJetTool({"repair", file.string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Repair was successful!\n");
  EXPECT_EQ(run.err, "");
  EXPECT_FALSE(fs::exists(scratch_ / "Data.rpr"));
  EXPECT_EQ(RunJetTool({"check", file.string()}).status, 0);
}

TEST_F(ToolRepair, RelativePathWithCapitalExtensionEndsLowerCase) {
  Built("Upper.MDB");
  Captured run = RunCaptured("cd " + ShellQuote(scratch_.path().string()) + " && " + ShellQuote(*JetToolPath()) +
                             " repair Upper.MDB");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::exists(scratch_ / "Upper.mdb"));
  EXPECT_FALSE(fs::exists(scratch_ / "Upper.MDB"));
}

TEST_F(ToolRepair, WindowsPathTextReachesTheFileThroughDriveZ) {
  const fs::path file = Built("Text.mdb");
  // A prefix without dosdevices: Z: = / is the only drive.
  std::string text = "Z:" + fs::weakly_canonical(file).string();
  std::replace(text.begin(), text.end(), '/', '\\');
  const std::string prefix = "env WINEPREFIX=" + ShellQuote((scratch_ / "no-prefix").string()) + " ";
  Captured run = RunCaptured(prefix + ShellQuote(*JetToolPath()) + " repair " + ShellQuote(text));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "Repair was successful!\n");

  Captured unknown = RunCaptured(prefix + ShellQuote(*JetToolPath()) + " repair 'Q:\\Data\\Data.mdb'");
  EXPECT_EQ(unknown.status, 1);
  EXPECT_TRUE(std::regex_match(unknown.err, kErrorMessage)) << unknown.err;
  EXPECT_EQ(unknown.out, "");
}

TEST_F(ToolRepair, DamagedCopyThatCannotBeRepairedIsLeftAsItWas) {
  const fs::path built = Built("built.mdb");
  DamageGenerator damage(ReadFileBytes(built.string()));
  // Cut before page 2, which holds the catalog's definition: nothing can be read.
  const DamagedCopy copy = damage.Truncate(2 * damage.page_size());
  const fs::path file = scratch_ / "copy" / "damaged.mdb";
  repair::RepairOutcome::Kind kind;
  const std::string expected = MessageInProcess(copy.bytes, file, &kind);
  ASSERT_EQ(kind, repair::RepairOutcome::Kind::Failed) << copy.description;

  Captured run = RunJetTool({"repair", file.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, expected);
  EXPECT_TRUE(std::regex_match(run.err, kErrorMessage)) << run.err;
  EXPECT_EQ(ReadFileBytes(file.string()), copy.bytes);
}

TEST_F(ToolRepair, DamagedCopyThatSalvageRepairsSucceeds) {
  const fs::path built = Built("built.mdb");
  DamageGenerator damage(ReadFileBytes(built.string()));
  const DamagedCopy copy = damage.FlipBits(7, 40, PageRole::Data);
  const fs::path file = scratch_ / "copy" / "damaged.mdb";
  repair::RepairOutcome::Kind kind;
  const std::string expected = MessageInProcess(copy.bytes, file, &kind);
  ASSERT_EQ(kind, repair::RepairOutcome::Kind::Succeeded) << copy.description;

  Captured run = RunJetTool({"repair", file.string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(RunJetTool({"check", file.string()}).status, 0);
}

TEST_F(ToolRepair, DatabaseInUseIsRefused) {
  const fs::path file = Built("Busy.mdb");
  const auto before = ReadFileBytes(file.string());
  {
    auto lock = jet::io::DatabaseFileLock::Acquire(file, jet::io::LockIntent::Compact);
    Captured run = RunJetTool({"repair", file.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("There was an error repairing the database\r\n\r\nError: 3045  ", 0), 0u) << run.err;
  }
  EXPECT_EQ(ReadFileBytes(file.string()), before);
  EXPECT_EQ(RunJetTool({"repair", file.string()}).status, 0);
}

TEST_F(ToolRepair, SampleCopyGivesTheWindowsMessage) {
  VONDREL_REQUIRE_SAMPLES();
  auto sample = Sample("jet4_jackcess_testIndexCodes.mdb");
  if (!sample) GTEST_SKIP() << "sample absent";
  // Written anew: writable, unlike the samples.
  const fs::path file = scratch_ / "copy" / "sample.mdb";
  const std::string expected = MessageInProcess(ReadFileBytes(sample->string()), file);
  Captured run = RunJetTool({"repair", file.string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.out, "Repair was successful!\n");
}

TEST_F(ToolRepair, BadUsageExitsTwo) {
  EXPECT_EQ(RunJetTool({"repair"}).status, 2);
  EXPECT_EQ(RunJetTool({"repair", "a.mdb", "b.mdb"}).status, 2);
  // An empty name is the window's empty path box.
  Captured empty = RunJetTool({"repair", ""});
  EXPECT_EQ(empty.status, 2);
  EXPECT_EQ(empty.err, "You must select a file to repair.\n");
}

}  // namespace
}  // namespace vondrel::testing
