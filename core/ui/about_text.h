// The text of the about box: product name and version, where to get help and
// newer versions, where to report problems, and the terms of use. Lines are
// separated by CR LF, ready for a multi-line edit control.
#pragma once

#include <string_view>

namespace pw {

std::string_view AboutText();

// The program's version ("1.2.3"), from the build's project version.
std::string_view ProgramVersion();

}  // namespace pw
