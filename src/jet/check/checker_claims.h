#pragma once
// Which map claimed which page first, so that a page two maps claim is found.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "jet/check/checker.h"

namespace jet {

class PageClaims {
 public:
  // Records `owner` for `page`; returns the earlier owner, or "" when new.
  std::string Claim(std::uint32_t page, const std::string& owner) {
    if (ignore_) return {};
    auto [at, inserted] = owners_.emplace(page, owner);
    return inserted ? std::string() : at->second;
  }
  // A claims object that records nothing (free-space maps overlap owned maps).
  static PageClaims& Ignored() {
    static thread_local PageClaims none(true);
    return none;
  }
  PageClaims() = default;

  // Pages the global map lists as free (filled by the checker; may be empty).
  std::vector<bool> free_pages;
  bool IsFree(std::uint32_t page) const { return page < free_pages.size() && free_pages[page]; }

 private:
  explicit PageClaims(bool ignore) : ignore_(ignore) {}
  bool ignore_ = false;
  std::unordered_map<std::uint32_t, std::string> owners_;
};

// CheckTable over a shared set of claims (CheckDatabase checks all tables
// against one another this way).
// Pages the global map (page 1, row 0) lists as free; all false when it
// cannot be read (reported as a problem when `report` is given).
std::vector<bool> GlobalFreePages(const Database& database, CheckReport* report);

void CheckTableWithClaims(const Database& database, const CatalogEntry& entry, PageClaims& claims,
                          CheckReport& report);

}  // namespace jet
