#include "shell/system_error_win32.h"

#include <windows.h>

namespace pw {
namespace {

char error_text[kErrorTextSize];

}  // namespace

void FormatSystemError(uint32_t code) {
  HMODULE network_messages = nullptr;
  if (code >= 2100 && code <= 2999) {
    network_messages = LoadLibraryExA("netmsg.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                FORMAT_MESSAGE_FROM_SYSTEM;
  if (network_messages != nullptr) flags |= FORMAT_MESSAGE_FROM_HMODULE;
  char* text = nullptr;
  DWORD length = FormatMessageA(flags, network_messages, code,
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                reinterpret_cast<char*>(&text), 0, nullptr);
  if (length != 0 && text != nullptr) {
    lstrcpynA(error_text, text, kErrorTextSize);
  }
  if (text != nullptr) LocalFree(text);
  if (network_messages != nullptr) FreeLibrary(network_messages);
}

const char* SystemErrorText() { return error_text; }

}  // namespace pw
