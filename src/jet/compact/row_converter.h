#pragma once
// Converts one decoded source row to the values the writer takes, applying
// the Id remapping to the catalog's and the permissions' Id column.

#include <cstdint>
#include <span>
#include <vector>

#include "jet/compact/table_copier.h"

namespace jet::compact {

class RowConverter {
 public:
  explicit RowConverter(const CopyJob& job);
  // The values stay valid until the next call.
  std::span<const encode::FieldValue> Convert(std::span<const StoredField> fields);

 private:
  bool IsTableRow() const;
  std::int32_t TableId(std::int32_t old_id) const;

  const CopyJob& job_;
  std::size_t id_position_ = ~std::size_t{0};
  std::size_t type_position_ = ~std::size_t{0};
  std::vector<bool> required_;
  std::vector<encode::FieldValue> values_;
  std::uint8_t id_bytes_[4] = {};
};

}  // namespace jet::compact
