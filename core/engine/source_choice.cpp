#include "engine/source_choice.h"

namespace pw {

SourceChoice::SourceChoice(PacketSource& network) : network_(network), chosen_(&network) {}

bool SourceChoice::file_chosen() const {
  return chosen_.load(std::memory_order_acquire) == &file_;
}

// Both sources live as long as the choice, so a wake from another thread
// reaches one of them whichever is chosen at that moment.
bool SourceChoice::open(const CaptureOrigin& origin) {
  PacketSource& source =
      origin.kind == CaptureOrigin::Kind::kFile ? static_cast<PacketSource&>(file_) : network_;
  chosen_.store(&source, std::memory_order_release);
  return source.open(origin);
}

ReceiveStatus SourceChoice::receive(uint8_t* buffer, size_t capacity, size_t& length,
                                    CaptureTime& time) {
  return chosen().receive(buffer, capacity, length, time);
}

size_t SourceChoice::original_length() const { return chosen().original_length(); }

void SourceChoice::wake() { chosen().wake(); }

void SourceChoice::close() { chosen().close(); }

const std::string& SourceChoice::error() const { return chosen().error(); }

}  // namespace pw
