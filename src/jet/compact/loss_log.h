#pragma once
// What a salvaging compaction could not carry over: one entry per lost row,
// emptied value, unreadable page or lost table, in the order met. A row met
// by several passes over its table is listed once.

#include <cstdint>
#include <map>
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
  // Losses listed one by one; beyond that they are only counted per table,
  // which bounds memory whatever the damage.
  static constexpr std::size_t kMaxListed = 20000;

  // Adds a loss unless one of the same kind was listed for the same table
  // and place (and column, for values) already.
  void Add(Loss loss, const std::string& detail_key = {}) {
    if (losses_.size() >= kMaxListed) {
      Count(loss.kind);
      ++unlisted_[loss.table];
      return;
    }
    if (!seen_.insert({static_cast<int>(loss.kind), loss.table, loss.where.ToRaw(), detail_key}).second) return;
    Count(loss.kind);
    losses_.push_back(std::move(loss));
  }
  const std::vector<Loss>& losses() const { return losses_; }
  // Losses past the listing limit, by table.
  const std::map<std::string, std::uint64_t>& unlisted() const { return unlisted_; }
  bool empty() const { return losses_.empty(); }
  std::uint64_t rows_dropped() const { return rows_dropped_; }
  std::uint64_t values_emptied() const { return values_emptied_; }
  std::uint32_t tables_lost() const { return tables_lost_; }

 private:
  void Count(LossKind kind) {
    switch (kind) {
      case LossKind::Row: ++rows_dropped_; break;
      case LossKind::Value: ++values_emptied_; break;
      case LossKind::Table: ++tables_lost_; break;
      default: break;
    }
  }
  std::vector<Loss> losses_;
  std::map<std::string, std::uint64_t> unlisted_;
  std::set<std::tuple<int, std::string, std::uint32_t, std::string>> seen_;
  std::uint64_t rows_dropped_ = 0;
  std::uint64_t values_emptied_ = 0;
  std::uint32_t tables_lost_ = 0;
};

}  // namespace jet::compact
