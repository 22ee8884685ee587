#include "shell/system_error.h"

#include <windows.h>

namespace pw {
namespace {

// The network management error codes, whose texts live in netmsg.dll.
constexpr uint32_t kFirstNetworkCode = 2100;
constexpr uint32_t kLastNetworkCode = 2999;

// The network message module, loaded as data for one lookup.
class NetworkMessages {
 public:
  explicit NetworkMessages(uint32_t code) {
    if (code >= kFirstNetworkCode && code <= kLastNetworkCode) {
      module_ = LoadLibraryExA("netmsg.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
  }
  ~NetworkMessages() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  NetworkMessages(const NetworkMessages&) = delete;
  NetworkMessages& operator=(const NetworkMessages&) = delete;
  HMODULE module() const { return module_; }

 private:
  HMODULE module_ = nullptr;
};

}  // namespace

std::string FormatSystemError(uint32_t code) {
  const NetworkMessages network(code);
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                FORMAT_MESSAGE_FROM_SYSTEM;
  if (network.module() != nullptr) flags |= FORMAT_MESSAGE_FROM_HMODULE;
  char* text = nullptr;
  const DWORD length = FormatMessageA(flags, network.module(), code,
                                      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                      reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result;
  if (length != 0 && text != nullptr) result.assign(text, length < kErrorTextMax ? length : kErrorTextMax);
  if (text != nullptr) LocalFree(text);
  if (result.empty()) result = "error " + std::to_string(code);
  return result;
}

}  // namespace pw
