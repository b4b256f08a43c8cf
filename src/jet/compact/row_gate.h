#pragma once
// Decides whether a converted row may be written in a pass that records
// losses: every key must be vouched for and unique keys must not repeat.
// A pass without checking admits every row; a unique key it writes twice
// shows where the index's sorted entries meet (TableResult's repeated_keys).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "jet/compact/table_copier.h"
#include "jet/format/index_key.h"

namespace jet::compact {

// Why a row may not be written, with the error number it is recorded under.
struct Refusal {
  std::int32_t number = 0;
  std::string reason;
};

class RowGate {
 public:
  RowGate(const CopyJob& job, const write::KeyFallback& fallback);

  // Index r's keys reach the gate in ascending order (a primary key copied
  // in key order), so a repeat can only be the key admitted last: with
  // checking, that key alone is kept instead of every key.
  void ArrivesInOrder(std::size_t r);
  // The keys of unique index r that occur more than once among the rows to
  // come (found by reading them all first): only these can repeat, so only
  // these are remembered as rows are admitted, instead of every key.
  void RemembersOnly(std::size_t r, std::unordered_set<std::string> may_repeat);
  bool in_order(std::size_t r) const { return in_order_.at(r); }
  // Keys remembered so far to find repeats.
  std::size_t remembered_keys() const;

  // Nothing when the row may be written.
  std::optional<Refusal> Admit(std::span<const encode::FieldValue> values, std::uint64_t row_tag);

 private:
  bool RepeatsLastAdmitted(std::size_t r, const KeyBytes& key) const;
  static Refusal Repeats(std::size_t r);
  const CopyJob& job_;
  const write::KeyFallback& fallback_;
  std::vector<bool> in_order_;
  std::vector<std::unordered_set<std::string>> exact_;
  std::vector<std::optional<std::unordered_set<std::string>>> may_repeat_;  // of the indexes given one
  std::vector<std::optional<KeyBytes>> last_admitted_;  // of the indexes in order
  std::vector<std::pair<std::size_t, KeyBytes>> pending_;
};

}  // namespace jet::compact
