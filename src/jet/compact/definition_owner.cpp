#include "jet/compact/definition_owner.h"

#include <algorithm>
#include <map>

#include "jet/format/format_constants.h"
#include "jet/read/catalog.h"

namespace jet::compact {
namespace {

// Data pages of a map read for evidence; a few are enough to tell.
constexpr std::size_t kMapPagesConsulted = 16;

struct Evidence {
  std::map<std::uint32_t, int> votes;  // owner field -> pages naming it
  int index_roots = 0;                 // votes from index root pages
  int total = 0;
};

// The owner fields of the pages a definition points at: its index roots,
// then the first data pages its map names.
void CountOwners(const Database& db, const TableDefinition& definition, Evidence& e) {
  for (const RealIndexDefinition& index : definition.real_indexes) {
    if (!db.file().HasPage(index.root_page) || index.root_page == 0) continue;
    const io::ByteView page = db.file().Page(index.root_page);
    const auto type = static_cast<PageType>(page.U8(0));
    if (type != PageType::IndexNode && type != PageType::IndexLeaf) continue;
    ++e.votes[page.U32(4)];
    ++e.index_roots;
    ++e.total;
  }
  const std::vector<std::uint32_t> pages = db.UsageMapPages(definition.owned_map);  // throws when unreadable
  std::size_t consulted = 0;
  for (std::uint32_t number : pages) {
    if (consulted == kMapPagesConsulted) break;
    const io::ByteView page = db.file().Page(number);
    if (page.U8(0) != static_cast<std::uint8_t>(PageType::Data)) continue;
    const std::uint32_t owner = page.U32(4);
    if (owner == 0 || owner == kLongValueOwner) continue;
    ++e.votes[owner];
    ++e.total;
    ++consulted;
  }
}

Evidence EvidenceOf(const Database& db, const TableDefinition& definition) {
  Evidence e;
  try {
    CountOwners(db, definition, e);
  } catch (const vondrel::Error&) {
    // A page that cannot be read gives no further evidence.
  }
  return e;
}

// Engine system tables (named MSys..., flagged by the engine) are stored
// with the system table type, every other table with the normal one.
bool TypeFits(const TableDefinition& definition, const DefinitionRead& table) {
  const bool engine_system = (table.flags & object_flags::kEngineSystem) != 0 && table.name.rfind("MSys", 0) == 0;
  return definition.IsSystemTable() == engine_system;
}

// Whether everything the evidence names is `page` (nothing named counts too).
bool NamesOnly(const Evidence& e, std::uint32_t page) {
  return e.total == 0 || (e.votes.size() == 1 && e.votes.begin()->first == page);
}

}  // namespace

std::vector<DefinitionMismatch> MatchDefinitionsToPages(const Database& db, std::vector<DefinitionRead>& reads) {
  std::vector<Evidence> evidence(reads.size());
  std::vector<bool> misplaced(reads.size(), false);
  for (std::size_t i = 0; i < reads.size(); ++i) {
    if (!reads[i].definition || reads[i].page == kCatalogTdefPage) continue;
    evidence[i] = EvidenceOf(db, *reads[i].definition);
    const bool home = evidence[i].votes.count(reads[i].page) != 0;
    misplaced[i] = !home && (evidence[i].total > 0 || !TypeFits(*reads[i].definition, reads[i]));
  }
  std::vector<DefinitionMismatch> found;
  std::vector<bool> settled(reads.size(), false);
  for (std::size_t i = 0; i < reads.size(); ++i) {
    if (!misplaced[i] || settled[i]) continue;
    for (std::size_t j = i + 1; j < reads.size(); ++j) {
      if (!misplaced[j] || settled[j]) continue;
      const TableDefinition& mine = *reads[i].definition;
      const TableDefinition& theirs = *reads[j].definition;
      if (!NamesOnly(evidence[i], reads[j].page) || !NamesOnly(evidence[j], reads[i].page)) continue;
      if (!TypeFits(mine, reads[j]) || !TypeFits(theirs, reads[i])) continue;
      // One swapped index or data page can make single pieces of evidence
      // point at each other, and a damaged map names anything: without the
      // types, an index root and a second page must agree as well.
      const bool types_tell = !TypeFits(mine, reads[i]) || !TypeFits(theirs, reads[j]);
      const bool pages_tell = evidence[i].index_roots + evidence[j].index_roots > 0 &&
                              std::max(evidence[i].total, evidence[j].total) >= 2;
      if (!types_tell && !pages_tell) continue;
      std::swap(reads[i].definition, reads[j].definition);
      reads[i].definition->tdef_page = reads[i].page;
      reads[j].definition->tdef_page = reads[j].page;
      settled[i] = settled[j] = true;
      found.push_back({i, j, true});
      found.push_back({j, i, true});
      break;
    }
    if (settled[i]) continue;
    // No partner: the definition is another table's when its type is wrong
    // for this table and everything it points at names one other page.
    if (!TypeFits(*reads[i].definition, reads[i]) && evidence[i].votes.size() == 1) {
      reads[i].definition.reset();
      settled[i] = true;
      found.push_back({i, i, false});
    }
  }
  return found;
}

}  // namespace jet::compact
