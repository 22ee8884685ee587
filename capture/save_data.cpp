#include "capture/save_data.h"

namespace pw {

std::string_view SniffLogSaveData(const CaptureStore& store) {
  return SniffLogText(store);
}

std::span<const uint8_t> PacketsSaveData(const CaptureStore& store) {
  // The fill is read first: the bytes below it are complete (release store
  // by the capture thread), and the first byte is among them when it is > 0.
  const uint32_t fill = store.pool_fill.load(std::memory_order_acquire);
  if (fill == 0 || store.byte_pool[0] == 0) return {};
  return {store.byte_pool, fill};
}

}  // namespace pw
