#include "ui/system_description.h"

#include <gtest/gtest.h>

#include <string>

namespace pw {
namespace {

struct Row {
  SystemVersion version;
  std::string text;
  bool pre2000;
};

TEST(SystemDescription, EveryRowOfTheTable) {
  const Row rows[] = {
      // NT family.
      {{2, 10, 0, 19045, ""}, "Microsoft Windows 10.0 build 19045", false},
      {{2, 6, 1, 7601, "Service Pack 1"}, "Microsoft Windows 6.1 build 7601", false},
      {{2, 5, 2, 3790, "Service Pack 2"}, "Microsoft Windows Server 2003 family build 3790 Service Pack 2", false},
      {{2, 5, 1, 2600, "Service Pack 3"}, "Microsoft Windows XP build 2600 Service Pack 3", false},
      {{2, 5, 1, 2600, ""}, "Microsoft Windows XP build 2600 ", false},
      {{2, 5, 0, 2195, "Service Pack 4"}, "Microsoft Windows 2000 build 2195 Service Pack 4", false},
      {{2, 5, 3, 1, "x"}, "", false},
      {{2, 5, 9, 1, ""}, "", false},
      {{2, 4, 0, 1381, "Service Pack 6"}, "Microsoft Windows NT", false},
      {{2, 3, 51, 1057, ""}, "Microsoft Windows NT", false},
      // 95 family, with the trailing blanks.
      {{1, 4, 0, 950, ""}, "Microsoft Windows 95 ", true},
      {{1, 4, 0, 1111, " C"}, "Microsoft Windows 95 OSR2 ", true},
      {{1, 4, 0, 1111, " B"}, "Microsoft Windows 95 OSR2 ", true},
      {{1, 4, 0, 1111, " A"}, "Microsoft Windows 95 ", true},
      {{1, 4, 0, 1111, "C"}, "Microsoft Windows 95 ", true},  // second character only
      {{1, 4, 10, 1998, ""}, "Microsoft Windows 98 ", true},
      {{1, 4, 10, 2222, " A "}, "Microsoft Windows 98 SE ", true},
      {{1, 4, 10, 2222, " B"}, "Microsoft Windows 98 ", true},
      {{1, 4, 90, 3000, " "}, "Microsoft Windows Millennium Edition", true},
      {{1, 4, 20, 0, ""}, "", true},
      {{1, 5, 0, 0, ""}, "", true},
      // Any other platform.
      {{0, 3, 10, 0, ""}, "", false},
      {{3, 5, 1, 2600, ""}, "", false},
  };
  for (const Row& row : rows) {
    const SystemDescription d = DescribeSystem(row.version);
    EXPECT_EQ(d.view(), row.text) << row.version.platform_id << " " << row.version.major << "."
                                  << row.version.minor;
    EXPECT_EQ(d.pre2000, row.pre2000) << row.text;
  }
}

TEST(SystemDescription, NumbersPrintAsSignedValues) {
  const SystemDescription d = DescribeSystem({2, 6, 2, 0xFFFFFFFFu, ""});
  EXPECT_EQ(d.view(), "Microsoft Windows 6.2 build -1");
}

TEST(SystemDescription, LongServicePackTextIsCutAt63Characters) {
  const std::string sp(200, 'x');
  const SystemDescription d = DescribeSystem({2, 5, 1, 2600, sp});
  EXPECT_EQ(d.view().size(), kSystemDescriptionMax);
  EXPECT_EQ(d.view(), std::string("Microsoft Windows XP build 2600 ") +
                          std::string(kSystemDescriptionMax - 32, 'x'));
}

}  // namespace
}  // namespace pw
