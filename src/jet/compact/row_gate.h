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

  // Nothing when the row may be written.
  std::optional<Refusal> Admit(std::span<const encode::FieldValue> values, std::uint64_t row_tag);

 private:
  bool RepeatsLastAdmitted(std::size_t r, const KeyBytes& key) const;
  const CopyJob& job_;
  const write::KeyFallback& fallback_;
  std::vector<bool> in_order_;
  std::vector<std::unordered_set<std::string>> exact_;
  std::vector<std::optional<KeyBytes>> last_admitted_;  // of the indexes in order
  std::vector<std::pair<std::size_t, KeyBytes>> pending_;
};

}  // namespace jet::compact
