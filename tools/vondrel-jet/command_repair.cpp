// repair FILE: the repair of the window's Repair button, run by the same
// RepairOperation over the host file system and the Jet engine. Prints the
// message the window would show, as UTF-8 with its CR LF line breaks kept,
// followed by a newline: the success text on standard output, the NothingSelected
// and error texts on standard error.
#include <cctype>
#include <filesystem>

#include "commands.h"
#include "platform/host_file_system.h"
#include "platform/path_text.h"
#include "progress_meter.h"
#include "tool_database.h"
#include "repair/jet_database_engine.h"
#include "repair/repair_operation.h"

namespace vondrel::jet_tool {
namespace {

// Windows path text starts with a drive letter and a colon ("C:\Data\x.mdb",
// "c:x.mdb") or a backslash; anything else is a host path. A host file whose
// name looks like a drive can be given as ./c:x.mdb.
bool IsPathText(const std::string& file) {
  if (file.size() >= 2 && std::isalpha(static_cast<unsigned char>(file[0])) && file[1] == ':') return true;
  return !file.empty() && file[0] == '\\';
}

// A host path as path text (on Linux under the drive that holds its folder,
// Z: = / at least). The last name stays as written, so a link is replaced,
// not its target (as when it is picked in the window's file list).
platform::PathText ShowAsPathText(const platform::HostFileSystem& files, const std::string& file) {
  return files.ShowHostPath(std::filesystem::absolute(HostPathOf(file)));
}

}  // namespace

int RunRepair(const Arguments& args, std::ostream& out, std::ostream& err, const ToolSettings& settings) {
  if (args.size() != 1) {
    err << "usage: vondrel-jet repair FILE\n";
    return kExitUsage;
  }
  const std::string& file = args[0];
  ProgressMeter meter(err, settings);
  platform::HostFileSystem files;
  repair::RepairOperation operation(files, repair::JetEngineFactory(files, meter.Options()));

  repair::RepairOutcome outcome;
  if (file.empty()) {
    outcome = operation.Run(platform::PathText());
  } else if (IsPathText(file)) {
    outcome = operation.Run(platform::FromUtf8(file));
  } else {
    try {
      outcome = operation.Run(ShowAsPathText(files, file));
    } catch (const vondrel::Error& error) {  // no drive holds the folder
      outcome = repair::RepairOutcome::Failed(error.number(), error.description());
    }
  }
  meter.Clear();

  const std::string text = platform::ToUtf8(repair::MessageFor(outcome).text);
  switch (outcome.kind) {
    case repair::RepairOutcome::Kind::Succeeded:
      out << text << "\n";
      return kExitSuccess;
    case repair::RepairOutcome::Kind::NothingSelected:
      err << text << "\n";
      return kExitUsage;
    case repair::RepairOutcome::Kind::Failed:
      break;
  }
  err << text << "\n";
  return kExitFailure;
}

}  // namespace vondrel::jet_tool
