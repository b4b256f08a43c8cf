#include "support/export_oracle.h"

#include <algorithm>
#include <sstream>

#include "support/samples.h"

namespace vondrel::testing {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

}  // namespace

std::vector<std::string> MdbTables(const std::filesystem::path& database) {
  const CommandResult r = RunCommand("mdb-tables -S -1 " + ShellQuote(database.string()) + " 2>/dev/null");
  std::vector<std::string> names;
  for (std::string& line : Lines(r.output)) {
    if (!line.empty()) names.push_back(line);
  }
  return names;
}

std::vector<std::string> MdbExportSorted(const std::filesystem::path& database, const std::string& table, bool* ok) {
  const CommandResult r =
      RunCommand("mdb-export -b hex " + ShellQuote(database.string()) + " " + ShellQuote(table) + " 2>&1");
  if (ok) *ok = r.status == 0;
  std::vector<std::string> lines = Lines(r.output);
  if (!lines.empty()) lines.erase(lines.begin());
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::string MdbExportHeader(const std::filesystem::path& database, const std::string& table) {
  const CommandResult r =
      RunCommand("mdb-export -b hex " + ShellQuote(database.string()) + " " + ShellQuote(table) + " 2>/dev/null");
  const std::vector<std::string> lines = Lines(r.output);
  return lines.empty() ? std::string() : lines.front();
}

}  // namespace vondrel::testing
