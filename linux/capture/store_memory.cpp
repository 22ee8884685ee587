#include "capture/store_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace pw {

namespace {

constexpr size_t kLargePage = size_t{2} << 20;

size_t RoundUp(size_t size) { return (size + kLargePage - 1) / kLargePage * kLargePage; }

}  // namespace

CaptureStore& StoreInLargePages() {
  // A mapping one large page longer than the store, so that the store can
  // begin on a large-page boundary inside it.
  const size_t size = RoundUp(sizeof(CaptureStore)) + kLargePage;
  void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return *new CaptureStore;
  const uintptr_t start = RoundUp(reinterpret_cast<uintptr_t>(mapped));
  void* store = reinterpret_cast<void*>(start);
  // Advice only: without large pages the store works in small ones.
  madvise(store, RoundUp(sizeof(CaptureStore)), MADV_HUGEPAGE);
  return *new (store) CaptureStore;
}

}  // namespace pw
