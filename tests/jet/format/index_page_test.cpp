// Index pages: encode/decode round trips, damage, and Access-written pages
// decoded and re-encoded byte for byte.

#include "jet/format/index_page.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "base/error.h"
#include "jet/format/index_sample_pages.h"
#include "support/samples.h"

namespace jet {
namespace {

IndexEntry Entry(std::vector<std::uint8_t> key, std::uint32_t page, std::uint8_t row,
                 std::uint32_t child = 0) {
  return IndexEntry{std::move(key), page, row, child};
}

TEST(IndexPageCodec, LeafRoundTripWithSharedPrefix) {
  for (const IndexPageLayout& layout : {IndexPageLayout::Jet3(), IndexPageLayout::Jet4()}) {
    IndexPage page;
    page.owner = 0x123;
    page.previous = 7;
    page.next = 9;
    page.entries = {Entry({0x7F, 0x4A, 0x4C, 0x01, 0x00}, 0x10, 1),
                    Entry({0x7F, 0x4A, 0x4C, 0x4D, 0x01, 0x00}, 0x10, 2),
                    Entry({0x7F, 0x4A, 0x51, 0x01, 0x00}, 0x0A0B0C, 255)};
    const auto bytes = EncodeIndexPage(page, layout);
    ASSERT_EQ(bytes.size(), layout.page_size);
    const IndexPage back = DecodeIndexPage(bytes, layout);
    EXPECT_TRUE(back.leaf);
    EXPECT_EQ(back.owner, 0x123u);
    EXPECT_EQ(back.previous, 7u);
    EXPECT_EQ(back.next, 9u);
    EXPECT_EQ(back.prefix_length, 2u);  // 7F 4A
    EXPECT_EQ(back.entries, page.entries);
    const std::size_t used = 9 + 8 + 7;  // first whole, the others minus the prefix
    EXPECT_EQ(back.free_space, layout.EntryCapacity() - used);
    EXPECT_EQ(EncodedEntriesSize(page.entries, true, layout), used);
  }
}

TEST(IndexPageCodec, NodeRoundTripKeepsChildrenAndTail) {
  const IndexPageLayout layout = IndexPageLayout::Jet3();
  IndexPage page;
  page.leaf = false;
  page.tail = 44;
  page.entries = {Entry({0x7F, 0x80, 0, 0, 1}, 5, 0, 40), Entry({0x7F, 0x80, 0, 0, 9}, 5, 8, 41)};
  const auto bytes = EncodeIndexPage(page, layout);
  EXPECT_EQ(bytes[0], kIndexNodePageType);
  EXPECT_EQ(bytes[layout.node_flag_offset], 1);
  const IndexPage back = DecodeIndexPage(bytes, layout);
  EXPECT_FALSE(back.leaf);
  EXPECT_EQ(back.tail, 44u);
  EXPECT_EQ(back.prefix_length, 4u);
  EXPECT_EQ(back.entries, page.entries);
}

TEST(IndexPageCodec, EmptyLeafHasWholeCapacityFree) {
  const IndexPageLayout layout = IndexPageLayout::Jet4();
  const IndexPage back = DecodeIndexPage(EncodeIndexPage(IndexPage{}, layout), layout);
  EXPECT_TRUE(back.entries.empty());
  EXPECT_EQ(back.free_space, 3616u);
  EXPECT_EQ(IndexPageLayout::Jet3().EntryCapacity(), 1800u);
}

TEST(IndexPageCodec, RefusesEntriesThatDoNotFit) {
  const IndexPageLayout layout = IndexPageLayout::Jet3();
  IndexPage page;
  for (std::uint8_t i = 0; i < 20; ++i) {
    std::vector<std::uint8_t> key(100, i);  // no shared prefix
    page.entries.push_back(Entry(key, 1, i));
  }
  EXPECT_GT(EncodedEntriesSize(page.entries, true, layout), layout.EntryCapacity());
  EXPECT_THROW(EncodeIndexPage(page, layout), vondrel::Error);
}

TEST(IndexPageCodec, RequestedPrefixMustBeShared) {
  const IndexPageLayout layout = IndexPageLayout::Jet4();
  IndexPage page;
  page.entries = {Entry({0x7F, 1, 2}, 1, 1), Entry({0x7F, 1, 3}, 1, 2)};
  const IndexPage none = DecodeIndexPage(EncodeIndexPage(page, layout, 0), layout);
  EXPECT_EQ(none.prefix_length, 0u);
  EXPECT_EQ(none.free_space, layout.EntryCapacity() - 14);
  EXPECT_EQ(none.entries, page.entries);
  EXPECT_EQ(DecodeIndexPage(EncodeIndexPage(page, layout), layout).prefix_length, 2u);
  EXPECT_THROW(EncodeIndexPage(page, layout, 3), vondrel::Error);
}

TEST(IndexPageCodec, DamagedPagesGiveErrors) {
  const IndexPageLayout layout = IndexPageLayout::Jet4();
  IndexPage page;
  page.entries = {Entry({0x7F, 1}, 1, 1), Entry({0x7F, 2}, 1, 2)};
  const auto good = EncodeIndexPage(page, layout);

  auto wrong_type = good;
  wrong_type[0] = 0x01;
  EXPECT_THROW(DecodeIndexPage(wrong_type, layout), vondrel::Error);

  auto long_prefix = good;
  long_prefix[layout.prefix_offset] = 200;  // longer than the 6-byte first entry
  EXPECT_THROW(DecodeIndexPage(long_prefix, layout), vondrel::Error);

  auto short_entry = good;
  short_entry[layout.bitmap_offset] |= 0x02;  // an entry of one byte
  EXPECT_THROW(DecodeIndexPage(short_entry, layout), vondrel::Error);

  auto empty_entry = good;
  empty_entry[layout.bitmap_offset] |= 0x01;  // an entry of no bytes
  EXPECT_THROW(DecodeIndexPage(empty_entry, layout), vondrel::Error);

  auto past_page = good;
  past_page[layout.first_entry_offset - 1] = 0x80;  // bit beyond the entry area
  EXPECT_THROW(DecodeIndexPage(past_page, layout), vondrel::Error);

  EXPECT_THROW(DecodeIndexPage(std::span(good).first(100), layout), vondrel::Error);
}

// Arbitrary bytes under an index page header either decode or give an
// error; decoding never reads outside the page (checked under the sanitizer build).
TEST(IndexPageCodec, RandomPagesDecodeOrFailCleanly) {
  std::mt19937 random(11);
  std::size_t decoded = 0;
  for (const IndexPageLayout& layout : {IndexPageLayout::Jet3(), IndexPageLayout::Jet4()}) {
    for (int round = 0; round < 300; ++round) {
      std::vector<std::uint8_t> page(layout.page_size);
      for (auto& b : page) b = static_cast<std::uint8_t>(random());
      page[0] = round % 2 ? kIndexLeafPageType : kIndexNodePageType;
      // Sparse bitmaps give plausible entry layouts more often.
      for (std::size_t i = layout.bitmap_offset; i < layout.first_entry_offset; ++i) {
        if (random() % 4 != 0) page[i] = 0;
      }
      if (round % 3 == 0) page[layout.prefix_offset] = 0;
      try {
        const IndexPage result = DecodeIndexPage(page, layout);
        for (const IndexEntry& e : result.entries) EXPECT_LE(e.key.size(), layout.EntryCapacity());
        ++decoded;
      } catch (const vondrel::Error& error) {
        EXPECT_EQ(error.number(), kDamagedIndexPageError);
      }
    }
  }
  EXPECT_GT(decoded, 0u);
}

TEST(IndexPageCodec, EntriesOrderByKeyThenRow) {
  EXPECT_LT(CompareEntries(Entry({1, 2}, 9, 9), Entry({1, 2, 0}, 1, 1)), 0);  // prefix first
  EXPECT_LT(CompareEntries(Entry({1, 2}, 1, 9), Entry({1, 2}, 2, 0)), 0);
  EXPECT_LT(CompareEntries(Entry({1, 2}, 2, 3), Entry({1, 2}, 2, 4)), 0);
  EXPECT_EQ(CompareEntries(Entry({0xFF}, 2, 3), Entry({0xFF}, 2, 3)), 0);
  EXPECT_GT(CompareEntries(Entry({0x80}, 0, 0), Entry({0x7F, 0xFF}, 9, 9)), 0);
}

// Every index page of every readable sample decodes, its entries are in
// order, and encoding the decoded page gives back the bytes Access wrote
// for the bitmap, the prefix length, the free space and the entries.
TEST(IndexPageCodec, AccessWrittenPagesReencodeIdentically) {
  VONDREL_REQUIRE_SAMPLES();
  std::map<std::string, int> pages_per_version;
  int compressed = 0;
  for (const auto& path : vondrel::testing::AllSamples()) {
    const auto file = vondrel::testing::ReadRawJetFile(path);
    if (!file) continue;
    for (std::size_t n = 1; n < file->PageCount(); ++n) {
      const auto bytes = file->Page(n);
      if ((bytes[0] != kIndexLeafPageType && bytes[0] != kIndexNodePageType) || bytes[1] != 1) continue;
      SCOPED_TRACE(path.filename().string() + " page " + std::to_string(n));
      IndexPage page;
      ASSERT_NO_THROW(page = DecodeIndexPage(bytes, file->layout));
      for (std::size_t i = 1; i < page.entries.size(); ++i) {
        EXPECT_LT(CompareEntries(page.entries[i - 1], page.entries[i]), 0) << "entry " << i;
      }
      // Access leaves many pages uncompressed, so encode with its prefix.
      const auto again = EncodeIndexPage(page, file->layout, page.prefix_length);
      if (page.prefix_length == 0 && page.entries.size() > 1) {
        const auto compressed_again = EncodeIndexPage(page, file->layout);
        EXPECT_EQ(DecodeIndexPage(compressed_again, file->layout).entries, page.entries);
      }
      const IndexPageLayout& l = file->layout;
      EXPECT_EQ(std::vector(bytes.begin() + 2, bytes.begin() + 4), std::vector(again.begin() + 2, again.begin() + 4))
          << "free space";
      EXPECT_EQ(std::vector(bytes.begin() + l.prefix_offset, bytes.begin() + l.prefix_offset + l.prefix_width),
                std::vector(again.begin() + l.prefix_offset, again.begin() + l.prefix_offset + l.prefix_width))
          << "prefix length";
      const std::size_t used = l.EntryCapacity() - page.free_space;
      EXPECT_EQ(std::vector(bytes.begin() + l.bitmap_offset, bytes.begin() + l.first_entry_offset + used),
                std::vector(again.begin() + l.bitmap_offset, again.begin() + l.first_entry_offset + used))
          << "bitmap and entries";
      ++pages_per_version[file->jet3 ? "Jet 3" : "Jet 4"];
      if (page.prefix_length > 0) ++compressed;
    }
  }
  EXPECT_GT(pages_per_version["Jet 3"], 0);
  EXPECT_GT(pages_per_version["Jet 4"], 0);
  EXPECT_GT(compressed, 0);
  std::cout << "index pages: Jet 3 " << pages_per_version["Jet 3"] << ", Jet 4 "
            << pages_per_version["Jet 4"] << ", with a shared prefix " << compressed << "\n";
}

}  // namespace
}  // namespace jet
