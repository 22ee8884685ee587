// How both front ends word the end of a session that ended by itself: the
// Windows program lists it as a row after the datagrams' rows, the command
// line says it on standard error before its summary.
#pragma once

#include <cstdint>
#include <string>

#include "engine/capture_view.h"

namespace pw {

// "1 datagram stored", "3 datagrams stored".
std::string StoredCountText(uint32_t stored);

// "1 datagram written, 0 stored", "25000 datagrams written, 10000 stored":
// a session that streamed into a file.
std::string WrittenAndStoredText(uint64_t written, uint32_t stored);

// Why a session ended by itself, after "capture ended: ": "the most a
// session holds" (the packet limit), "the 819200 bytes for datagrams are
// full" (the byte pool), "end of the file" (the source ended). Empty for a
// failure, which is told with its own detail.
std::string EndReason(CaptureEnd why);

// "capture ended: <stored>, <reason>", e.g. "capture ended: 10000 datagrams
// stored, the most a session holds": why and how many. Empty for a failure.
std::string EndedByItselfText(CaptureEnd why, uint32_t stored);

// The same for a session that streamed into a file, which only its source's
// end or a count asked for ends by itself: "capture ended: 25000 datagrams
// written, 10000 stored, end of the file". Empty for a failure.
std::string StreamEndedText(CaptureEnd why, uint64_t written, uint32_t stored);

}  // namespace pw
