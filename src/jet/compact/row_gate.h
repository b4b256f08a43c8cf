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

namespace jet::compact {

// Why a row may not be written, with the error number it is recorded under.
struct Refusal {
  std::int32_t number = 0;
  std::string reason;
};

class RowGate {
 public:
  RowGate(const CopyJob& job, const write::KeyFallback& fallback);

  // Index r has been seen to hold no key twice (the primary key, by the
  // ordering pass), so a pass without checking need not watch it.
  void Vouched(std::size_t r);

  // Nothing when the row may be written.
  std::optional<Refusal> Admit(std::span<const encode::FieldValue> values, std::uint64_t row_tag);

  // Without checking: whether some unique index received a key twice.
  bool RepeatedUniqueKey();

 private:
  void Update();
  const CopyJob& job_;
  const write::KeyFallback& fallback_;
  std::vector<bool> vouched_;
  bool active_ = false;
  std::vector<std::unordered_set<std::string>> exact_;
  std::vector<std::vector<std::uint64_t>> hashes_;
  std::vector<std::pair<std::size_t, std::string>> pending_;
};

}  // namespace jet::compact
