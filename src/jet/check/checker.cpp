#include "jet/check/checker.h"

#include <algorithm>
#include <map>
#include <set>

#include "base/large_blocks.h"
#include "jet/check/checker_claims.h"
#include "jet/format/data_page_decode.h"
#include "jet/format/usage_map_decode.h"

namespace jet {
namespace {


bool AllZero(const io::ByteView& page) {
  for (std::size_t k = 0; k < page.size(); ++k)
    if (page.data()[k] != 0) return false;
  return true;
}

void CheckDataPage(const DataPage& page, std::uint32_t number, const FormatConstants& c, CheckReport& report) {
  std::size_t used = 0;
  std::size_t previous_start = c.page_size;
  for (std::uint32_t row = 0; row < page.row_count(); ++row) {
    const std::size_t start = page.RawEntry(row) & kRowOffsetMask;
    if (start < page.row_table_end() || start > previous_start) {
      report.Problem("", number,
                     "row " + std::to_string(row) + " starts at " + std::to_string(start) +
                         ", overlapping its neighbours or the row table");
      return;
    }
    used += previous_start - start;
    previous_start = start;
  }
  const std::size_t expected = c.page_size - page.row_table_end() - used;
  if (page.free_space() != expected)
    report.Problem("", number,
                   "the data page records " + std::to_string(page.free_space()) + " free bytes, its rows leave " +
                       std::to_string(expected));
}

}  // namespace

std::vector<bool> GlobalFreePages(const Database& database, CheckReport* report) {
  std::vector<bool> free(database.file().page_count(), false);
  try {
    for (std::uint32_t page : database.UsageMapPages(RowPointer{1, 0})) free[page] = true;
  } catch (const vondrel::Error& error) {
    if (report) report->Problem("", 1, "the global page map cannot be read: " + error.description());
  }
  return free;
}

std::size_t CheckReport::ProblemCount() const {
  return static_cast<std::size_t>(std::count_if(findings.begin(), findings.end(),
                                                [](const Finding& f) { return f.severity == Severity::Problem; }));
}

std::size_t CheckReport::NoteCount() const { return findings.size() - ProblemCount(); }

void CheckPages(const Database& database, CheckReport& report) {
  const io::PageFile& file = database.file();
  const FormatConstants& c = database.constants();
  if (file.has_partial_page())
    report.Problem("", -1,
                   "the file length " + std::to_string(file.file_size()) + " is not a multiple of the page size " +
                       std::to_string(c.page_size));
  const std::vector<bool> free = GlobalFreePages(database, &report);
  for (std::uint32_t number = 1; number < file.page_count(); ++number) {
    if (free[number]) continue;
    const io::ByteView page = file.Page(number);
    const std::uint8_t type = page.U8(0);
    if (type == 0 || type > static_cast<std::uint8_t>(PageType::UsageMapBitmap)) {
      // Access leaves zeroed and discarded pages behind; they only matter
      // when a map claims them, which the table checks report.
      if (!AllZero(page)) report.Note("", number, "the page has the unknown page type " + std::to_string(type));
      continue;
    }
    if (page.U8(1) != 0x01) report.Problem("", number, "the page's second byte is not 1");
    if (type != static_cast<std::uint8_t>(PageType::Data)) continue;
    try {
      CheckDataPage(DataPage(page, c), number, c, report);
    } catch (const vondrel::Error& error) {
      report.Problem("", number, error.description());
    }
  }
}

void CheckCatalog(const Database& database, CheckReport& report) {
  std::set<std::pair<std::int32_t, std::string>> names;
  std::set<std::uint32_t> definitions;
  for (const CatalogEntry& entry : database.catalog()) {
    std::string lowered;
    for (unsigned char ch : entry.name) lowered.push_back(static_cast<char>(std::tolower(ch)));
    if (!names.insert({entry.parent_id, lowered}).second)
      report.Problem("MSysObjects", entry.row.page, "the name '" + entry.name + "' occurs twice in one container");
    if (!entry.IsTable()) continue;
    const std::uint32_t page = entry.TdefPage();
    if (!definitions.insert(page).second)
      report.Problem(entry.name, page, "a second catalog entry names the definition on page " + std::to_string(page));
    if (!database.file().HasPage(page) ||
        database.file().Page(page).U8(0) != static_cast<std::uint8_t>(PageType::TableDefinition))
      report.Problem(entry.name, page, "the catalog names page " + std::to_string(page) +
                                           " as the table's definition, which it is not");
  }
}

CheckReport CheckDatabase(const Database& database) {
  vondrel::ReturnLargeBlocksToTheSystem();  // memory stays bounded as buffers come and go
  CheckReport report;
  CheckPages(database, report);
  CheckCatalog(database, report);
  PageClaims claims;
  claims.free_pages = GlobalFreePages(database, nullptr);
  std::set<std::uint32_t> checked;
  for (const CatalogEntry& entry : database.Tables()) {
    // A definition listed twice is checked once (and the catalog check names it).
    if (checked.insert(entry.TdefPage()).second) CheckTableWithClaims(database, entry, claims, report);
  }
  return report;
}

}  // namespace jet
