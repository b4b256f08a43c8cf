// Encoders judged by the reader's decoders and by Access-written bytes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iostream>
#include <map>
#include <random>

#include "jet/format/data_page_decode.h"
#include "jet/format/data_page_encode.h"
#include "jet/format/header_decode.h"
#include "jet/format/header_encode.h"
#include "jet/format/page_cipher_encode.h"
#include "jet/format/row_decode.h"
#include "jet/format/row_encode.h"
#include "jet/format/tdef_decode.h"
#include "jet/format/tdef_encode.h"
#include "jet/format/text_encode.h"
#include "jet/format/usage_map_decode.h"
#include "jet/format/usage_map_encode.h"
#include "jet/io/page_file.h"
#include "jet/read/database.h"
#include "support/samples.h"

namespace {

using jet::FormatVersion;
using jet::encode::Bytes;

jet::io::ByteView View(const Bytes& b) { return jet::io::ByteView(b.data(), b.size()); }

TEST(HeaderEncode, FreshJet4HeaderDecodesWithItsSettingsAndNoPassword) {
  jet::encode::HeaderSettings s;
  s.version = FormatVersion::Jet4;
  s.code_page = 1252;
  s.sort_order = 1033;
  s.creation_date = 44123.75;
  const Bytes page = jet::encode::MaskHeaderPage(jet::encode::BuildHeaderPage(s, nullptr), s.version);
  ASSERT_EQ(page.size(), 4096u);
  const jet::DatabaseHeader h = jet::DecodeHeader(page, "fresh");
  EXPECT_EQ(h.version, FormatVersion::Jet4);
  EXPECT_EQ(h.code_page, 1252);
  EXPECT_EQ(h.sort_order, 1033);
  EXPECT_EQ(h.database_key, 0u);
  EXPECT_FALSE(h.has_password);
  EXPECT_DOUBLE_EQ(h.creation_date, 44123.75);
}

TEST(HeaderEncode, FreshJet3HeaderDecodes) {
  jet::encode::HeaderSettings s;
  s.version = FormatVersion::Jet3;
  const Bytes page = jet::encode::MaskHeaderPage(jet::encode::BuildHeaderPage(s, nullptr), s.version);
  ASSERT_EQ(page.size(), 2048u);
  const jet::DatabaseHeader h = jet::DecodeHeader(page, "fresh");
  EXPECT_EQ(h.version, FormatVersion::Jet3);
  EXPECT_EQ(h.sort_order, 1033);
  EXPECT_FALSE(h.has_password);
}

TEST(HeaderEncode, RewritingASampleHeaderKeepsEverythingButTheCommitArea) {
  VONDREL_REQUIRE_SAMPLES();
  for (const char* name : {"jet4_jackcess_emptyJet4.mdb", "jet3_jackcess_test2.mdb", "jet4_jackcessencrypt_db-enc.mdb"}) {
    SCOPED_TRACE(name);
    const auto path = vondrel::testing::Sample(name);
    if (!path) continue;
    const auto bytes = jet::io::ReadWholeFile(*path);
    const jet::DatabaseHeader h = jet::DecodeHeader(bytes, name);
    jet::encode::HeaderSettings s{h.version, h.code_page, h.sort_order, h.sort_order_version, h.database_key, h.creation_date};
    const Bytes source(h.unmasked_page.begin(), h.unmasked_page.end());
    const Bytes written = jet::encode::MaskHeaderPage(jet::encode::BuildHeaderPage(s, &source), h.version);
    const std::size_t commit = jet::ConstantsFor(h.version).commit_area_offset;
    // Everything before the commit area is byte for byte the source's (masked).
    EXPECT_EQ(0, std::memcmp(written.data(), bytes.data(), commit));
    // The commit area is that of a cleanly closed file.
    EXPECT_EQ(written[commit], 0x01);
    EXPECT_EQ(written[commit + 1], 0x01);
    for (std::size_t slot = 1; slot < 256; ++slot) {
      ASSERT_EQ(written[commit + 2 * slot], 0x00);
      ASSERT_EQ(written[commit + 2 * slot + 1], 0x01);
    }
  }
}

TEST(PageCipher, EncryptionIsUndoneByTheReaderAndDependsOnThePage) {
  Bytes page(4096);
  for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(i * 7);
  const Bytes plain = page;
  jet::encode::ApplyPageCipher(page.data(), page.size(), 5, 0xA7B773E0);
  EXPECT_NE(page, plain);
  Bytes other = plain;
  jet::encode::ApplyPageCipher(other.data(), other.size(), 6, 0xA7B773E0);
  EXPECT_NE(page, other);
  // The reader decrypts a file whose pages were written this way.
  Bytes as_page1 = plain;
  jet::encode::ApplyPageCipher(as_page1.data(), as_page1.size(), 1, 0xA7B773E0);
  Bytes file(2 * 4096, 0);
  std::memcpy(file.data() + 4096, as_page1.data(), 4096);
  jet::io::PageFile decoded(file, 4096, 0xA7B773E0, "enc");
  const auto back = decoded.Page(1);
  EXPECT_EQ(Bytes(back.data(), back.data() + back.size()), plain);
  Bytes again = page;
  jet::encode::ApplyPageCipher(again.data(), again.size(), 5, 0xA7B773E0);
  EXPECT_EQ(again, plain);
  // Page 0 and key 0 are left alone.
  Bytes untouched = plain;
  jet::encode::ApplyPageCipher(untouched.data(), untouched.size(), 0, 0xA7B773E0);
  jet::encode::ApplyPageCipher(untouched.data(), untouched.size(), 3, 0);
  EXPECT_EQ(untouched, plain);
}

TEST(SidMask, UnmasksTheSidsOfAnAccessFileToTheirPlainValues) {
  VONDREL_REQUIRE_SAMPLES();
  const auto path = vondrel::testing::Sample("jet4_jackcess_emptyJet4.mdb");
  if (!path) GTEST_SKIP();
  const auto bytes = jet::io::ReadWholeFile(*path);
  const jet::DatabaseHeader h = jet::DecodeHeader(bytes, "s");
  const std::uint32_t key = jet::encode::SidMaskKey(h.unmasked_page.data(), h.unmasked_page.size());
  // MSysObjects.Owner of this file is stored as 06 EA and means 02 03.
  std::uint8_t sid[2] = {0x06, 0xEA};
  jet::encode::ApplySidMask(key, sid, 2);
  EXPECT_EQ(sid[0], 0x02);
  EXPECT_EQ(sid[1], 0x03);
}

TEST(UsageMapEncode, InlineAndReferenceMapsDecodeToThePagesTheyWereGiven) {
  const std::vector<std::uint32_t> pages = {16, 17, 20, 71};
  auto is_set = [&](std::uint32_t p) { return std::find(pages.begin(), pages.end(), p) != pages.end(); };
  const Bytes row = jet::encode::EncodeInlineMap(16, 64, is_set);
  EXPECT_EQ(row.size(), 69u);
  const jet::UsageMap map = jet::DecodeUsageMap(View(row));
  EXPECT_EQ(map.type, jet::UsageMapType::Inline);
  EXPECT_EQ(map.start_page, 16u);
  const auto& c = jet::ConstantsFor(FormatVersion::Jet4);
  EXPECT_EQ(jet::UsageMapPages(map, c, 1000, nullptr), pages);

  // A reference map over two bitmap pages held in a little page table.
  const std::uint32_t per = jet::encode::PagesPerBitmapPage(4096);
  const std::vector<std::uint32_t> far = {5, per - 1, per + 3};
  auto far_set = [&](std::uint32_t p) { return std::find(far.begin(), far.end(), p) != far.end(); };
  std::map<std::uint32_t, Bytes> store;
  store[900] = jet::encode::EncodeMapBitmapPage(4096, 0, far_set);
  store[901] = jet::encode::EncodeMapBitmapPage(4096, per, far_set);
  const Bytes ref = jet::encode::EncodeReferenceMap({900, 901});
  const jet::UsageMap refmap = jet::DecodeUsageMap(View(ref));
  EXPECT_EQ(refmap.type, jet::UsageMapType::Reference);
  const auto decoded = jet::UsageMapPages(refmap, c, 2 * per, [&](std::uint32_t p) { return View(store.at(p)); });
  EXPECT_EQ(decoded, far);

  // Given the sorted pages themselves, the bits are the same; pages outside
  // the row's or the bitmap page's range are left out.
  const std::vector<std::uint32_t> with_outside = {3, 16, 17, 20, 71, 16 + 64 * 8};
  EXPECT_EQ(jet::encode::EncodeInlineMap(16, 64, with_outside), row);
  EXPECT_EQ(jet::encode::EncodeMapBitmapPage(4096, 0, far), store[900]);
  EXPECT_EQ(jet::encode::EncodeMapBitmapPage(4096, per, far), store[901]);
}

TEST(DataPageEncode, RowsComeBackInOrderAndFreeSpaceFollowsTheFormula) {
  for (FormatVersion v : {FormatVersion::Jet3, FormatVersion::Jet4}) {
    const auto& c = jet::ConstantsFor(v);
    jet::encode::DataPageBuilder builder(v, 42);
    EXPECT_EQ(builder.free_space(), c.page_size - c.data_row_table_offset);
    std::vector<Bytes> rows;
    std::size_t total = 0;
    for (int i = 0; builder.Fits(10 + i % 7); ++i) {
      rows.emplace_back(10 + i % 7, static_cast<std::uint8_t>(i));
      total += rows.back().size();
      EXPECT_EQ(builder.Add(rows.back()), i);
    }
    const Bytes& page = builder.page();
    const jet::DataPage decoded(View(page), c);
    EXPECT_EQ(decoded.owner(), 42u);
    ASSERT_EQ(decoded.row_count(), rows.size());
    EXPECT_EQ(decoded.free_space(), c.page_size - c.data_row_table_offset - 2 * rows.size() - total);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const auto bytes = decoded.RowBytes(static_cast<std::uint32_t>(i));
      ASSERT_EQ(Bytes(bytes.data(), bytes.data() + bytes.size()), rows[i]);
    }
    EXPECT_LE(rows.size(), 255u);
  }
}

TEST(DataPageEncode, NoMoreThan255RowsOnAPage) {
  jet::encode::DataPageBuilder builder(FormatVersion::Jet4, 7);
  const Bytes tiny(1, 0);
  int added = 0;
  while (builder.Fits(tiny.size())) { builder.Add(tiny); ++added; }
  EXPECT_EQ(added, 255);
  EXPECT_THROW(builder.Add(tiny), std::logic_error);
}

// A table of a Long, a Text and a Boolean, in either version.
jet::TableDefinition SmallTable(FormatVersion v, int text_columns = 1) {
  jet::TableDefinition t;
  t.version = v;
  jet::ColumnDefinition id;
  id.type = jet::ColumnType::Long;
  id.number = 0;
  id.flags = jet::column_flags::kFixed | jet::column_flags::kUpdatable;
  id.length = 4;
  id.name = "Id";
  t.columns.push_back(id);
  for (int k = 0; k < text_columns; ++k) {
    jet::ColumnDefinition text;
    text.type = jet::ColumnType::Text;
    text.number = static_cast<std::uint16_t>(1 + k);
    text.var_index = static_cast<std::uint16_t>(k);
    text.flags = jet::column_flags::kUpdatable;
    text.length = 255;
    text.name = "T" + std::to_string(k);
    t.columns.push_back(text);
  }
  jet::ColumnDefinition flag;
  flag.type = jet::ColumnType::Boolean;
  flag.number = static_cast<std::uint16_t>(1 + text_columns);
  flag.flags = jet::column_flags::kFixed | jet::column_flags::kUpdatable;
  flag.length = 1;
  flag.name = "Ok";
  t.columns.push_back(flag);
  t.max_columns = static_cast<std::uint16_t>(t.columns.size());
  t.var_slots = static_cast<std::uint16_t>(text_columns);
  return t;
}

TEST(RowEncode, RowsDecodeBackToTheirValuesIncludingNullsAndBooleans) {
  for (FormatVersion v : {FormatVersion::Jet3, FormatVersion::Jet4}) {
    const jet::TableDefinition t = SmallTable(v);
    const std::uint8_t id[4] = {0x2A, 0, 0, 0};
    const Bytes text = {'a', 'b', 'c'};
    for (int variant = 0; variant < 4; ++variant) {
      jet::encode::FieldValue values[3];
      values[0] = {variant == 1, false, id, 4};
      values[1] = {variant == 2, false, text.data(), text.size()};
      values[2] = {false, variant % 2 == 0, nullptr, 0};
      const Bytes row = jet::encode::EncodeRow(t, values);
      jet::RowStructure structure;
      std::vector<jet::StoredField> fields;
      jet::DecodeRow(View(row), t, structure, fields);
      ASSERT_EQ(fields.size(), 3u);
      EXPECT_EQ(fields[0].is_null, variant == 1);
      if (variant != 1) {
        EXPECT_EQ(fields[0].bytes.U32(0), 42u);
      }
      EXPECT_EQ(fields[1].is_null, variant == 2);
      if (variant != 2) {
        EXPECT_EQ(Bytes(fields[1].bytes.data(), fields[1].bytes.data() + fields[1].bytes.size()), text);
      }
      EXPECT_EQ(fields[2].bool_value, variant % 2 == 0);
    }
  }
}

// The null mask of a few columns, of tens (several bytes) and of more than
// 64 (more bytes than a 64-bit word holds): every column's null flag and the
// boolean's value come back.
TEST(RowEncode, NullMasksOfEveryWidthDecodeBack) {
  std::mt19937 rng(5);
  const std::uint8_t id[4] = {7, 0, 0, 0};
  const Bytes text = {'x'};
  for (FormatVersion v : {FormatVersion::Jet3, FormatVersion::Jet4}) {
    for (const int text_columns : {1, 20, 70}) {
      const jet::TableDefinition t = SmallTable(v, text_columns);
      for (int row_number = 0; row_number < 20; ++row_number) {
        std::vector<jet::encode::FieldValue> values(t.columns.size());
        std::vector<bool> nulls(t.columns.size());
        for (std::size_t c = 0; c + 1 < t.columns.size(); ++c) {
          nulls[c] = rng() % 3 == 0;
          values[c] = {nulls[c], false, c == 0 ? id : text.data(), c == 0 ? std::size_t{4} : text.size()};
        }
        const bool flag = rng() % 2 == 0;
        values.back() = {false, flag, nullptr, 0};
        const Bytes row = jet::encode::EncodeRow(t, values);
        jet::RowStructure structure;
        std::vector<jet::StoredField> fields;
        jet::DecodeRow(View(row), t, structure, fields);
        ASSERT_EQ(fields.size(), t.columns.size());
        for (std::size_t c = 0; c + 1 < t.columns.size(); ++c)
          EXPECT_EQ(fields[c].is_null, nulls[c]) << text_columns << " text columns, column " << c;
        EXPECT_EQ(fields.back().bool_value, flag) << text_columns << " text columns";
      }
    }
  }
}

TEST(RowEncode, Jet3RowsBeyond256BytesUseJumpsTheReaderFollows) {
  const jet::TableDefinition t = SmallTable(FormatVersion::Jet3, 4);
  // Variable data ending around and beyond each 256-byte boundary.
  for (std::size_t size : {100u, 250u, 254u, 255u, 256u, 300u, 511u, 600u}) {
    SCOPED_TRACE(size);
    std::vector<Bytes> texts;
    for (int k = 0; k < 4; ++k) texts.emplace_back(size / 4 + static_cast<std::size_t>(k), static_cast<std::uint8_t>('a' + k));
    const std::uint8_t id[4] = {1, 0, 0, 0};
    std::vector<jet::encode::FieldValue> values(6);
    values[0] = {false, false, id, 4};
    for (int k = 0; k < 4; ++k) values[1 + k] = {false, false, texts[k].data(), texts[k].size()};
    values[5] = {false, true, nullptr, 0};
    const Bytes row = jet::encode::EncodeRow(t, values);
    jet::RowStructure structure;
    std::vector<jet::StoredField> fields;
    jet::DecodeRow(View(row), t, structure, fields);
    for (int k = 0; k < 4; ++k) {
      ASSERT_FALSE(fields[1 + k].is_null);
      EXPECT_EQ(Bytes(fields[1 + k].bytes.data(), fields[1 + k].bytes.data() + fields[1 + k].bytes.size()), texts[k]);
    }
    EXPECT_TRUE(fields[5].bool_value);
  }
}

TEST(RowEncode, ReencodingAccessRowsGivesTheirBytes) {
  VONDREL_REQUIRE_SAMPLES();
  std::size_t equal = 0, total = 0;
  for (const char* name : {"jet4_northwind_2000_b.mdb", "jet3_northwind_de_nwind.mdb", "jet4_jackcess_test2.mdb"}) {
    const auto path = vondrel::testing::Sample(name);
    if (!path) continue;
    const auto db = jet::Database::Open(*path);
    for (const jet::CatalogEntry& entry : db->Tables()) {
      const jet::TableDefinition table = db->ReadTableDefinition(entry);
      jet::ScanOptions options;
      options.assemble_long_values = false;
      db->ScanRows(table, [&](const jet::Row& row) {
        std::vector<jet::encode::FieldValue> values(row.fields.size());
        for (std::size_t i = 0; i < values.size(); ++i) {
          values[i] = {row.fields[i].is_null, row.fields[i].bool_value, row.fields[i].bytes.data(), row.fields[i].bytes.size()};
        }
        const Bytes encoded = jet::encode::EncodeRow(table, values);
        ++total;
        // Rows written before a column was added are shorter; every other row is reproduced exactly.
        if (encoded.size() == row.bytes.size() && std::memcmp(encoded.data(), row.bytes.data(), encoded.size()) == 0) ++equal;
        return true;
      }, options);
    }
  }
  if (total == 0) GTEST_SKIP();
  EXPECT_GE(equal * 100, total * 95) << equal << " of " << total << " rows";
}

TEST(TdefEncode, SampleDefinitionsSurviveEncodeAndDecode) {
  VONDREL_REQUIRE_SAMPLES();
  for (const char* name : {"jet4_northwind_2000_b.mdb", "jet3_northwind_de_nwind.mdb"}) {
    const auto path = vondrel::testing::Sample(name);
    if (!path) continue;
    const auto db = jet::Database::Open(*path);
    for (const jet::CatalogEntry& entry : db->Tables()) {
      SCOPED_TRACE(entry.name);
      const jet::TableDefinition t = db->ReadTableDefinition(entry);
      const Bytes stream = jet::encode::EncodeTdefStream(t, db->header().code_page);
      jet::TdefStream s;
      s.bytes = stream;
      s.pages = {t.tdef_page};
      const jet::TableDefinition back = jet::DecodeTableDefinition(s, t.version, db->header().code_page, name);
      ASSERT_EQ(back.columns.size(), t.columns.size());
      for (std::size_t i = 0; i < t.columns.size(); ++i) {
        EXPECT_EQ(back.columns[i].name, t.columns[i].name);
        EXPECT_EQ(back.columns[i].type, t.columns[i].type);
        EXPECT_EQ(back.columns[i].number, t.columns[i].number);
        EXPECT_EQ(back.columns[i].length, t.columns[i].length);
        EXPECT_EQ(back.columns[i].flags, t.columns[i].flags);
        EXPECT_EQ(back.columns[i].fixed_offset, t.IsSystemTable() || t.columns[i].IsFixed() ? t.columns[i].fixed_offset : back.columns[i].fixed_offset);
      }
      ASSERT_EQ(back.real_indexes.size(), t.real_indexes.size());
      for (std::size_t i = 0; i < t.real_indexes.size(); ++i) {
        EXPECT_EQ(back.real_indexes[i].columns.size(), t.real_indexes[i].columns.size());
        EXPECT_EQ(back.real_indexes[i].root_page, t.real_indexes[i].root_page);
        EXPECT_EQ(back.real_indexes[i].flags, t.real_indexes[i].flags);
      }
      ASSERT_EQ(back.logical_indexes.size(), t.logical_indexes.size());
      for (std::size_t i = 0; i < t.logical_indexes.size(); ++i) {
        EXPECT_EQ(back.logical_indexes[i].name, t.logical_indexes[i].name);
        EXPECT_EQ(back.logical_indexes[i].type, t.logical_indexes[i].type);
        EXPECT_EQ(back.logical_indexes[i].related_table_page, t.logical_indexes[i].related_table_page);
      }
      EXPECT_EQ(back.row_count, t.row_count);
      EXPECT_EQ(back.owned_map, t.owned_map);
      EXPECT_EQ(back.max_columns, t.max_columns);
      EXPECT_EQ(back.var_slots, t.var_slots);
    }
  }
}

// Bytes of a stored definition that Access fills with whatever was in its
// memory: the J4 header's bytes 25-39, the order byte of an unused index key
// slot, and J4 real-index bytes 42-45. The encoder writes zeros there.
std::vector<bool> AccessGarbage(const jet::TableDefinition& t, std::size_t length, std::uint16_t code_page) {
  const auto& c = jet::ConstantsFor(t.version);
  const bool jet3 = t.version == FormatVersion::Jet3;
  std::vector<bool> garbage(length, false);
  auto mark = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to && i < length; ++i) garbage[i] = true;
  };
  mark(0, 8);  // page type, free space and next page: per page, not per definition
  if (!jet3) mark(25, 40);
  std::size_t at = c.tdef_body + t.real_indexes.size() * c.real_index_stats_size +
                   t.columns.size() * c.column_descriptor_size;
  for (const auto& column : t.columns)
    at += jet3 ? 1 + jet::encode::EncodeCodePageText(column.name, code_page).size()
               : 2 + jet::encode::EncodeUtf16Le(column.name).size();
  for (const auto& index : t.real_indexes) {
    const std::size_t slots = at + (jet3 ? 0 : 4);
    for (std::size_t slot = index.columns.size(); slot < 10; ++slot) mark(slots + 3 * slot + 2, slots + 3 * slot + 3);
    if (!jet3) mark(at + 42, at + 46);
    at += c.real_index_descriptor_size;
  }
  return garbage;
}

// Writing back a definition Access wrote gives Access's bytes, column order
// included, except where Access leaves garbage.
TEST(TdefEncode, AccessDefinitionsEncodeToAccessBytes) {
  VONDREL_REQUIRE_SAMPLES();
  int tables = 0, identical = 0;
  for (const auto& path : vondrel::testing::AllSamples()) {
    std::unique_ptr<jet::Database> db;
    try {
      db = jet::Database::Open(path);
    } catch (const vondrel::Error&) {
      continue;  // password-protected or damaged samples
    }
    for (const jet::CatalogEntry& entry : db->Tables()) {
      SCOPED_TRACE(path.filename().string() + " " + entry.name);
      const jet::TdefStream stored = jet::ReadTdefStream(db->file(), db->version(), entry.TdefPage());
      std::size_t end = 0;
      const jet::TableDefinition t =
          jet::DecodeTableDefinition(stored, db->version(), db->header().code_page, "sample", &end);
      const Bytes ours = jet::encode::EncodeTdefStream(t, db->header().code_page);
      ++tables;
      ASSERT_EQ(ours.size(), end);
      const std::vector<bool> garbage = AccessGarbage(t, end, db->header().code_page);
      std::size_t differing = 0, first = 0;
      for (std::size_t i = 0; i < end; ++i) {
        if (ours[i] == stored.bytes[i] || garbage[i]) continue;
        if (differing++ == 0) first = i;
      }
      EXPECT_EQ(differing, 0u) << "first at byte " << first;
      if (differing == 0) ++identical;
    }
  }
  std::cout << identical << " of " << tables << " definitions encode to Access's bytes\n";
  EXPECT_GT(tables, 500);
}

TEST(TdefEncode, LongDefinitionsSpreadOverContinuationPages) {
  jet::TableDefinition t = SmallTable(FormatVersion::Jet4, 200);
  for (auto& c : t.columns) c.name += std::string(40, 'x');
  const Bytes stream = jet::encode::EncodeTdefStream(t, 1252);
  const std::size_t count = jet::encode::TdefPageCount(stream.size(), 4096);
  ASSERT_GE(count, 3u);
  std::vector<std::uint32_t> pages;
  for (std::size_t i = 0; i < count; ++i) pages.push_back(static_cast<std::uint32_t>(3 + i));
  const auto encoded = jet::encode::EncodeTdefPages(stream, FormatVersion::Jet4, pages);
  // A file of the pages; the reader follows the chain.
  Bytes file(4096 * (3 + count), 0);
  for (std::size_t i = 0; i < count; ++i) std::memcpy(file.data() + 4096 * (3 + i), encoded[i].data(), 4096);
  jet::io::PageFile pf(file, 4096, 0, "t");
  const jet::TableDefinition back = jet::ReadTableDefinition(pf, FormatVersion::Jet4, 1252, 3);
  ASSERT_EQ(back.columns.size(), t.columns.size());
  EXPECT_EQ(back.columns.back().name, t.columns.back().name);
  EXPECT_EQ(back.tdef_length, stream.size());
}

TEST(TextEncode, Jet4TextIsCompressedOnlyWhenEveryCharacterFitsOneByte) {
  EXPECT_EQ(jet::encode::EncodeJet4Text("abc", true), (Bytes{0xFF, 0xFE, 'a', 'b', 'c'}));
  EXPECT_EQ(jet::encode::EncodeJet4Text("abc", false), (Bytes{'a', 0, 'b', 0, 'c', 0}));
  EXPECT_TRUE(jet::encode::EncodeJet4Text("", true).empty());  // no marker without characters
  EXPECT_EQ(jet::encode::EncodeJet4Text("\xC3\xA9", true), (Bytes{0xFF, 0xFE, 0xE9}));
  EXPECT_EQ(jet::encode::EncodeJet4Text("\xD0\x96", true), (Bytes{0x16, 0x04}));  // Cyrillic stays UTF-16
  EXPECT_EQ(jet::encode::EncodeCodePageText("\xE2\x82\xAC\xC3\xA9", 1252), (Bytes{0x80, 0xE9}));
  EXPECT_EQ(jet::encode::EncodeUtf16Le("\xF0\x9F\x98\x80"), (Bytes{0x3D, 0xD8, 0x00, 0xDE}));
  EXPECT_EQ(jet::encode::EncodeUtf16Le("\xC0\xAF"), (Bytes{0xFD, 0xFF, 0xFD, 0xFF}));  // overlong: U+FFFD a byte
}

}  // namespace
