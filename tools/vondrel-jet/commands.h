#pragma once
// The commands of vondrel-jet. Each prints to `out` (results) and `err`
// (errors and usage) and returns the process exit code: 0 success, 1 an error
// or problems found, 2 bad usage.

#include <ostream>
#include <string>
#include <vector>

namespace vondrel::jet_tool {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

using Arguments = std::vector<std::string>;  // after the command name

int RunInfo(const Arguments& args, std::ostream& out, std::ostream& err);
int RunTables(const Arguments& args, std::ostream& out, std::ostream& err);
int RunExport(const Arguments& args, std::ostream& out, std::ostream& err);
int RunDump(const Arguments& args, std::ostream& out, std::ostream& err);
int RunCheck(const Arguments& args, std::ostream& out, std::ostream& err);
int RunCompact(const Arguments& args, std::ostream& out, std::ostream& err);

// Dispatches `argv[1]` to its command.
int RunCommandLine(const Arguments& argv, std::ostream& out, std::ostream& err);

// The usage text printed on bad usage.
const char* UsageText();

}  // namespace vondrel::jet_tool
