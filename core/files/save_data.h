// What the saves of the store write, and the table of save formats that
// both front ends offer: the Windows program as popup-menu commands with a
// save-file dialog, the command line as flags. The sniff log and the
// packets source are written with nothing else: no header, no separators,
// no lengths. Any thread; a capture may be running.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
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

// Copies of the first two, for the table below.
std::vector<uint8_t> SniffLogSaveBytes(const CaptureStore& store);
std::vector<uint8_t> PacketsSaveBytes(const CaptureStore& store);

enum class SaveFormat : uint8_t { kSniffLog, kPackets, kPcap };

// One save format, as each front end offers it. A new format is a row of
// kSaveFormats (and, in the Windows program, a menu item and its command).
struct SaveFormatEntry {
  SaveFormat format;
  // The command line's flag: its short name (0: none) and long name (empty:
  // the command line offers no save of this format), and its help text.
  char short_flag;
  std::string_view long_flag;
  std::string_view help;
  // The save-file dialog's file types (pairs of a name and a pattern, each
  // ended by a NUL, then an empty pair) and default extension.
  std::string_view dialog_filter;
  std::string_view dialog_extension;
  // The dialog measures what it writes when the command starts (true), or
  // just before it writes (false), so that datagrams stored while the
  // dialog was open are included.
  bool measured_at_start;
  // The bytes to write: a copy of what the store holds now; empty when
  // nothing is stored.
  std::vector<uint8_t> (*data)(const CaptureStore& store);
  // What the command line says when nothing is stored, before ", FILE
  // written empty".
  std::string_view nothing_text;
};

inline constexpr char kTextFileTypes[] = "Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";
inline constexpr char kPcapFileTypes[] = "pcap files (*.pcap)\0*.pcap\0All Files (*.*)\0*.*\0";

// In the order of SaveFormat.
inline constexpr SaveFormatEntry kSaveFormats[] = {
    {SaveFormat::kSniffLog, 0, "save-log",
     "at the end, write the sniff log to FILE: the\n"
     "rows, each ended by CR LF (empty when nothing\n"
     "is stored)",
     {kTextFileTypes, sizeof kTextFileTypes}, "txt", true, SniffLogSaveBytes,
     "nothing to save: the sniff log is empty"},
    {SaveFormat::kPackets, 0, "save-packets",
     "at the end, write the stored datagrams to FILE,\n"
     "back to back, as captured (empty when nothing\n"
     "is stored)",
     {kTextFileTypes, sizeof kTextFileTypes}, "txt", false, PacketsSaveBytes,
     "nothing to save: no datagram is stored"},
    // The command line writes its pcap files as it captures (-w).
    {SaveFormat::kPcap, 0, "", "", {kPcapFileTypes, sizeof kPcapFileTypes}, "pcap", false,
     PcapSaveData, "nothing to save: no datagram is stored"},
};

inline constexpr size_t kSaveFormatCount = std::size(kSaveFormats);

// The row of `format`.
constexpr const SaveFormatEntry& SaveFormatOf(SaveFormat format) {
  return kSaveFormats[static_cast<size_t>(format)];
}

}  // namespace pw
