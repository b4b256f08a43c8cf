#include "window/control_table.h"

#include <algorithm>

namespace vondrel::window::table {

std::vector<const ControlRow*> InTabOrder() {
  std::vector<const ControlRow*> rows;
  for (const ControlRow& row : kControls) {
    if (row.tab_index != kNone) rows.push_back(&row);
  }
  std::sort(rows.begin(), rows.end(), [](const ControlRow* a, const ControlRow* b) { return a->tab_index < b->tab_index; });
  return rows;
}

}  // namespace vondrel::window::table
