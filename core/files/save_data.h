// What the save commands write. The sniff log and the packets source are
// written with nothing else: no header, no separators, no lengths. Both
// front ends take their bytes from here (the dialog's "&save sniff log",
// "save &packets source" and "save as pca&p...", the command line's
// --save-log and --save-packets). Any thread; a capture may be running.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "engine/capture_store.h"

namespace pw {

// The sniff log's text up to its NUL, as far as whole lines are published
// at this moment. Empty: nothing to save.
std::string_view SniffLogSaveData(const CaptureStore& store);

// The byte pool from its first byte, pool-fill bytes long (the pool fill read
// now): every datagram stored since the last start, back to back. Empty when
// the first byte of the pool is 0, which is exactly when nothing is stored
// (a stored IPv4 datagram starts with a non-zero byte): nothing to save.
std::span<const uint8_t> PacketsSaveData(const CaptureStore& store);

// The datagrams stored since the last start, as far as the pool fill read
// now covers them (StoredDatagramsOf), as a classic pcap file
// (capture_file_writer.h): each datagram's bytes with the time it was
// captured. Empty when nothing is stored: nothing to save.
std::vector<uint8_t> PcapSaveData(const CaptureStore& store);

}  // namespace pw
