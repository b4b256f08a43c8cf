// The merge-join of stored entries and expected keys. Both sides arrive in
// row pointer order; per-entry findings carry the entry's place in tree order
// and are put back in that order at the end.

#include "jet/check/index_join.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace jet {
namespace {

// How many differing keys are listed one by one per index before they are
// only counted.
constexpr std::size_t kMaxListedPerIndex = 20;

std::string RowText(RowPointer row) { return "row " + std::to_string(row.page) + ":" + std::to_string(row.row); }

struct PlacedFinding {
  std::uint64_t order;  // of the entry it is about, in tree order
  IndexFinding finding;
  friend bool operator<(const PlacedFinding& a, const PlacedFinding& b) { return a.order < b.order; }
};

class Join {
 public:
  Join(const std::string& index_name, bool ignores_nulls, IndexCheckResult& result)
      : prefix_("index " + index_name + ": "), ignores_nulls_(ignores_nulls), result_(result) {}

  void Run(EntrySorter& stored, EntrySorter& expected) {
    CheckEntry want;
    bool have_want = expected.Next(want);
    CheckEntry entry;
    std::optional<RowPointer> previous_row;  // of the last stored entry
    bool previous_matched = false;
    while (stored.Next(entry)) {
      ++result_.counts.entries;
      if (previous_row == entry.row) {
        // A later entry (in tree order) for the same row as the one before.
        if (previous_matched) {
          Place(entry, "more than one entry for " + RowText(entry.row));
        } else {
          Place(entry, "entry points at " + RowText(entry.row) + ", which is not a live row");
        }
        continue;
      }
      while (have_want && want.row < entry.row) have_want = NextRow(expected, want, true);
      previous_row = entry.row;
      previous_matched = have_want && want.row == entry.row;
      if (!previous_matched) {
        Place(entry, "entry points at " + RowText(entry.row) + ", which is not a live row");
        continue;
      }
      Compare(entry, want);
      have_want = NextRow(expected, want, false);
    }
    while (have_want) have_want = NextRow(expected, want, true);
  }

  void Finish(std::uint32_t root_page) {
    const std::uint64_t unlisted = mismatched_ - listed_.size();
    placed_.insert(placed_.end(), std::make_move_iterator(listed_.begin()), std::make_move_iterator(listed_.end()));
    std::stable_sort(placed_.begin(), placed_.end());
    for (PlacedFinding& p : placed_) result_.findings.push_back(std::move(p.finding));
    if (unlisted > 0) Add(true, root_page, std::to_string(unlisted) + " more differing keys");
    if (missing_ > 0) {
      Add(true, root_page,
          std::to_string(missing_) + " live rows have no entry (first: " + RowText(first_missing_) + ")");
    }
    if (not_covered_ > 0) {
      Add(false, root_page, std::to_string(not_covered_) + " keys cannot be verified: " + first_reason_);
    }
  }

  void Add(bool problem, std::uint32_t page, const std::string& message) {
    result_.findings.push_back(IndexFinding{problem, page, prefix_ + message});
  }

 private:
  // Moves past the expected key for `want`'s row (and any repeat of that
  // row, which counts once), noting it as missing when no entry matched it.
  bool NextRow(EntrySorter& expected, CheckEntry& want, bool unmatched) {
    if (unmatched && !(want.all_null && ignores_nulls_) && missing_++ == 0) first_missing_ = want.row;
    const RowPointer row = want.row;
    bool more = expected.Next(want);
    while (more && want.row == row) more = expected.Next(want);
    return more;
  }

  void Compare(const CheckEntry& entry, const CheckEntry& want) {
    ++result_.counts.compared;
    if (!want.covered) {
      ++result_.counts.not_covered;
      if (not_covered_++ == 0 || entry.order < first_not_covered_) {
        first_not_covered_ = entry.order;
        first_reason_ = want.reason;
      }
      return;
    }
    if (want.key == entry.key) {
      ++result_.counts.equal;
      return;
    }
    ++result_.counts.mismatched;
    ++mismatched_;
    // Only the first differing keys in tree order are listed.
    // listed_ is a heap with the latest of them in front.
    if (listed_.size() == kMaxListedPerIndex && listed_.front().order < entry.order) return;
    listed_.push_back(
        PlacedFinding{entry.order, Finding(entry.page, "stored key of " + RowText(entry.row) + " is " +
                                                           KeyToHex(entry.key) + ", computed " + KeyToHex(want.key))});
    std::push_heap(listed_.begin(), listed_.end());
    if (listed_.size() > kMaxListedPerIndex) {
      std::pop_heap(listed_.begin(), listed_.end());
      listed_.pop_back();
    }
  }

  IndexFinding Finding(std::uint32_t page, const std::string& message) const {
    return IndexFinding{true, page, prefix_ + message};
  }
  void Place(const CheckEntry& entry, const std::string& message) {
    placed_.push_back(PlacedFinding{entry.order, Finding(entry.page, message)});
  }

  std::string prefix_;
  bool ignores_nulls_;
  IndexCheckResult& result_;
  std::vector<PlacedFinding> placed_;
  std::vector<PlacedFinding> listed_;  // the differing keys listed one by one
  std::uint64_t mismatched_ = 0;
  std::uint64_t missing_ = 0;
  RowPointer first_missing_;
  std::uint64_t not_covered_ = 0;
  std::uint64_t first_not_covered_ = 0;
  std::string first_reason_;
};

}  // namespace

void JoinIndexEntries(const std::string& index_name, std::uint32_t root_page, bool ignores_nulls,
                      const std::vector<IndexTreeProblem>& tree_problems, EntrySorter& stored, EntrySorter& expected,
                      IndexCheckResult& result) {
  Join join(index_name, ignores_nulls, result);
  for (const IndexTreeProblem& p : tree_problems) join.Add(true, p.page, p.message);
  join.Run(stored, expected);
  join.Finish(root_page);
}

}  // namespace jet
