// Large blocks freed go back to the system, and the next large block gets a
// mapping of its own instead of a place in the heap.
#include "base/large_blocks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

// The sanitizer build brings an allocator of its own.
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#define GLIBC_ALLOCATOR 1
#endif

namespace {

#if defined(GLIBC_ALLOCATOR)
void* TouchedBlock(std::size_t size) {
  void* block = std::malloc(size);
  std::memset(block, 1, size);
  asm volatile("" : : "r"(block) : "memory");  // the block is used: no call is left out
  return block;
}
#endif

TEST(LargeBlocks, AFreedLargeBlockDoesNotDrawTheNextIntoTheHeap) {
#if !defined(GLIBC_ALLOCATOR)
  GTEST_SKIP() << "the allocator is not glibc's";
#else
  vondrel::ReturnLargeBlocksToTheSystem();
  // glibc's own rule would raise its threshold to 1 MiB when this block is
  // freed, and the next block of 512 KiB would then come from the heap.
  std::free(TouchedBlock(std::size_t{1} << 20));
  const std::size_t mapped_before = mallinfo2().hblks;
  void* next = TouchedBlock(std::size_t{512} << 10);
  EXPECT_EQ(mallinfo2().hblks, mapped_before + 1);
  std::free(next);
  EXPECT_EQ(mallinfo2().hblks, mapped_before);
#endif
}

}  // namespace
