// pebblewire.exe's command line: the number of the second-start rule as
// atoi reads it, and the capture file that Explorer or a user names.
#include "ui/start_arguments.h"

#include <gtest/gtest.h>

#include <string>

namespace pw {
namespace {

TEST(StartArguments, NumberAndFile) {
  struct Case {
    const char* line;
    int number;
    const char* file;
  } cases[] = {
      {"", 0, ""},
      {"   \t ", 0, ""},
      {"12", 12, ""},
      {"  -3  ", -3, ""},
      {"+7", 7, ""},
      {"12abc", 12, "12abc"},
      {"99999999999", 2147483647, ""},
      {"-99999999999", -2147483647 - 1, ""},
      {"- 5", 0, "- 5"},
      {"capture.pcap", 0, "capture.pcap"},
      {"\"C:\\Documents and Settings\\me\\my capture.pcap\"", 0,
       "C:\\Documents and Settings\\me\\my capture.pcap"},
      {"  \"C:\\a b\\x.pcapng\"  ", 0, "C:\\a b\\x.pcapng"},
      {"C:\\my captures\\x.pcap", 0, "C:\\my captures\\x.pcap"},
      {"\"C:\\first.pcap\" \"C:\\second.pcap\"", 0, "C:\\first.pcap"},
      {"\"C:\\unclosed quote.pcap", 0, "C:\\unclosed quote.pcap"},
      {"\"12\"", 0, "12"},
      {"\"\"", 0, ""},
      {"2024 trace.pcap", 2024, "2024 trace.pcap"},
  };
  for (const Case& c : cases) {
    const StartArguments got = ReadStartArguments(c.line);
    EXPECT_EQ(got.number, c.number) << c.line;
    EXPECT_EQ(got.file, c.file) << c.line;
  }
}

}  // namespace
}  // namespace pw
