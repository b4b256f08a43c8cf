#pragma once
// Decides whether a converted row may be written: with checking on, every
// key must be vouched for and unique keys must not repeat; without it,
// unique keys are only remembered by hash so that a repeat can be detected.

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

  // A pass without checking need not watch index r: its keys have been seen
  // to ascend strictly, or the copy compares them in key order itself.
  void Vouched(std::size_t r);
  // Index r's keys reach the gate in ascending order (a primary key copied
  // in key order), so a repeat can only be the key admitted last: with
  // checking, that key alone is kept instead of every key.
  void ArrivesInOrder(std::size_t r);

  // Nothing when the row may be written.
  std::optional<Refusal> Admit(std::span<const encode::FieldValue> values, std::uint64_t row_tag);

  // Without checking: whether some unique index received a key twice.
  bool RepeatedUniqueKey();

 private:
  void Update();
  bool RepeatsLastAdmitted(std::size_t r, const KeyBytes& key) const;
  const CopyJob& job_;
  const write::KeyFallback& fallback_;
  std::vector<bool> vouched_;
  std::vector<bool> in_order_;
  bool active_ = false;
  std::vector<std::unordered_set<std::string>> exact_;
  std::vector<std::optional<KeyBytes>> last_admitted_;  // of the indexes in order
  std::vector<std::vector<std::uint64_t>> hashes_;
  std::vector<std::pair<std::size_t, KeyBytes>> pending_;
};

}  // namespace jet::compact
