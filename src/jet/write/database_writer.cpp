#include "jet/write/database_writer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "base/error.h"
#include "base/unicode.h"
#include "jet/format/page_cipher_encode.h"
#include "jet/format/text_encode.h"
#include "jet/io/error_numbers.h"
#include "jet/write/system_tables.h"

namespace jet::write {
namespace {

encode::HeaderSettings Settings(const CreateOptions& o) {
  encode::HeaderSettings s;
  s.version = o.version;
  s.code_page = o.code_page;
  s.sort_order = o.sort_order;
  s.creation_date = o.creation_date;
  return s;
}

std::uint16_t FixedSize(ColumnType type) {
  switch (type) {
    case ColumnType::Byte: return 1;
    case ColumnType::Integer: return 2;
    case ColumnType::Long: case ColumnType::Single: return 4;
    case ColumnType::Currency: case ColumnType::Double: case ColumnType::DateTime: return 8;
    case ColumnType::Guid: return 16;
    case ColumnType::Numeric: return 17;
    default: return 0;
  }
}

[[noreturn]] void BadSpec(const std::string& what) { throw vondrel::Error(errors::kCorrupt, "cannot create table: " + what); }

TableDefinition DefinitionFor(const TableSpec& spec, const CreateOptions& o) {
  const bool jet3 = o.version == FormatVersion::Jet3;
  TableDefinition t;
  t.version = o.version;
  t.table_type = kTableTypeNormal;
  std::uint16_t fixed_offset = 0, var_index = 0;
  for (std::size_t i = 0; i < spec.columns.size(); ++i) {
    const ColumnSpec& s = spec.columns[i];
    ColumnDefinition c;
    c.name = s.name;
    c.type = s.type;
    c.number = static_cast<std::uint16_t>(i);
    c.second_number = c.number;
    c.sort_order = s.type == ColumnType::Numeric ? 0 : o.sort_order;
    if (jet3) { c.jet3_unknown = 1; c.code_page = o.code_page; }
    if (s.type == ColumnType::Numeric) { c.precision = 18; c.scale = 0; }
    const std::uint16_t fixed = FixedSize(s.type);
    if (s.type == ColumnType::Boolean) {
      c.flags = column_flags::kFixed | column_flags::kUpdatable;
      c.length = 1;
      c.var_index = var_index;
    } else if (fixed) {
      c.flags = column_flags::kFixed | column_flags::kUpdatable;
      if (s.autonumber) {
        if (s.type != ColumnType::Long) BadSpec("AutoNumber column " + s.name + " must be Long");
        c.flags |= column_flags::kAutoNumber;
      }
      c.fixed_offset = fixed_offset;
      c.length = fixed;
      c.var_index = var_index;
      fixed_offset = static_cast<std::uint16_t>(fixed_offset + fixed);
    } else {
      c.flags = column_flags::kUpdatable;
      c.var_index = var_index++;
      const std::uint16_t size = s.size ? s.size : 255;
      if (s.type == ColumnType::Text) {
        if (size > 255) BadSpec("Text column " + s.name + " longer than 255 characters");
        c.length = jet3 ? size : static_cast<std::uint16_t>(2 * size);
        if (!jet3) c.ext_flags = column_ext_flags::kCompressedUnicode;
      } else if (s.type == ColumnType::Binary) {
        c.length = size;
      } else if (s.type == ColumnType::Memo) {
        if (!jet3) c.ext_flags = column_ext_flags::kCompressedUnicode;
      } else if (s.type != ColumnType::OLE) {
        BadSpec("column " + s.name + " has a type this writer does not create");
      }
    }
    t.columns.push_back(c);
  }
  t.max_columns = static_cast<std::uint16_t>(t.columns.size());
  t.var_slots = var_index;
  auto column_number = [&](const std::string& name) -> std::uint16_t {
    for (const ColumnDefinition& c : t.columns) if (c.name == name) return c.number;
    BadSpec("index names a missing column " + name);
  };
  for (const IndexSpec& s : spec.indexes) {
    RealIndexDefinition real;
    real.number = static_cast<std::uint32_t>(t.real_indexes.size());
    for (const auto& [name, ascending] : s.columns) real.columns.push_back({column_number(name), ascending});
    if (real.columns.empty() || real.columns.size() > 10) BadSpec("index " + s.name + " needs 1 to 10 columns");
    if (s.primary_key) real.flags = index_flags::kUnique | index_flags::kRequired;
    else {
      if (s.unique) real.flags |= index_flags::kUnique;
      if (s.ignore_nulls) real.flags |= index_flags::kIgnoreNulls;
    }
    if (!jet3) real.flags |= 0x80;
    LogicalIndexDefinition logical;
    logical.name = s.name;
    logical.number = static_cast<std::int32_t>(t.logical_indexes.size());
    logical.real_index = static_cast<std::int32_t>(real.number);
    logical.type = s.primary_key ? LogicalIndexType::PrimaryKey : LogicalIndexType::Normal;
    logical.cascade_update = 0x04;
    logical.cascade_delete = 0x04;
    t.real_indexes.push_back(std::move(real));
    t.logical_indexes.push_back(std::move(logical));
  }
  return t;
}

encode::Bytes Le32(std::int32_t v) {
  encode::Bytes b(4);
  encode::PutU32(b, 0, static_cast<std::uint32_t>(v));
  return b;
}

}  // namespace

DatabaseWriter::DatabaseWriter(const std::filesystem::path& path, const CreateOptions& options)
    : options_(options),
      header_(encode::BuildHeaderPage(Settings(options), nullptr)),
      builder_(path, Settings(options), header_) {
  builder_.SetIndexMemoryBudget(options.index_memory_budget);
  objects_ = builder_.DeclareTable(MSysObjectsDefinition(options.version, options.code_page));
  aces_ = builder_.DeclareTable(MSysACEsDefinition(options.version, options.code_page));
  queries_ = builder_.DeclareTable(MSysQueriesDefinition(options.version, options.code_page));
  relationships_ = builder_.DeclareTable(MSysRelationshipsDefinition(options.version, options.code_page));
}

DatabaseWriter::~DatabaseWriter() = default;

DatabaseWriter::TableHandle DatabaseWriter::AddTable(const TableSpec& spec) {
  for (const TableInfo& t : user_tables_) {
    if (t.name == spec.name) BadSpec("table " + spec.name + " exists");
  }
  const TableHandle handle = builder_.DeclareTable(DefinitionFor(spec, options_));
  user_tables_.push_back({spec.name, handle});
  return handle;
}

const TableDefinition& DatabaseWriter::Definition(TableHandle table) const { return builder_.Table(table); }

void DatabaseWriter::BeginRows(TableHandle table) {
  for (TableInfo& t : user_tables_) {
    if (t.handle == table) {
      if (t.written) throw std::logic_error("rows of " + t.name + " were written already");
      current_ = &t;
      rows_ = &builder_.BeginRows(table);
      return;
    }
  }
  throw std::logic_error("no such table");
}

void DatabaseWriter::Convert(const TableDefinition& table, const std::vector<Value>& values, std::int32_t* autonumber,
                             Fields& out) {
  if (values.size() != table.columns.size()) throw std::invalid_argument("wrong number of values");
  std::vector<encode::Bytes>& stored = out.stored;
  std::vector<encode::FieldValue>& fields = out.fields;
  stored.assign(values.size(), {});
  fields.assign(values.size(), {});
  for (std::size_t i = 0; i < values.size(); ++i) {
    const ColumnDefinition& c = table.columns[i];
    const Value& v = values[i];
    encode::FieldValue& f = fields[i];
    if (c.type == ColumnType::Boolean) {
      f.is_null = false;
      f.boolean = v.boolean();
      continue;
    }
    if (v.is_null()) {
      if (c.IsAutoNumber() && autonumber) stored[i] = Le32((*autonumber)++);
      else continue;
    } else if (v.kind() == Value::Kind::Text) {
      stored[i] = options_.version == FormatVersion::Jet4
                      ? encode::EncodeJet4Text(v.text(), c.IsCompressedUnicode())
                      : encode::EncodeCodePageText(v.text(), options_.code_page);
      const std::size_t units = vondrel::unicode::Utf8ToUtf16(v.text()).size();
      if (c.type == ColumnType::Text && (options_.version == FormatVersion::Jet4 ? 2 * units : stored[i].size()) > c.length) {
        throw std::invalid_argument("text too long for column " + c.name);
      }
    } else {
      stored[i] = v.bytes();
      if (c.IsAutoNumber() && autonumber && stored[i].size() == 4) {
        std::int32_t x;
        std::memcpy(&x, stored[i].data(), 4);
        *autonumber = std::max(*autonumber, x + 1);
      }
    }
    if (c.IsFixed() && stored[i].size() != c.length) throw std::invalid_argument("value of the wrong size for column " + c.name);
    f.is_null = false;
    f.data = stored[i].data();
    f.size = stored[i].size();
  }
}

RowPointer DatabaseWriter::InsertInto(TableBuilder& builder, const TableDefinition& table, const std::vector<Value>& values,
                                std::int32_t* autonumber) {
  Fields row;
  Convert(table, values, autonumber, row);
  return builder.AddRow(row.fields);
}

DatabaseWriter::TableInfo& DatabaseWriter::Info(TableHandle table) {
  for (TableInfo& t : user_tables_)
    if (t.handle == table) return t;
  throw std::logic_error("no such table");
}

TableBuilder& DatabaseWriter::Open(TableHandle table) {
  for (const auto& [handle, rows] : open_)
    if (handle == table) return *rows;
  throw std::logic_error("OpenRows first");
}

void DatabaseWriter::OpenRows(TableHandle table) {
  TableInfo& info = Info(table);
  if (info.written) throw std::logic_error("rows of " + info.name + " were written already");
  if (rows_) throw std::logic_error("a table is being written alone");
  open_.emplace_back(table, &builder_.BeginRowsAlongside(table));
}

RowPointer DatabaseWriter::InsertInto(TableHandle table, const std::vector<Value>& values) {
  TableBuilder& rows = Open(table);
  return InsertInto(rows, builder_.Table(table), values, &Info(table).next_autonumber);
}

RowPointer DatabaseWriter::InsertDeleted(TableHandle table, const std::vector<Value>& values) {
  TableBuilder& rows = Open(table);
  Fields row;
  Convert(builder_.Table(table), values, nullptr, row);
  return rows.AddDeletedRow(row.fields);
}

RowPointer DatabaseWriter::InsertMoved(TableHandle table, const std::vector<Value>& before, const std::vector<Value>& after) {
  TableBuilder& rows = Open(table);
  const TableDefinition& definition = builder_.Table(table);
  std::vector<Value> stale = before;
  for (std::size_t i = 0; i < stale.size() && i < definition.columns.size(); ++i)
    if (IsLongValueType(definition.columns[i].type)) stale[i] = Value::Null();
  Fields old_row, new_row;
  Convert(definition, stale, nullptr, old_row);
  Convert(definition, after, &Info(table).next_autonumber, new_row);
  return rows.AddMovedRow(old_row.fields, new_row.fields);
}

void DatabaseWriter::CloseRows(TableHandle table) {
  Open(table);
  builder_.EndRows(table);
  Info(table).written = true;
  std::erase_if(open_, [&](const auto& open) { return open.first == table; });
}

RowPointer DatabaseWriter::Insert(const std::vector<Value>& values) {
  if (!rows_) throw std::logic_error("BeginRows first");
  return InsertInto(*rows_, builder_.Table(current_->handle), values, &current_->next_autonumber);
}

void DatabaseWriter::EndRows() {
  if (!rows_) throw std::logic_error("BeginRows first");
  builder_.EndRows();
  current_->written = true;
  rows_ = nullptr;
  current_ = nullptr;
}

void DatabaseWriter::WriteSystemRows() {
  const FormatVersion version = options_.version;
  const std::uint32_t sid_key = version == FormatVersion::Jet4 ? encode::SidMaskKey(header_.data(), header_.size()) : 0;
  auto sid = [&](std::uint8_t a, std::uint8_t b) {
    encode::Bytes s{a, b};
    if (version == FormatVersion::Jet4) encode::ApplySidMask(sid_key, s.data(), s.size());
    return Value::Binary(s);
  };
  const Value engine_owner = sid(0x02, 0x03);
  const Value date = Value::Date(options_.creation_date);

  struct Object {
    std::int32_t id, parent;
    std::string name;
    std::int16_t type;
    std::int32_t flags;
  };
  constexpr auto kEngineFlags = static_cast<std::int32_t>(object_flags::kEngineSystem);
  std::vector<Object> objects = {
      {kTablesContainerId, kRootId, "Tables", object_types::kContainer, kEngineFlags},
      {kDatabasesContainerId, kRootId, "Databases", object_types::kContainer, kEngineFlags},
      {kRelationshipsContainerId, kRootId, "Relationships", object_types::kContainer, kEngineFlags},
      {kMSysDbId, kDatabasesContainerId, "MSysDb", object_types::kDatabase, kEngineFlags},
      {static_cast<std::int32_t>(objects_), kTablesContainerId, "MSysObjects", object_types::kTable, kEngineFlags},
      {static_cast<std::int32_t>(aces_), kTablesContainerId, "MSysACEs", object_types::kTable, kEngineFlags},
      {static_cast<std::int32_t>(queries_), kTablesContainerId, "MSysQueries", object_types::kTable, kEngineFlags},
      {static_cast<std::int32_t>(relationships_), kTablesContainerId, "MSysRelationships", object_types::kTable, kEngineFlags},
  };
  for (const TableInfo& t : user_tables_) {
    objects.push_back({static_cast<std::int32_t>(t.handle), kTablesContainerId, t.name, object_types::kTable, 0});
  }
  // Rows go in primary-key (Id) order.
  std::sort(objects.begin(), objects.end(), [](const Object& a, const Object& b) { return a.id < b.id; });
  const TableDefinition& objects_table = builder_.Table(objects_);
  TableBuilder& rows = builder_.BeginRows(objects_);
  for (const Object& o : objects) {
    std::vector<Value> v(objects_table.columns.size(), Value::Null());
    v[msys_objects::kId] = Value::Long(o.id);
    v[msys_objects::kParentId] = Value::Long(o.parent);
    v[msys_objects::kName] = Value::Text(o.name);
    v[msys_objects::kType] = Value::Integer(o.type);
    v[msys_objects::kDateCreate] = date;
    v[msys_objects::kDateUpdate] = date;
    v[msys_objects::kOwner] = engine_owner;
    v[msys_objects::kFlags] = Value::Long(o.flags);
    InsertInto(rows, objects_table, v, nullptr);
  }
  builder_.EndRows();

  // Permissions: the engine's defaults for its own objects (admins 02 01,
  // users 02 04, the creator 03 01); user tables inherit those of "Tables".
  struct Ace {
    std::int32_t object;
    std::uint8_t sid_a, sid_b;
    std::int32_t acm;
    bool inheritable;
  };
  std::vector<Ace> aces = {
      {static_cast<std::int32_t>(objects_), 0x03, 0x01, 393216, false},
      {static_cast<std::int32_t>(aces_), 0x03, 0x01, 393216, false},
      {static_cast<std::int32_t>(queries_), 0x03, 0x01, 393216, false},
      {static_cast<std::int32_t>(relationships_), 0x03, 0x01, 917504, false},
      {kTablesContainerId, 0x02, 0x04, 983294, true},
      {kTablesContainerId, 0x03, 0x01, 393217, false},
      {kRelationshipsContainerId, 0x02, 0x04, 983294, true},
      {kRelationshipsContainerId, 0x03, 0x01, 393217, false},
      {kDatabasesContainerId, 0x03, 0x01, 393216, false},
      {kMSysDbId, 0x03, 0x01, 393230, false},
      {kMSysDbId, 0x02, 0x01, 14, false},
      {static_cast<std::int32_t>(queries_), 0x02, 0x01, 20, false},
      {static_cast<std::int32_t>(relationships_), 0x02, 0x01, 20, false},
      {static_cast<std::int32_t>(objects_), 0x02, 0x01, 20, false},
      {kTablesContainerId, 0x02, 0x01, 1048319, true},
      {kRelationshipsContainerId, 0x02, 0x01, 1048575, true},
  };
  for (const TableInfo& t : user_tables_) {
    aces.push_back({static_cast<std::int32_t>(t.handle), 0x02, 0x04, 983294, false});
    aces.push_back({static_cast<std::int32_t>(t.handle), 0x03, 0x01, 1048575, false});
    aces.push_back({static_cast<std::int32_t>(t.handle), 0x02, 0x01, 1048319, false});
  }
  std::stable_sort(aces.begin(), aces.end(), [](const Ace& a, const Ace& b) { return a.object < b.object; });
  const TableDefinition& aces_table = builder_.Table(aces_);
  TableBuilder& ace_rows = builder_.BeginRows(aces_);
  for (const Ace& a : aces) {
    std::vector<Value> v(aces_table.columns.size(), Value::Null());
    v[msys_aces::kObjectId] = Value::Long(a.object);
    v[msys_aces::kSid] = sid(a.sid_a, a.sid_b);
    v[msys_aces::kAcm] = Value::Long(a.acm);
    v[msys_aces::kInheritable] = Value::Boolean(a.inheritable);
    InsertInto(ace_rows, aces_table, v, nullptr);
  }
  builder_.EndRows();
  builder_.BeginRows(queries_);
  builder_.EndRows();
  builder_.BeginRows(relationships_);
  builder_.EndRows();
}

void DatabaseWriter::Close() {
  if (closed_) return;
  if (rows_) EndRows();
  while (!open_.empty()) CloseRows(open_.front().first);
  for (TableInfo& t : user_tables_) {
    if (!t.written) {
      builder_.BeginRows(t.handle);
      builder_.EndRows();
      t.written = true;
    }
  }
  WriteSystemRows();
  builder_.Commit();
  closed_ = true;
}

}  // namespace jet::write
