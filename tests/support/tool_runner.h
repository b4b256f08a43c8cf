#pragma once
// Running vondrel-jet and the independent readers (mdbtools, mdb-reader) from
// tests, and the bookkeeping the conformance tests share.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vondrel::testing {

struct Captured {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs a shell command, capturing standard output and standard error.
Captured RunCaptured(const std::string& command);

// The built vondrel-jet (VONDREL_JET_TOOL), or nothing when unset.
std::optional<std::string> JetToolPath();
// Runs vondrel-jet with the given arguments (each quoted for the shell).
Captured RunJetTool(const std::vector<std::string>& args);

// True when a program is on the PATH.
bool HaveProgram(const std::string& name);
// The node script that prints mdb-reader's view, when node and mdb-reader are
// both here (VONDREL_ORACLE names the folder holding node_modules).
std::optional<std::string> MdbReaderDumpScript();

// Lines of a text, without their line ends; a final empty line is dropped.
std::vector<std::string> SplitLines(const std::string& text);

// The samples of one shard: shard k of n gets every n-th sample from k on,
// so the conformance work spreads over several test cases.
std::vector<std::string> SamplesOfShard(int shard, int shards);

// One table as `vondrel-jet dump` and tests/oracle/dump.mjs print it.
struct DumpedTable {
  std::vector<std::string> meta;  // count / columns / error lines
  std::vector<std::string> rows;  // values after "row\t", sorted
};
// Table name (as the JSON string printed) -> its dump.
std::map<std::string, DumpedTable> ParseDump(const std::string& text);

// A difference from an oracle the tests accept because the oracle is shown
// wrong; "*" matches any file or table.
struct KnownDifference {
  const char* file;
  const char* table;
  const char* reason;
};
const KnownDifference* FindKnownDifference(const std::vector<KnownDifference>& list, const std::string& file,
                                           const std::string& table);

// The first line where two texts differ, for failure messages.
std::string FirstDifference(const std::string& ours, const std::string& theirs);

}  // namespace vondrel::testing
