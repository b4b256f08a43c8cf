// libFuzzer target over compaction: the input bytes, as a damaged database
// file, are compacted (salvaged where they must be) into a fresh file, and
// that file, when there is one, is opened and checked. Refusing the input with
// a vondrel::Error is a clean outcome; a crash, a sanitizer report, another
// exception, a hang, or a problem the checker finds in our own output is a
// finding.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/error.h"
#include "jet/check/checker.h"
#include "jet/compact/compactor.h"
#include "jet/read/database.h"

namespace {

// One folder per fuzzing process, emptied before every input.
const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    auto path = std::filesystem::temp_directory_path() / ("vondrel-compact-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(path);
    return path;
  }();
  return folder;
}

void CheckOutput(const std::filesystem::path& path) {
  std::unique_ptr<jet::Database> output;
  try {
    output = jet::Database::Open(path);
  } catch (const vondrel::Error& error) {
    std::fprintf(stderr, "compacted output does not open: error %d: %s\n", error.number(),
                 error.description().c_str());
    std::abort();
  }
  const jet::CheckReport report = jet::CheckDatabase(*output);
  if (!report.HasProblems()) return;
  for (const jet::Finding& finding : report.findings) {
    if (finding.severity != jet::Severity::Problem) continue;
    std::fprintf(stderr, "problem in compacted output: table '%s', page %lld: %s\n", finding.table.c_str(),
                 static_cast<long long>(finding.page), finding.message.c_str());
  }
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path source = Folder() / "input.mdb";
  const std::filesystem::path destination = Folder() / "output.mdb";
  std::filesystem::remove(destination);
  {
    std::ofstream file(source, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!file) std::abort();
  }
  bool compacted = false;
  try {
    jet::compact::CompactDatabase(source, destination);
    compacted = true;
  } catch (const vondrel::Error&) {
    // Refused: the input is too damaged to carry over, which is an answer.
  }
  if (compacted) CheckOutput(destination);
  std::filesystem::remove(destination);
  return 0;
}
