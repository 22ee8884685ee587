#include "decode/report_text.h"

#include <gtest/gtest.h>

#include "support/detail_test_helpers.h"

namespace pw {
namespace {

using namespace test;

// ---- Cutting into entries --------------------------------------------------

TEST(CutIntoEntries, CarriageReturnFirstLineFeedOnlyWhenNoneIsLeft) {
  const struct {
    std::string_view text;
    Entries entries;
  } cases[] = {
      {"", {""}},
      {"a", {"a"}},
      {"a\r\n", {"a", ""}},
      {"a\r\nb", {"a", "b"}},
      {"a\rb\r", {"a", "b", ""}},
      {"a\r\r\nb", {"a", "", "b"}},
      {"a\r\n\nb", {"a", "", "b"}},        // one line feed is skipped, not two
      {"a\nb\r\nc", {"a\nb", "c"}},        // a line feed before a later CR stays
      {"a\n\rb", {"a\n", "b"}},
      {"a\nb\nc", {"a", "b", "c"}},        // no CR at all: line feeds cut
      {"a\r\nb\nc\n", {"a", "b", "c", ""}},  // after the last CR, line feeds cut
      {"\r\n\r\n", {"", "", ""}},
  };
  for (const auto& c : cases) {
    Entries entries{"stale"};
    CutIntoEntries(c.text, entries);
    EXPECT_EQ(entries, c.entries) << testing::PrintToString(std::string(c.text));
  }
}

TEST(ReportText, NeverGrowsPastItsCapacity) {
  auto text = std::make_unique<ReportText>();
  const std::string chunk(1000, 'x');
  while (text->append(chunk)) {
  }
  EXPECT_EQ(text->size(), kReportCapacity - 1);
  EXPECT_FALSE(text->append_format("%d", 5));
  EXPECT_FALSE(text->append("y"));
  EXPECT_EQ(text->size(), kReportCapacity - 1);
}

}  // namespace
}  // namespace pw
