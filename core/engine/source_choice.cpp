#include "engine/source_choice.h"

#include <utility>

namespace pw {

SourceChoice::SourceChoice(PacketSource& network, PrivilegeCheck& network_privilege)
    : network_(network), network_privilege_(network_privilege), chosen_(&network) {}

SourceChoice::~SourceChoice() = default;

void SourceChoice::choose_network() { chosen_.store(&network_, std::memory_order_release); }

// The new file's source is chosen before the earlier one goes, so that the
// chosen pointer never names a released source.
void SourceChoice::choose_file(std::string path) {
  auto file = std::make_unique<CaptureFileSource>(std::move(path));
  chosen_.store(file.get(), std::memory_order_release);
  file_ = std::move(file);
}

bool SourceChoice::file_chosen() const {
  return chosen_.load(std::memory_order_acquire) != &network_;
}

bool SourceChoice::open(uint32_t bind_address) { return chosen().open(bind_address); }

ReceiveStatus SourceChoice::receive(uint8_t* buffer, size_t capacity, size_t& length,
                                    CaptureTime& time) {
  return chosen().receive(buffer, capacity, length, time);
}

void SourceChoice::wake() { chosen().wake(); }

void SourceChoice::close() { chosen().close(); }

const std::string& SourceChoice::error() const { return chosen().error(); }

PrivilegeResult SourceChoice::check() {
  if (file_chosen()) return {true, true};
  return network_privilege_.check();
}

}  // namespace pw
