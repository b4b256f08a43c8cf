#pragma once
// The commands of vondrel-jet. Each prints to `out` (results) and `err`
// (errors, usage and progress) and returns the process exit code: 0 success,
// 1 an error, problems found or a failed repair, 2 bad usage.

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

namespace vondrel::jet_tool {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

using Arguments = std::vector<std::string>;  // after the command name

// What the commands learn from the process around them.
struct ToolSettings {
  // Standard error is a terminal, so progress may be shown there.
  bool err_is_terminal = false;
  // How long work runs before its progress shows.
  std::chrono::milliseconds progress_delay{1000};
};

int RunInfo(const Arguments& args, std::ostream& out, std::ostream& err, const ToolSettings& settings);
int RunTables(const Arguments& args, std::ostream& out, std::ostream& err, const ToolSettings& settings);
int RunExport(const Arguments& args, std::ostream& out, std::ostream& err, const ToolSettings& settings);
int RunDump(const Arguments& args, std::ostream& out, std::ostream& err, const ToolSettings& settings);
int RunCheck(const Arguments& args, std::ostream& out, std::ostream& err, const ToolSettings& settings);
int RunCompact(const Arguments& args, std::ostream& out, std::ostream& err, const ToolSettings& settings);
int RunRepair(const Arguments& args, std::ostream& out, std::ostream& err, const ToolSettings& settings);

// Dispatches `argv[1]` to its command; answers --help, --version and
// COMMAND --help.
int RunCommandLine(const Arguments& argv, std::ostream& out, std::ostream& err, const ToolSettings& settings = {});

// The text of --help, also printed on bad usage.
const char* UsageText();
// The text of `COMMAND --help`; nothing for an unknown command.
const char* CommandHelpText(const std::string& command);
// The text of --version.
std::string VersionText();

// Takes `option` out of `args`; true when it was there.
bool TakeOption(Arguments& args, const std::string& option);

}  // namespace vondrel::jet_tool
