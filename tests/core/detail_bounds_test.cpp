// Decodes every prefix of every fixture, under every combination of the view
// options, and checks that nothing outside the stored datagram is read.
//
// Two ways make a stray read visible under AddressSanitizer (the asan
// preset): the datagram is decoded from a heap buffer of exactly its length,
// so a read one byte past it hits the allocator's red zone; and it is
// decoded through a store whose byte pool is poisoned everywhere except on
// that datagram, so a read into a neighbouring datagram (which would be
// harmless memory to the allocator) is caught too. Without ASan the loop
// still checks the shape of every report.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "decode/detail_report.h"
#include "engine/filter.h"
#include "support/detail_fixtures.h"
#include "ui/details_selection.h"

#if defined(__SANITIZE_ADDRESS__)
#define PW_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PW_ASAN 1
#endif
#endif

#ifdef PW_ASAN
#include <sanitizer/asan_interface.h>
#else
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

namespace pw {
namespace {

using test::FixtureBytes;
using test::StoreFiller;

// The datagram under test is stored behind one of this length, so that it
// starts on an 8-byte boundary: ASan poisons in 8-byte granules, and only a
// granule that begins with the datagram keeps the bytes before it poisoned.
constexpr uint32_t kLeadLength = 24;

// What every report holds, whatever the datagram.
void ExpectWellFormed(const DetailReport& report, uint32_t index) {
  const auto& e = report.entries;
  ASSERT_GE(e.size(), 4u);
  EXPECT_EQ(e[0], "packets source:");
  EXPECT_EQ(e[1], "");
  EXPECT_EQ(e[2].rfind("packet" + std::to_string(index) + " ", 0), 0u) << e[2];
  EXPECT_EQ(e.back(), "");
  EXPECT_EQ(SelectHeaderLine(e, index).select_index, 2);
  size_t total = 0;
  for (const std::string& entry : e) {
    EXPECT_EQ(entry.find('\0'), std::string::npos);
    total += entry.size();
  }
  EXPECT_LT(total, kReportCapacity);
}

// The byte pool poisoned except for [offset, offset + length).
class PoisonedPool {
 public:
  PoisonedPool(CaptureStore& store, uint32_t offset, uint32_t length) : store_(store) {
    ASAN_POISON_MEMORY_REGION(store_.byte_pool, offset);
    ASAN_POISON_MEMORY_REGION(store_.byte_pool + offset + length,
                              kBytePoolSize - offset - length);
  }
  ~PoisonedPool() { ASAN_UNPOISON_MEMORY_REGION(store_.byte_pool, kBytePoolSize); }

 private:
  CaptureStore& store_;
};

TEST(DecodeBounds, EveryPrefixUnderEveryViewOptionReadsOnlyTheDatagram) {
  const std::vector<PayloadViewFlags> options = test::AllViewOptions();
  auto store = std::make_unique<CaptureStore>();
  StoreFiller filler(*store);
  filler.add(std::vector<uint8_t>(kLeadLength, 0x45), kProtoRaw);
  size_t decoded = 0;
  for (const test::Fixture* fixture : test::kAllFixtures) {
    SCOPED_TRACE(fixture->name);
    const std::vector<uint8_t> whole = FixtureBytes(*fixture);
    for (size_t length = 0; length <= whole.size(); ++length) {
      SCOPED_TRACE(length);
      // Exactly `length` bytes on the heap (none at all for length 0).
      const std::unique_ptr<uint8_t[]> exact(length ? new uint8_t[length] : nullptr);
      std::copy(whole.begin(), whole.begin() + static_cast<long>(length), exact.get());

      filler.drop_from(1);
      if (length > 0) {
        filler.add(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(length)),
                   fixture->protocol);
      }
      for (const PayloadViewFlags& flags : options) {
        DetailReport direct;
        BuildDetailReport(exact.get(), length, fixture->protocol, fixture->index, flags, direct);
        ExpectWellFormed(direct, fixture->index);
        ++decoded;
        if (length == 0) continue;  // the store holds no empty datagram

        DetailReport stored;
        {
          const PoisonedPool poison(*store, kLeadLength, static_cast<uint32_t>(length));
          ASSERT_EQ(DecodePacket(*store, 1, flags, stored), DecodeResult::kReport);
        }
        ExpectWellFormed(stored, 1);
        // The same bytes give the same report, apart from the packet number.
        BuildDetailReport(exact.get(), length, fixture->protocol, 1, flags, direct);
        EXPECT_EQ(stored.entries, direct.entries);
        ++decoded;
      }
      if (HasFatalFailure()) return;
    }
  }
  EXPECT_GT(decoded, 10000u);  // every prefix of every fixture, eight option sets, twice
}

#ifdef PW_ASAN
// The poisoning really makes a neighbouring byte unreadable: without this,
// the loop above could pass under ASan without checking anything.
TEST(DecodeBoundsDeathTest, PoisonedPoolCatchesAReadBesideTheDatagram) {
  auto store = std::make_unique<CaptureStore>();
  StoreFiller filler(*store);
  filler.add(std::vector<uint8_t>(kLeadLength, 0x45), kProtoRaw);
  filler.add(FixtureBytes(test::kUdpAbcdefgh), kProtoUdp);
  const uint32_t length = static_cast<uint32_t>(FixtureBytes(test::kUdpAbcdefgh).size());
  const PoisonedPool poison(*store, kLeadLength, length);
  const volatile uint8_t* pool = store->byte_pool;
  EXPECT_DEATH((void)pool[kLeadLength + length], "use-after-poison");
  EXPECT_DEATH((void)pool[kLeadLength - 1], "use-after-poison");
}
#endif

}  // namespace
}  // namespace pw
