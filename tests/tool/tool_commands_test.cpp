// vondrel-jet as a program: exit codes (0 success, 1 error or problems, 2
// bad usage), errors printed with number and description, check output that
// a script can split into notes and problems.
#include <gtest/gtest.h>

#include "support/damage.h"
#include "support/samples.h"
#include "support/tool_runner.h"

namespace vondrel::testing {
namespace {

class ToolCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!JetToolPath()) GTEST_SKIP() << "VONDREL_JET_TOOL is not set";
  }
};

TEST_F(ToolCommands, BadUsageExitsTwo) {
  EXPECT_EQ(RunJetTool({}).status, 2);
  EXPECT_EQ(RunJetTool({"frobnicate", "x.mdb"}).status, 2);
  EXPECT_EQ(RunJetTool({"export", "only-a-file.mdb"}).status, 2);
  EXPECT_EQ(RunJetTool({"compact", "a.mdb"}).status, 2);
  EXPECT_EQ(RunJetTool({"check"}).status, 2);
  Captured usage = RunJetTool({"info"});
  EXPECT_EQ(usage.status, 2);
  EXPECT_NE(usage.err.find("usage:"), std::string::npos);
}

TEST_F(ToolCommands, ErrorsCarryNumberAndDescription) {
  ScratchDir scratch;
  Captured missing = RunJetTool({"info", (scratch / "absent.mdb").string()});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err.rfind("error 3024: ", 0), 0u) << missing.err;

  std::string text_file = (scratch / "notes.mdb").string();
  ASSERT_TRUE(WriteFileBytes(text_file, std::vector<std::uint8_t>(5000, 'x')));
  for (const char* command : {"info", "tables", "check"}) {
    Captured foreign = RunJetTool({command, text_file});
    EXPECT_EQ(foreign.status, 1) << command;
    EXPECT_EQ(foreign.err.rfind("error 3343: ", 0), 0u) << command << ": " << foreign.err;
  }
}

TEST_F(ToolCommands, ExportOfAnUnknownTableIsItemNotFound) {
  VONDREL_REQUIRE_SAMPLES();
  auto path = Sample("jet3_jackcess_testV1997.mdb");
  if (!path) GTEST_SKIP() << "sample absent";
  Captured unknown = RunJetTool({"export", path->string(), "NoSuchTable"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.err.rfind("error 3265: ", 0), 0u) << unknown.err;
  // Names match regardless of case, as in Access.
  Captured lower = RunJetTool({"export", path->string(), "table1"});
  EXPECT_EQ(lower.status, 0) << lower.err;
  EXPECT_EQ(SplitLines(lower.out).front(), "A,B,C,D,E,F,G,H,I");
}

TEST_F(ToolCommands, InfoShowsTheHeaderFacts) {
  VONDREL_REQUIRE_SAMPLES();
  auto jet3 = Sample("jet3_jackcess_testV1997.mdb");
  auto locked = Sample("jet4_ucanaccess_password.mdb");
  if (!jet3 || !locked) GTEST_SKIP() << "samples absent";
  Captured info = RunJetTool({"info", jet3->string()});
  EXPECT_EQ(info.status, 0) << info.err;
  for (const char* fact : {"format: Jet 3", "page size: 2048", "sort order: 1033", "code page: 1252",
                           "password: none", "encoding: none", "table: MSysObjects\t", "table: Table1\t2 rows"})
    EXPECT_NE(info.out.find(fact), std::string::npos) << fact << "\n" << info.out;
  // A password-protected file shows its header, then the refusal.
  Captured protected_info = RunJetTool({"info", locked->string()});
  EXPECT_EQ(protected_info.status, 1);
  EXPECT_NE(protected_info.out.find("password: set"), std::string::npos) << protected_info.out;
  EXPECT_NE(protected_info.out.find("format: Jet 4"), std::string::npos);
  EXPECT_EQ(protected_info.err.rfind("error 3031: ", 0), 0u) << protected_info.err;
}

TEST_F(ToolCommands, StaleRowCountIsANoteAndExitsZero) {
  VONDREL_REQUIRE_SAMPLES();
  auto path = Sample("jet4_jackcess_testIndexCodes.mdb");
  if (!path) GTEST_SKIP() << "sample absent";
  Captured check = RunJetTool({"check", path->string()});
  EXPECT_EQ(check.status, 0) << check.out << check.err;
  bool stale_note = false;
  for (const auto& line : SplitLines(check.out)) {
    EXPECT_EQ(line.rfind("problem: ", 0), std::string::npos) << line;
    if (line.rfind("note: Table1, ", 0) == 0 && line.find("274") != std::string::npos &&
        line.find("275") != std::string::npos)
      stale_note = true;
  }
  EXPECT_TRUE(stale_note) << check.out;
  EXPECT_NE(check.out.find(": 0 problems, "), std::string::npos);
}

TEST_F(ToolCommands, DamageIsAProblemAndExitsOne) {
  VONDREL_REQUIRE_SAMPLES();
  auto path = Sample("jet4_jackcess_test2.mdb");
  if (!path) GTEST_SKIP() << "sample absent";
  DamageGenerator generator(ReadFileBytes(path->string()));
  auto data_pages = generator.PagesWithRole(PageRole::Data);
  ASSERT_FALSE(data_pages.empty());
  ScratchDir scratch;
  std::string damaged = (scratch / "damaged.mdb").string();
  ASSERT_TRUE(WriteFileBytes(damaged, generator.RandomizePage(data_pages.front(), 7).bytes));
  Captured check = RunJetTool({"check", damaged});
  EXPECT_EQ(check.status, 1) << check.out;
  int problems = 0;
  for (const auto& line : SplitLines(check.out)) problems += line.rfind("problem: ", 0) == 0 ? 1 : 0;
  EXPECT_GT(problems, 0) << check.out;
  EXPECT_NE(check.err.find("error "), std::string::npos) << check.err;
}

TEST_F(ToolCommands, TruncatedSampleGivesAClearError) {
  VONDREL_REQUIRE_SAMPLES();
  auto path = Sample("jet4_mimetype_truncated_8k.mdb");
  if (!path) GTEST_SKIP() << "sample absent";
  for (const char* command : {"info", "tables", "check", "dump"}) {
    Captured result = RunJetTool({command, path->string()});
    EXPECT_EQ(result.status, 1) << command;
    EXPECT_EQ(result.err.find("error 3049: ") == std::string::npos &&
                  result.err.find("error 3343: ") == std::string::npos,
              false)
        << command << ": " << result.err;
  }
}

TEST_F(ToolCommands, DumpKeepsWhatExportCannotShow) {
  VONDREL_REQUIRE_SAMPLES();
  auto path = Sample("jet3_jackcess_testV1997.mdb");
  if (!path) GTEST_SKIP() << "sample absent";
  // MSysObjects.Owner holds bytes after a 0x00, which the CSV dialect cuts
  // off and the comparison form keeps.
  Captured dump = RunJetTool({"dump", path->string(), "MSysObjects"});
  ASSERT_EQ(dump.status, 0) << dump.err;
  auto lines = SplitLines(dump.out);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "table\t\"MSysObjects\"");
  EXPECT_EQ(lines[1].rfind("count\t", 0), 0u);
  EXPECT_EQ(lines[2].rfind("columns\t\"Id\"\t\"ParentId\"\t\"Name\"", 0), 0u) << lines[2];
  EXPECT_EQ(lines[3].rfind("row\t", 0), 0u);
  Captured unknown = RunJetTool({"dump", path->string(), "NoSuchTable"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_NE(unknown.out.find("error\t\"error 3265: "), std::string::npos) << unknown.out;
}

}  // namespace
}  // namespace vondrel::testing
