#include "base/large_blocks.h"

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vondrel {

void ReturnLargeBlocksToTheSystem() {
#if defined(__GLIBC__)
  constexpr int kOwnMappingFrom = 64 * 1024;
  mallopt(M_MMAP_THRESHOLD, kOwnMappingFrom);  // setting it also keeps the trim threshold from rising
#endif
}

}  // namespace vondrel
