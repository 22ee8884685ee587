#include "ui/capture_end_text.h"

namespace pw {

std::string StoredCountText(uint32_t stored) {
  return std::to_string(stored) + (stored == 1 ? " datagram stored" : " datagrams stored");
}

std::string WrittenAndStoredText(uint64_t written, uint32_t stored) {
  return std::to_string(written) + (written == 1 ? " datagram written, " : " datagrams written, ") +
         std::to_string(stored) + " stored";
}

std::string EndReason(CaptureEnd why) {
  switch (why) {
    case CaptureEnd::kLimitReached:
      return "the most a session holds";
    case CaptureEnd::kPoolFull:
      return "the " + std::to_string(kBytePoolSize) + " bytes for datagrams are full";
    case CaptureEnd::kSourceEnded:
      return "end of the file";
    case CaptureEnd::kOpenFailed:
    case CaptureEnd::kSourceFailed:
    case CaptureEnd::kWriteFailed:
      break;
  }
  return {};
}

std::string EndedByItselfText(CaptureEnd why, uint32_t stored) {
  const std::string reason = EndReason(why);
  if (reason.empty()) return {};
  return "capture ended: " + StoredCountText(stored) + ", " + reason;
}

std::string StreamEndedText(CaptureEnd why, uint64_t written, uint32_t stored) {
  // With a stream the packet limit counts the datagrams written, not the
  // store's.
  const std::string reason = why == CaptureEnd::kLimitReached ? "the count asked for" : EndReason(why);
  if (reason.empty()) return {};
  return "capture ended: " + WrittenAndStoredText(written, stored) + ", " + reason;
}

}  // namespace pw
