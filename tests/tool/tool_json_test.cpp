// check --json and info --json: one JSON document (parsed here with
// nlohmann::json, an independent parser) holding the same findings and facts
// as the plain output, with the same exit code; strings escaped so that any
// bytes a damaged database holds still give valid JSON.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "vondrel-jet/json_writer.h"
#include "support/damage.h"
#include "support/salvage_corpus.h"
#include "support/samples.h"
#include "support/tool_runner.h"

namespace vondrel::testing {
namespace {

using nlohmann::json;

// A finding as the plain output prints it.
std::string PlainLine(const json& finding) {
  std::string line = finding.at("severity").get<std::string>() + ": ";
  std::string where = finding.at("table").is_null() ? "" : finding.at("table").get<std::string>();
  if (!finding.at("page").is_null())
    where += (where.empty() ? "page " : ", page ") + std::to_string(finding.at("page").get<std::int64_t>());
  if (!where.empty()) line += where + ": ";
  return line + finding.at("message").get<std::string>();
}

class ToolJson : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!JetToolPath()) GTEST_SKIP() << "VONDREL_JET_TOOL is not set";
  }

  // Runs check both ways on `file` and holds the document against the lines.
  void ExpectSameFindings(const std::string& file) {
    Captured plain = RunJetTool({"check", file});
    Captured as_json = RunJetTool({"check", "--json", file});
    EXPECT_EQ(as_json.status, plain.status);
    EXPECT_EQ(as_json.err, plain.err);
    const json document = json::parse(as_json.out);  // throws on a malformed document
    std::vector<std::string> lines = SplitLines(plain.out);
    ASSERT_FALSE(lines.empty());
    lines.pop_back();  // the summary
    std::vector<std::string> from_json;
    std::size_t problems = 0;
    for (const json& finding : document.at("findings")) {
      from_json.push_back(PlainLine(finding));
      problems += finding.at("severity") == "problem" ? 1 : 0;
    }
    EXPECT_EQ(from_json, lines);
    EXPECT_EQ(document.at("file"), file);
    EXPECT_EQ(document.at("problems").get<std::size_t>(), problems);
    EXPECT_EQ(document.at("notes").get<std::size_t>(), from_json.size() - problems);
  }

  ScratchDir scratch_;
};

TEST_F(ToolJson, CheckOfADamagedCopyListsTheProblemsWithTableAndPage) {
  const auto built = scratch_ / "built.mdb";
  BuildSalvageDatabase(built, jet::FormatVersion::Jet4, 300);
  DamageGenerator damage(ReadFileBytes(built.string()));
  const auto data_pages = damage.PagesWithRole(PageRole::Data);
  ASSERT_FALSE(data_pages.empty());
  const std::string damaged = (scratch_ / "damaged.mdb").string();
  ASSERT_TRUE(WriteFileBytes(damaged, damage.RandomizePage(data_pages.back(), 11).bytes));

  ExpectSameFindings(damaged);
  const json document = json::parse(RunJetTool({"check", "--json", damaged}).out);
  EXPECT_GT(document.at("problems").get<int>(), 0);
  bool placed = false;  // a problem that names its table and page
  for (const json& finding : document.at("findings"))
    placed = placed || (finding.at("table").is_string() && finding.at("page").is_number_integer());
  EXPECT_TRUE(placed) << document.dump();
}

TEST_F(ToolJson, CheckOfASoundDatabaseHasNoProblems) {
  const auto built = scratch_ / "built.mdb";
  BuildSalvageDatabase(built, jet::FormatVersion::Jet3, 100);
  ExpectSameFindings(built.string());
  EXPECT_EQ(json::parse(RunJetTool({"check", "--json", built.string()}).out).at("problems"), 0);
}

TEST_F(ToolJson, CheckOfASampleWithNotes) {
  VONDREL_REQUIRE_SAMPLES();
  auto path = Sample("jet4_jackcess_testIndexCodes.mdb");
  if (!path) GTEST_SKIP() << "sample absent";
  ExpectSameFindings(path->string());
  EXPECT_GT(json::parse(RunJetTool({"check", "--json", path->string()}).out).at("notes").get<int>(), 0);
}

TEST_F(ToolJson, InfoHoldsTheFactsOfThePlainOutput) {
  const auto built = scratch_ / "built.mdb";
  BuildSalvageDatabase(built, jet::FormatVersion::Jet3, 100);
  Captured plain = RunJetTool({"info", built.string()});
  Captured as_json = RunJetTool({"info", "--json", built.string()});
  ASSERT_EQ(as_json.status, 0) << as_json.err;
  EXPECT_EQ(plain.status, 0);
  const json document = json::parse(as_json.out);
  const std::string facts = "page size: " + std::to_string(document.at("page_size").get<int>()) + "\n" +
                            "page count: " + std::to_string(document.at("page_count").get<int>()) + "\n";
  EXPECT_NE(plain.out.find(facts), std::string::npos) << plain.out;
  EXPECT_NE(plain.out.find("format: " + document.at("format").get<std::string>() + "\n"), std::string::npos);
  EXPECT_TRUE(document.at("sort_order_version").is_null());  // Jet 3 records none
  std::vector<std::string> table_lines;
  for (const auto& line : SplitLines(plain.out))
    if (line.rfind("table: ", 0) == 0) table_lines.push_back(line);
  std::vector<std::string> from_json;
  for (const json& table : document.at("tables")) {
    from_json.push_back("table: " + table.at("name").get<std::string>() + "\t" +
                        std::to_string(table.at("rows").get<int>()) + " rows, " +
                        std::to_string(table.at("columns").get<int>()) + " columns, " +
                        std::to_string(table.at("indexes").get<int>()) + " indexes" +
                        (table.at("system").get<bool>() ? ", system" : ""));
  }
  EXPECT_EQ(from_json, table_lines);
}

TEST_F(ToolJson, InfoOfAProtectedSampleCarriesTheError) {
  VONDREL_REQUIRE_SAMPLES();
  auto path = Sample("jet4_ucanaccess_password.mdb");
  if (!path) GTEST_SKIP() << "sample absent";
  Captured as_json = RunJetTool({"info", "--json", path->string()});
  EXPECT_EQ(as_json.status, 1);
  const json document = json::parse(as_json.out);
  EXPECT_EQ(document.at("password"), true);
  EXPECT_EQ(document.at("error").at("number"), 3031);
  EXPECT_EQ(as_json.err, "error 3031: " + document.at("error").at("description").get<std::string>() + "\n");
}

TEST(JsonString, EscapesWhatJsonRequiresAndReplacesBytesThatAreNotUtf8) {
  const std::string text = "quote \" backslash \\ tab \t line \n bell \x07 \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x99\x82";
  EXPECT_EQ(json::parse(jet_tool::JsonString(text)).get<std::string>(), text);
  // A lone continuation byte, a cut sequence, an overlong form and a surrogate.
  const std::string broken = "a\x80" "b\xC3" "c\xC0\xAF" "d\xED\xA0\x80" "e";
  const std::string parsed = json::parse(jet_tool::JsonString(broken)).get<std::string>();
  EXPECT_EQ(parsed.front(), 'a');
  EXPECT_EQ(parsed.back(), 'e');
  EXPECT_NE(parsed.find("\xEF\xBF\xBD" "b"), std::string::npos) << parsed;
  EXPECT_EQ(parsed.find('\x80'), std::string::npos);
}

}  // namespace
}  // namespace vondrel::testing
