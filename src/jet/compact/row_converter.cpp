#include "jet/compact/row_converter.h"

#include <cstring>

namespace jet::compact {

RowConverter::RowConverter(const CopyJob& job) : job_(job) {
  const std::uint16_t id_column = 0;  // MSysObjects.Id and MSysACEs.ObjectId are column 0
  if (job.id_role != IdColumnRole::None) {
    for (std::size_t i = 0; i < job.target_table.columns.size(); ++i) {
      const ColumnDefinition& c = job.target_table.columns[i];
      if (c.number == id_column && c.type == ColumnType::Long) id_position_ = i;
      if (job.id_role == IdColumnRole::CatalogId && c.name == "Type" && c.type == ColumnType::Integer)
        type_position_ = i;
    }
  }
  // A column of a required index must not become NULL when its value is lost.
  required_.assign(job.target_table.columns.size(), false);
  for (const RealIndexDefinition& index : job.target_table.real_indexes) {
    if (!index.IsRequired()) continue;
    for (const IndexKeyColumn& k : index.columns) {
      for (std::size_t i = 0; i < job.target_table.columns.size(); ++i)
        if (job.target_table.columns[i].number == k.column_number) required_[i] = true;
    }
  }
}

std::span<const encode::FieldValue> RowConverter::Convert(std::span<const StoredField> fields) {
  values_.resize(fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i) {
    encode::FieldValue& v = values_[i];
    v.is_null = fields[i].is_null;
    v.boolean = fields[i].bool_value;
    v.data = fields[i].bytes.data();
    v.size = fields[i].bytes.size();
    if (fields[i].damaged && required_[i]) {
      v.is_null = false;
      static const std::uint8_t kNothing = 0;
      v.data = &kNothing;
      v.size = 0;
    }
  }
  if (id_position_ < values_.size() && !values_[id_position_].is_null && values_[id_position_].size == 4) {
    std::int32_t id;
    std::memcpy(&id, values_[id_position_].data, 4);
    id = IsTableRow() ? TableId(id) : job_.remap.Id(id);
    std::memcpy(id_bytes_, &id, 4);
    values_[id_position_].data = id_bytes_;
  }
  return values_;
}

bool RowConverter::IsTableRow() const {
  if (type_position_ >= values_.size() || values_[type_position_].is_null || values_[type_position_].size != 2)
    return false;
  std::int16_t type;
  std::memcpy(&type, values_[type_position_].data, 2);
  return type == object_types::kTable;
}

// A table's Id is its definition page, which the compaction reads from the
// Id's low 24 bits; high bits on a table row can only be damage, so the
// row gets the new page of the table it was read as.
std::int32_t RowConverter::TableId(std::int32_t old_id) const {
  const std::uint32_t page = static_cast<std::uint32_t>(old_id) & 0x00FFFFFFu;
  return job_.remap.IsTable(page) ? static_cast<std::int32_t>(job_.remap.Page(page)) : job_.remap.Id(old_id);
}

}  // namespace jet::compact
