#include "ui/capture_end_text.h"

#include <gtest/gtest.h>

namespace pw {
namespace {

TEST(CaptureEndText, SaysWhyAndHowManyForEveryEndByItself) {
  struct Case {
    CaptureEnd why;
    uint32_t stored;
    std::string text;
  };
  const Case cases[] = {
      {CaptureEnd::kLimitReached, kPacketLimit,
       "capture ended: " + std::to_string(kPacketLimit) +
           " datagrams stored, the most a session holds"},
      {CaptureEnd::kPoolFull, 12,
       "capture ended: 12 datagrams stored, the " + std::to_string(kBytePoolSize) +
           " bytes for datagrams are full"},
      {CaptureEnd::kSourceEnded, 1, "capture ended: 1 datagram stored, end of the file"},
      {CaptureEnd::kSourceEnded, 0, "capture ended: 0 datagrams stored, end of the file"},
      {CaptureEnd::kOpenFailed, 0, ""},  // a failure says its own detail
      {CaptureEnd::kSourceFailed, 3, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(EndedByItselfText(c.why, c.stored), c.text);
}

}  // namespace
}  // namespace pw
