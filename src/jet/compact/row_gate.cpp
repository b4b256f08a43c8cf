#include "jet/compact/row_gate.h"

#include <stdexcept>

#include "jet/io/error_numbers.h"
#include "jet/write/row_keys.h"

namespace jet::compact {
namespace {

constexpr std::int32_t kDuplicateKey = 3022;  // "would create duplicate values in the index"

}  // namespace

RowGate::RowGate(const CopyJob& job, const write::KeyFallback& fallback) : job_(job), fallback_(fallback) {
  const auto& indexes = job.target_table.real_indexes;
  exact_.resize(indexes.size());
  last_admitted_.resize(indexes.size());
  in_order_.assign(indexes.size(), false);
}

void RowGate::ArrivesInOrder(std::size_t r) { in_order_.at(r) = true; }

std::optional<Refusal> RowGate::Admit(std::span<const encode::FieldValue> values, std::uint64_t row_tag) {
  if (!job_.check_keys || !job_.losses) return std::nullopt;
  const auto& indexes = job_.target_table.real_indexes;
  pending_.clear();
  for (std::size_t r = 0; r < indexes.size(); ++r) {
    const RealIndexDefinition& index = indexes[r];
    write::RowKey key = write::ComputeRowKey(job_.target_table, index, values, job_.key_settings);
    if (index.IgnoresNulls() && key.all_null) continue;
    if (!key.coverage.covered) {
      std::optional<KeyBytes> vouched = fallback_ ? fallback_(r, key, row_tag) : std::nullopt;
      if (!vouched)
        return Refusal{errors::kCorrupt, "its key in index " + std::to_string(r) + " cannot be vouched for (" +
                                             key.coverage.reason + ")"};
      key.key = std::move(*vouched);
    }
    if (!index.IsUnique() || key.all_null) continue;
    const bool repeated = in_order_[r] ? RepeatsLastAdmitted(r, key.key)
                                       : exact_[r].count(std::string(key.key.begin(), key.key.end())) > 0;
    if (repeated) return Refusal{kDuplicateKey, "it repeats a key of unique index " + std::to_string(r)};
    pending_.emplace_back(r, std::move(key.key));
  }
  for (auto& [r, bytes] : pending_) {
    if (in_order_[r]) last_admitted_[r] = std::move(bytes);
    else exact_[r].emplace(bytes.begin(), bytes.end());
  }
  return std::nullopt;
}

bool RowGate::RepeatsLastAdmitted(std::size_t r, const KeyBytes& key) const {
  if (!last_admitted_[r]) return false;
  const int order = CompareKeys(*last_admitted_[r], key);
  if (order > 0) throw std::logic_error("keys said to arrive in order did not");
  return order == 0;
}

}  // namespace jet::compact
