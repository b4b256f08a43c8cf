#include "support/tool_runner.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/samples.h"

namespace vondrel::testing {

Captured RunCaptured(const std::string& command) {
  ScratchDir scratch;
  std::string err_path = (scratch / "stderr").string();
  CommandResult result = RunCommand("(" + command + ") 2>" + ShellQuote(err_path));
  Captured captured{result.status, std::move(result.output), {}};
  std::ifstream err(err_path, std::ios::binary);
  std::ostringstream text;
  text << err.rdbuf();
  captured.err = text.str();
  return captured;
}

std::optional<std::string> JetToolPath() {
  const char* path = std::getenv("VONDREL_JET_TOOL");
  if (!path || !*path) return std::nullopt;
  return std::string(path);
}

Captured RunJetTool(const std::vector<std::string>& args) {
  std::string command = ShellQuote(JetToolPath().value_or("vondrel-jet"));
  for (const auto& arg : args) command += " " + ShellQuote(arg);
  return RunCaptured(command);
}

bool HaveProgram(const std::string& name) {
  return RunCommand("command -v " + ShellQuote(name) + " >/dev/null 2>&1").status == 0;
}

std::optional<std::string> MdbReaderDumpScript() {
  const char* oracle = std::getenv("VONDREL_ORACLE");
  if (!oracle || !*oracle || !HaveProgram("node")) return std::nullopt;
  std::filesystem::path dir(oracle);
  std::error_code ec;
  if (!std::filesystem::exists(dir / "node_modules" / "mdb-reader" / "package.json", ec)) return std::nullopt;
  if (!std::filesystem::exists(dir / "dump.mjs", ec)) return std::nullopt;
  return (dir / "dump.mjs").string();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> SamplesOfShard(int shard, int shards) {
  std::vector<std::string> mine;
  auto all = AllSamples();
  for (std::size_t i = 0; i < all.size(); ++i)
    if (static_cast<int>(i % static_cast<std::size_t>(shards)) == shard) mine.push_back(all[i].string());
  return mine;
}

std::map<std::string, DumpedTable> ParseDump(const std::string& text) {
  std::map<std::string, DumpedTable> tables;
  DumpedTable* current = nullptr;
  for (const auto& line : SplitLines(text)) {
    std::size_t tab = line.find('\t');
    std::string kind = line.substr(0, tab);
    std::string rest = tab == std::string::npos ? "" : line.substr(tab + 1);
    if (kind == "table") {
      current = &tables[rest];
    } else if (current && kind == "row") {
      current->rows.push_back(rest);
    } else if (current) {
      current->meta.push_back(line);
    }
  }
  for (auto& [name, table] : tables) std::sort(table.rows.begin(), table.rows.end());
  return tables;
}

const KnownDifference* FindKnownDifference(const std::vector<KnownDifference>& list, const std::string& file,
                                           const std::string& table) {
  for (const auto& known : list) {
    bool file_matches = std::string(known.file) == "*" || file == known.file;
    bool table_matches = std::string(known.table) == "*" || table == known.table;
    if (file_matches && table_matches) return &known;
  }
  return nullptr;
}

std::string FirstDifference(const std::string& ours, const std::string& theirs) {
  auto a = SplitLines(ours);
  auto b = SplitLines(theirs);
  for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
    std::string left = i < a.size() ? a[i] : "<end>";
    std::string right = i < b.size() ? b[i] : "<end>";
    if (left != right) {
      auto clip = [](const std::string& s) { return s.size() > 240 ? s.substr(0, 240) + "..." : s; };
      return "line " + std::to_string(i + 1) + ":\n  ours:   " + clip(left) + "\n  theirs: " + clip(right);
    }
  }
  return ours.size() == theirs.size() ? "no difference" : "a difference in line ends";
}

}  // namespace vondrel::testing
