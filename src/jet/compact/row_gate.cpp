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
  may_repeat_.resize(indexes.size());
  last_admitted_.resize(indexes.size());
  in_order_.assign(indexes.size(), false);
}

void RowGate::ArrivesInOrder(std::size_t r) { in_order_.at(r) = true; }

void RowGate::RemembersOnly(std::size_t r, std::unordered_set<std::string> may_repeat) {
  may_repeat_.at(r) = std::move(may_repeat);
}

std::size_t RowGate::remembered_keys() const {
  std::size_t count = 0;
  for (const auto& keys : exact_) count += keys.size();
  return count;
}

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
    if (in_order_[r]) {
      if (RepeatsLastAdmitted(r, key.key)) return Repeats(r);
      pending_.emplace_back(r, std::move(key.key));
      continue;
    }
    std::string bytes(key.key.begin(), key.key.end());
    if (may_repeat_[r] && !may_repeat_[r]->count(bytes)) continue;  // a key that occurs once
    if (exact_[r].count(bytes)) return Repeats(r);
    pending_.emplace_back(r, std::move(key.key));
  }
  for (auto& [r, bytes] : pending_) {
    if (in_order_[r]) last_admitted_[r] = std::move(bytes);
    else exact_[r].emplace(bytes.begin(), bytes.end());
  }
  return std::nullopt;
}

Refusal RowGate::Repeats(std::size_t r) {
  return Refusal{kDuplicateKey, "it repeats a key of unique index " + std::to_string(r)};
}

bool RowGate::RepeatsLastAdmitted(std::size_t r, const KeyBytes& key) const {
  if (!last_admitted_[r]) return false;
  const int order = CompareKeys(*last_admitted_[r], key);
  if (order > 0) throw std::logic_error("keys said to arrive in order did not");
  return order == 0;
}

}  // namespace jet::compact
