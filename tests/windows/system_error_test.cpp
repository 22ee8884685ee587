// The texts of system error codes, from the system's own message tables.
#include "shell/system_error.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace pw {
namespace {

TEST(SystemErrorText, IsTheSystemsTextWithItsLineBreak) {
  const std::string text = FormatSystemError(ERROR_ACCESS_DENIED);
  ASSERT_GE(text.size(), 3u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "kept as the system gives it";
  EXPECT_NE(text, FormatSystemError(ERROR_FILE_NOT_FOUND)) << "each code has its own text";
}

TEST(SystemErrorText, ACodeWithoutTextIsNamedInsteadOfAnEarlierText) {
  FormatSystemError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(FormatSystemError(0x2FFFFFFF), "error 805306367");
}

TEST(SystemErrorText, NetworkCodesAreLookedUpAndNeverEmpty) {
  // Whether the network message module has a text for it depends on the
  // system; the text is never empty and never another code's.
  for (const uint32_t code : {2102u, 2999u}) {
    const std::string text = FormatSystemError(code);
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_NE(text, FormatSystemError(ERROR_ACCESS_DENIED)) << code;
  }
}

}  // namespace
}  // namespace pw
