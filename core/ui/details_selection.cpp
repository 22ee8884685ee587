#include "ui/details_selection.h"

#include <algorithm>
#include <cstdio>

namespace pw {

namespace {

// The list scrolls the entry this far below the header line into view first.
constexpr int kScrollAhead = 7;

char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

DetailsOutcome DecodeSelectedPacket(const CaptureStore& store, int32_t& selected_index,
                                    const PayloadViewFlags& flags, DetailReport& report) {
  report = DetailReport{};
  if (store.pool_fill.load(std::memory_order_acquire) == 0) return DetailsOutcome::kNoData;
  if (selected_index == -1) selected_index = 0;
  if (selected_index < 0) return DetailsOutcome::kNoData;
  const auto index = static_cast<uint32_t>(selected_index);
  return DecodePacket(store, index, flags, report) == DecodeResult::kReport
             ? DetailsOutcome::kReport
             : DetailsOutcome::kNoData;
}

int FindEntryWithPrefix(const std::vector<std::string>& entries, std::string_view prefix) {
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string& entry = entries[i];
    if (entry.size() < prefix.size()) continue;
    size_t k = 0;
    while (k < prefix.size() && FoldCase(entry[k]) == FoldCase(prefix[k])) ++k;
    if (k == prefix.size()) return static_cast<int>(i);
  }
  return -1;
}

DetailsSelection SelectHeaderLine(const std::vector<std::string>& entries, uint32_t index) {
  char header[32];
  std::snprintf(header, sizeof header, "packet%u", static_cast<unsigned>(index));
  DetailsSelection selection;
  selection.select_index = FindEntryWithPrefix(entries, header);
  if (selection.select_index >= 0) {
    const int last = static_cast<int>(entries.size()) - 1;
    selection.scroll_index = std::min(selection.select_index + kScrollAhead, last);
  }
  return selection;
}

}  // namespace pw
