// What the details command decodes and what its list shows selected.
//
// The main window keeps the selected index: the row of the main list that
// was selected when the popup menu was last opened over the list, -1 when
// none was. The details command decodes that packet (-1 reads as packet 0,
// and 0 is kept as the selected index from then on) and selects the
// report's header line "packet<N> ...", after first scrolling the entry
// seven lines below it into view, so that the header line ends up selected
// with the lines under it shown.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decode/detail_report.h"
#include "engine/capture_store.h"

namespace pw {

// The main list's row when there is nothing to decode.
inline constexpr char kNoDataRow[] = "don't found data!";

enum class DetailsOutcome {
  kReport,  // the report holds the entries of the selected packet
  kNoData,  // nothing stored, or the selected index names no stored packet:
            // kNoDataRow goes to the main list; the details list stays empty
};

// The details command's decoding. With an empty store nothing else happens;
// otherwise a selected index of -1 becomes 0 before the packet is decoded.
DetailsOutcome DecodeSelectedPacket(const CaptureStore& store, int32_t& selected_index,
                                    const PayloadViewFlags& flags, DetailReport& report);

// The first entry that begins with `prefix`, letters compared without regard
// to case, as a list's string search finds it; -1 when none does.
int FindEntryWithPrefix(const std::vector<std::string>& entries, std::string_view prefix);

struct DetailsSelection {
  int select_index = -1;  // the header line of packet `index`; -1: none
  int scroll_index = -1;  // select_index + 7, or the last entry when shorter
};

// Where the details list of packet `index`'s report scrolls and what it
// selects.
DetailsSelection SelectHeaderLine(const std::vector<std::string>& entries, uint32_t index);

}  // namespace pw
