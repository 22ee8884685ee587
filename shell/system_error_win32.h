// Texts of system error codes for the program's message boxes.
#pragma once

#include <cstdint>

namespace pw {

// Room of the error text: 1023 characters and the terminator.
inline constexpr unsigned kErrorTextSize = 1024;

// Looks up the system's text for `code` (the network message module
// supplies the texts of codes 2100 to 2999) and keeps it as the error text,
// line break at its end included. A code without a text leaves the error
// text as it was. A longer text is cut to 1023 characters. UI thread only.
void FormatSystemError(uint32_t code);

// The last text that FormatSystemError found; empty before the first.
const char* SystemErrorText();

}  // namespace pw
