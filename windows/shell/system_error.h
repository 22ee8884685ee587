// Texts of system error codes for the program's message boxes.
#pragma once

#include <cstdint>
#include <string>

namespace pw {

// The longest text returned: 1023 characters (room of 1024 with the
// terminator, as the message boxes take it).
inline constexpr size_t kErrorTextMax = 1023;

// The system's text for `code`, in the user's language, as the system
// gives it (line break at its end included), cut to kErrorTextMax
// characters. The network message module supplies the texts of codes 2100
// to 2999 (network management errors) when it can be loaded. A code that
// has no text gives "error <code>", so that a message box never shows an
// empty or an earlier text.
std::string FormatSystemError(uint32_t code);

}  // namespace pw
