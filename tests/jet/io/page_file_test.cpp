#include "jet/io/page_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "base/error.h"
#include "jet/io/rc4.h"
#include "support/samples.h"

namespace jet::io {
namespace {

std::vector<std::uint8_t> Pages(std::size_t count, std::size_t size) {
  std::vector<std::uint8_t> bytes(count * size);
  for (std::size_t p = 0; p < count; ++p) std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(p * size), size, static_cast<std::uint8_t>(p + 1));
  return bytes;
}

TEST(PageFile, PagesAreSlicesOfTheFileAndBeyondTheEndIsCorruption) {
  PageFile file(Pages(3, 2048), 2048, 0, "three.mdb");
  EXPECT_EQ(file.page_count(), 3u);
  EXPECT_FALSE(file.has_partial_page());
  EXPECT_EQ(file.Page(2).U8(100), 3);
  EXPECT_EQ(file.Page(2).size(), 2048u);
  EXPECT_EQ(file.Page(1).source().page, 1);
  try {
    file.Page(3);
    FAIL() << "no error";
  } catch (const vondrel::Error& error) {
    EXPECT_EQ(error.number(), 3049);
    EXPECT_NE(error.description().find("three.mdb"), std::string::npos);
  }
}

TEST(PageFile, TrailingPartialPageIsNotAPageButItsBytesCanBeHad) {
  auto bytes = Pages(2, 4096);
  bytes.resize(bytes.size() + 100, 0x33);
  PageFile file(std::move(bytes), 4096, 0, "cut.mdb");
  EXPECT_EQ(file.page_count(), 2u);
  EXPECT_TRUE(file.has_partial_page());
  EXPECT_THROW(file.Page(2), vondrel::Error);
  EXPECT_TRUE(file.HasPageOrPart(2));
  EXPECT_FALSE(file.HasPageOrPart(3));
  const ByteView part = file.PageOrPart(2);
  EXPECT_EQ(part.size(), 100u);
  EXPECT_EQ(part.U8(99), 0x33);
  EXPECT_THROW(part.U8(100), vondrel::Error);
  EXPECT_EQ(file.PageOrPart(1).size(), 4096u);
  EXPECT_THROW(file.PageOrPart(3), vondrel::Error);

  PageFile whole(Pages(2, 4096), 4096, 0, "whole.mdb");
  EXPECT_FALSE(whole.HasPageOrPart(2));
  EXPECT_THROW(whole.PageOrPart(2), vondrel::Error);
}

TEST(PageFile, WhatRemainsOfAnEncodedPageIsDecrypted) {
  auto plain = Pages(3, 2048);
  plain.resize(plain.size() - 1500);  // page 2 keeps 548 bytes
  auto encoded = plain;
  for (std::uint32_t p = 1; p < 3; ++p) {
    const std::size_t size = std::min<std::size_t>(2048, encoded.size() - p * 2048);
    Rc4ApplyPageKey(0xCAFEBABE, p, std::span(encoded).subspan(p * 2048, size));
  }
  PageFile file(std::move(encoded), 2048, 0xCAFEBABE, "enc.mdb");
  EXPECT_EQ(file.CopyBytes(0, plain.size() + 10), plain);
  EXPECT_EQ(file.PageOrPart(2).U8(547), 3);
}

TEST(PageFile, EncodedPagesAreDecryptedExceptPageZero) {
  auto plain = Pages(3, 2048);
  auto encoded = plain;
  for (std::uint32_t p = 1; p < 3; ++p)
    Rc4ApplyPageKey(0xCAFEBABE, p, std::span(encoded).subspan(p * 2048, 2048));
  PageFile file(std::move(encoded), 2048, 0xCAFEBABE, "enc.mdb");
  EXPECT_TRUE(file.encrypted());
  EXPECT_EQ(file.CopyBytes(0, plain.size() + 10), plain);
}

TEST(ReadWholeFile, MissingFileIs3024AndContentsRoundTrip) {
  vondrel::testing::ScratchDir dir;
  try {
    ReadWholeFile(dir / "absent.mdb");
    FAIL() << "no error";
  } catch (const vondrel::Error& error) {
    EXPECT_EQ(error.number(), 3024);
    EXPECT_NE(error.description().find("absent.mdb"), std::string::npos);
  }
  {
    std::ofstream out(dir / "some.bin", std::ios::binary);
    out << "abc";
  }
  EXPECT_EQ(ReadWholeFile(dir / "some.bin"), (std::vector<std::uint8_t>{'a', 'b', 'c'}));
  EXPECT_THROW(ReadWholeFile(dir.path()), vondrel::Error);
}

}  // namespace
}  // namespace jet::io
