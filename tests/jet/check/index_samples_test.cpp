// The oracle for index keys is Access itself: on every index of every
// Access-written sample, the key computed from each row must equal the key
// Access stored for it, and the index structure must be sound.

#include <gtest/gtest.h>

#include <iostream>
#include <map>

#include "jet/check/index_check.h"
#include "jet/read/database.h"
#include "support/samples.h"

namespace jet {
namespace {

struct VersionFigures {
  std::size_t files = 0;
  std::size_t indexes = 0;
  IndexKeyCounts counts;
};

TEST(IndexSamples, ComputedKeysEqualAccessKeys) {
  VONDREL_REQUIRE_SAMPLES();
  std::map<std::string, VersionFigures> figures;
  std::size_t problems = 0;
  for (const auto& path : vondrel::testing::AllSamples()) {
    std::unique_ptr<Database> database;
    try {
      database = Database::Open(path);
    } catch (const vondrel::Error&) {
      continue;  // password-protected, truncated or not Jet: other tests cover those
    }
    VersionFigures& version = figures[database->version() == FormatVersion::Jet3 ? "Jet 3" : "Jet 4"];
    ++version.files;
    for (const CatalogEntry& entry : database->Tables()) {
      TableDefinition table;
      try {
        table = database->ReadTableDefinition(entry);
      } catch (const vondrel::Error&) {
        continue;
      }
      const IndexCheckResult result = CheckTableIndexes(*database, table);
      version.indexes += result.indexes;
      version.counts += result.counts;
      for (const IndexFinding& finding : result.findings) {
        if (!finding.problem) {
          std::cout << "note: " << path.filename().string() << " table " << entry.name << ": "
                    << finding.message << "\n";
        } else {
          ++problems;
          ADD_FAILURE() << path.filename().string() << " table " << entry.name << " page " << finding.page
                        << ": " << finding.message;
        }
      }
    }
  }
  for (const auto& [name, f] : figures) {
    std::cout << name << ": " << f.files << " files, " << f.indexes << " indexes, " << f.counts.entries
              << " entries, " << f.counts.compared << " compared, " << f.counts.equal << " equal, "
              << f.counts.not_covered << " not covered, " << f.counts.mismatched << " mismatched\n";
    EXPECT_EQ(f.counts.mismatched, 0u) << name;
    EXPECT_GT(f.counts.equal, 1000u) << name;
  }
  EXPECT_EQ(figures.size(), 2u);
  EXPECT_EQ(problems, 0u);
}

}  // namespace
}  // namespace jet
