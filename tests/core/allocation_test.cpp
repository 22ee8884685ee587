// The capture thread allocates nothing per datagram: a session that stores
// ten datagrams and one that stores ten thousand, from the scripted source
// through the filter, the row and the store to the view, allocate the same.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "engine/capture_session.h"
#include "support/allocation_count.h"
#include "support/datagram_builder.h"
#include "support/recording_view.h"
#include "support/scripted_source.h"

namespace pw {
namespace {

// Rows that go nowhere, and the end, which the test waits for.
class EndOnlyView final : public test::RecordingView {
 public:
  void add_row(std::string_view) override {}
};

uint64_t AllocationsOfASession(uint32_t datagrams) {
  auto store = std::make_unique<CaptureStore>();
  EndOnlyView view;
  test::ScriptedSource source;
  source.add(test::MakeDatagram({.protocol = 17, .source_port = 53, .destination_port = 4000}));
  source.add(test::MakeDatagram({.protocol = 6, .source_port = 80, .destination_port = 4001,
                                 .payload_length = 100}));
  source.add(test::MakeDatagram({.protocol = 1, .source = "10.9.8.7"}));
  source.set_at_end(test::ScriptedSource::AtEnd::kRepeat);
  CaptureSession session(*store, view, source);
  const uint64_t before = test::AllocationCount();
  const StartRequest request{.from_field = "*:*", .to_field = "*:*",
                             .protocols = {true, true, true, false, false},
                             .packet_limit = datagrams};
  EXPECT_EQ(session.start(request, {true, true}), StartOutcome::kStarted);
  EXPECT_TRUE(view.wait_ended());
  session.stop();
  EXPECT_EQ(view.row_count(), 0u);
  return test::AllocationCount() - before;
}

TEST(Allocations, NoneForEachDatagram) {
  const uint64_t few = AllocationsOfASession(10);
  const uint64_t many = AllocationsOfASession(kPacketLimit);
  EXPECT_EQ(many, few) << "a session of " << kPacketLimit << " datagrams allocated "
                       << many - few << " times more than one of 10";
}

}  // namespace
}  // namespace pw
