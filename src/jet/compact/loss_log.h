#pragma once
// What a salvaging compaction could not carry over: one entry per lost row,
// emptied value, unreadable page or lost table, in the order met. A row met
// by several passes over its table is listed once.

#include <cstdint>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "jet/format/table_definition.h"

namespace jet::compact {

enum class LossKind { Header, Table, Page, Row, Value, Object };

struct Loss {
  LossKind kind = LossKind::Row;
  std::int32_t code = 0;     // the error number behind the loss
  std::string description;
  std::string table;         // the table concerned, empty for the database
  RowPointer where;          // the damaged row (or page with row 0); null for none
  bool has_where = false;
};

class LossLog {
 public:
  // Adds a loss unless one of the same kind was listed for the same table
  // and place (and column, for values) already.
  void Add(Loss loss, const std::string& detail_key = {}) {
    if (!seen_.insert({static_cast<int>(loss.kind), loss.table, loss.where.ToRaw(), detail_key}).second) return;
    switch (loss.kind) {
      case LossKind::Row: ++rows_dropped_; break;
      case LossKind::Value: ++values_emptied_; break;
      case LossKind::Table: ++tables_lost_; break;
      default: break;
    }
    losses_.push_back(std::move(loss));
  }
  const std::vector<Loss>& losses() const { return losses_; }
  bool empty() const { return losses_.empty(); }
  std::uint64_t rows_dropped() const { return rows_dropped_; }
  std::uint64_t values_emptied() const { return values_emptied_; }
  std::uint32_t tables_lost() const { return tables_lost_; }

 private:
  std::vector<Loss> losses_;
  std::set<std::tuple<int, std::string, std::uint32_t, std::string>> seen_;
  std::uint64_t rows_dropped_ = 0;
  std::uint64_t values_emptied_ = 0;
  std::uint32_t tables_lost_ = 0;
};

}  // namespace jet::compact
