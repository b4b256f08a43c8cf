#include "jet/compact/definition_repair.h"

#include <algorithm>
#include <set>

#include "base/error.h"
#include "jet/io/error_numbers.h"

namespace jet::compact {
namespace {

[[noreturn]] void Unusable(const std::string& why) {
  throw vondrel::Error(errors::kCorrupt, "the definition is inconsistent: " + why);
}

void RemoveRealIndex(TableDefinition& table, std::size_t position) {
  const auto number = static_cast<std::int32_t>(table.real_indexes[position].number);
  table.real_indexes.erase(table.real_indexes.begin() + static_cast<std::ptrdiff_t>(position));
  std::erase_if(table.logical_indexes, [number](const LogicalIndexDefinition& l) { return l.real_index == number; });
  for (RealIndexDefinition& real : table.real_indexes)
    if (static_cast<std::int32_t>(real.number) > number) --real.number;
  for (LogicalIndexDefinition& logical : table.logical_indexes)
    if (logical.real_index > number) --logical.real_index;
}

bool Stored(const ColumnDefinition& column) { return column.IsFixed() && !column.HasNoData(); }
bool HoldsVariableBytes(const ColumnDefinition& column) { return !column.IsFixed() && !column.HasNoData(); }

bool Overlap(const ColumnDefinition& a, const ColumnDefinition& b) {
  return a.fixed_offset < b.fixed_offset + b.length && b.fixed_offset < a.fixed_offset + a.length;
}

// The first fixed column whose bytes overlap another's, if any: the engine
// gives each fixed column bytes of its own, so a row written under such a
// definition cannot be told apart from noise, and one written from it would
// have one value overwrite another.
ColumnDefinition* Overlapping(TableDefinition& table) {
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    if (!Stored(table.columns[i]) || table.columns[i].length == 0) continue;
    for (std::size_t j = 0; j < table.columns.size(); ++j) {
      if (i != j && Stored(table.columns[j]) && table.columns[j].length > 0 && Overlap(table.columns[i], table.columns[j]))
        return &table.columns[i];
    }
  }
  return nullptr;
}

// A text or binary column marked fixed whose bytes overlap another column
// most likely lost its variable-length mark (one bit of the column's
// flags): it is read as variable again when its slot is free, which ends
// every overlap; otherwise the definition is unusable.
void MendOverlaps(TableDefinition& table, std::vector<std::string>& repairs) {
  while (ColumnDefinition* first = Overlapping(table)) {
    ColumnDefinition* culprit = nullptr;
    for (ColumnDefinition& column : table.columns) {
      if (!Stored(column) || (column.type != ColumnType::Text && column.type != ColumnType::Binary)) continue;
      if (&column != first && !Overlap(column, *first)) continue;
      const bool slot_taken = std::any_of(table.columns.begin(), table.columns.end(), [&](const ColumnDefinition& other) {
        return &other != &column && HoldsVariableBytes(other) && other.var_index == column.var_index;
      });
      if (!slot_taken) culprit = &column;
      if (culprit) break;
    }
    if (!culprit) Unusable("the fixed columns " + first->name + " and another share bytes");
    culprit->flags = static_cast<std::uint8_t>(culprit->flags & ~column_flags::kFixed);
    culprit->fixed_offset = 0;
    repairs.push_back("its column " + culprit->name + " was marked fixed over the bytes of another and is read as variable");
  }
}

// A table holds at most 255 columns, and a Jet 3 row counts its variable
// slots in one byte.
constexpr std::size_t kMostVariableSlots = 255;

// The variable columns that name the slot of a column before them (columns
// are in number order), in that order.
std::vector<ColumnDefinition*> ColumnsInTakenSlots(TableDefinition& table) {
  std::vector<ColumnDefinition*> late;
  std::set<std::uint16_t> slots;
  for (ColumnDefinition& column : table.columns)
    if (HoldsVariableBytes(column) && !slots.insert(column.var_index).second) late.push_back(&column);
  return late;
}

const ColumnDefinition& FirstInSlot(const TableDefinition& table, std::uint16_t slot) {
  return *std::find_if(table.columns.begin(), table.columns.end(), [slot](const ColumnDefinition& column) {
    return HoldsVariableBytes(column) && column.var_index == slot;
  });
}

}  // namespace

void ArrangeSlotsForWriting(TableDefinition& table) {
  for (ColumnDefinition* column : ColumnsInTakenSlots(table)) column->var_index = table.var_slots++;
  if (table.var_slots <= kMostVariableSlots) return;
  // More slots than a row of Access's holds come from damage: the variable
  // columns are given slots afresh, in the order of the slots they named.
  std::vector<ColumnDefinition*> variable;
  for (ColumnDefinition& column : table.columns)
    if (HoldsVariableBytes(column)) variable.push_back(&column);
  std::stable_sort(variable.begin(), variable.end(),
                   [](const ColumnDefinition* a, const ColumnDefinition* b) { return a->var_index < b->var_index; });
  for (std::size_t k = 0; k < variable.size(); ++k) variable[k]->var_index = static_cast<std::uint16_t>(k);
  table.var_slots = static_cast<std::uint16_t>(variable.size());
}

std::vector<std::string> RepairDefinition(TableDefinition& table) {
  std::vector<std::string> repairs;
  MendOverlaps(table, repairs);
  // A Yes/No column lives in the null mask alone. Marked variable, it would
  // name a variable slot that no row holds, whatever its damaged number.
  for (ColumnDefinition& column : table.columns) {
    if (column.IsFixed() || !column.HasNoData()) continue;
    column.flags = static_cast<std::uint8_t>(column.flags | column_flags::kFixed);
    repairs.push_back("its column " + column.name + " holds no bytes but was marked variable, and is marked fixed");
  }
  std::set<std::uint16_t> numbers;
  std::size_t fixed_end = 0;
  std::uint16_t highest_number = 0, highest_slot = 0;
  bool has_variable = false;
  for (const ColumnDefinition& column : table.columns) {
    if (!numbers.insert(column.number).second) Unusable("two columns have the number " + std::to_string(column.number));
    highest_number = std::max(highest_number, column.number);
    if (HoldsVariableBytes(column)) {
      has_variable = true;
      highest_slot = std::max(highest_slot, column.var_index);
    }
    if (Stored(column))
      fixed_end = std::max<std::size_t>(fixed_end, std::size_t{column.fixed_offset} + column.length);
  }
  if (fixed_end > ConstantsFor(table.version).max_row_size) Unusable("the fixed columns need more than a row holds");
  // The limits are 16-bit counts: the last number of that range cannot be covered.
  if (highest_number == 0xFFFF) Unusable("a column has the number 65535");
  if (has_variable && highest_slot == 0xFFFF) Unusable("a column has the variable slot 65535");
  if (!table.columns.empty() && highest_number >= table.max_columns) {
    repairs.push_back("its column limit " + std::to_string(table.max_columns) + " was raised to " +
                      std::to_string(highest_number + 1) + " to cover the columns it lists");
    table.max_columns = static_cast<std::uint16_t>(highest_number + 1);
  }
  if (has_variable && highest_slot >= table.var_slots) {
    repairs.push_back("its variable-column slots were raised from " + std::to_string(table.var_slots) + " to " +
                      std::to_string(highest_slot + 1));
    table.var_slots = static_cast<std::uint16_t>(highest_slot + 1);
  }
  // Two columns in one slot both read its value, which a row written under
  // the same definition could hold for only one of them.
  const std::vector<ColumnDefinition*> late = ColumnsInTakenSlots(table);
  if (late.size() > std::size_t{0xFFFF} - table.var_slots) Unusable("too many columns share variable slots");
  for (const ColumnDefinition* column : late) {
    repairs.push_back("its columns " + FirstInSlot(table, column->var_index).name + " and " + column->name +
                      " both named variable slot " + std::to_string(column->var_index) +
                      "; both are read from it, and " + column->name + " is written to a slot of its own");
  }
  if (const std::size_t slots = table.var_slots + late.size(); slots > kMostVariableSlots) {
    repairs.push_back("its " + std::to_string(slots) +
                      " variable-column slots are more than a row holds, and its variable columns are written to "
                      "slots numbered afresh");
  }
  for (std::size_t r = 0; r < table.real_indexes.size();) {
    const RealIndexDefinition& index = table.real_indexes[r];
    const bool complete = !index.columns.empty() && std::all_of(index.columns.begin(), index.columns.end(),
        [&](const IndexKeyColumn& key) { return table.FindColumn(key.column_number) != nullptr; });
    if (complete) {
      ++r;
      continue;
    }
    repairs.push_back("its index " + std::to_string(index.number) + " named a missing column and was left out");
    RemoveRealIndex(table, r);
  }
  const auto real_count = static_cast<std::int32_t>(table.real_indexes.size());
  const std::size_t before = table.logical_indexes.size();
  std::erase_if(table.logical_indexes, [real_count](const LogicalIndexDefinition& l) {
    return l.real_index < 0 || l.real_index >= real_count;
  });
  if (table.logical_indexes.size() != before)
    repairs.push_back(std::to_string(before - table.logical_indexes.size()) +
                      " of its indexes named a missing real index and were left out");
  return repairs;
}

}  // namespace jet::compact
