// The two front ends list and decode a committed capture alike: the Linux
// program against the golden files of front_end_cases.h (the Windows tests
// hold the main dialog to the same files), and the pcap file that the
// Windows program wrote for a committed capture read back by libpcap with
// the capture's own datagrams and times.
//
// PW_UPDATE_EXPECTED=1 writes the golden files of the rows and reports
// from the program's output instead of comparing.
#include <pcap/pcap.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "linux/libpcap_reading.h"
#include "support/front_end_cases.h"
#include "support/pcap_file.h"
#include "support/test_data.h"

namespace pw {
namespace {

using test::DataFile;
using test::DetailsCase;
using test::ExpectedFile;
using test::FrontEndCase;

std::vector<std::string> Arguments(const FrontEndCase& c) {
  std::vector<std::string> args = {"-r", DataFile(c.capture), "-f", c.from, "-t", c.to,
                                   "-p", c.protocols};
  if (c.both_traffic) args.push_back("-b");
  return args;
}

// The program's standard output for `args`: its rows, or its report.
std::string Output(const std::vector<std::string>& args) {
  std::string command = std::string("'") + PW_PROGRAM + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  std::string out;
  EXPECT_EQ(test::RunShell(command + " 2>/dev/null", out), 0) << command;
  return out;
}

// Compares `got` with the golden file `name`, or writes it there.
void ExpectGolden(const std::string& name, const std::string& got) {
  if (std::getenv("PW_UPDATE_EXPECTED") != nullptr) {
    test::WriteFile(ExpectedFile(name), got);
    return;
  }
  EXPECT_EQ(got, test::ReadFile(ExpectedFile(name))) << name;
}

TEST(FrontEndsAgree, RowsOfTheLinuxProgram) {
  for (const FrontEndCase& c : test::kFrontEndCases) {
    ExpectGolden(test::ExpectedRowsName(c), Output(Arguments(c)));
  }
}

TEST(FrontEndsAgree, DetailsOfTheLinuxProgram) {
  for (const DetailsCase& c : test::kDetailsCases) {
    std::vector<std::string> args = Arguments(c.session);
    args.insert(args.end(), {"-q", "-d", std::to_string(c.index)});
    ExpectGolden(test::ExpectedDetailsName(c), Output(args));
  }
}

// The reports of a corpus of one datagram of each kind the report decodes,
// whose every value tools/report-corpus.py compared with tshark's fields
// (it writes the corpus and this golden file anew).
TEST(FrontEndsAgree, ReportsOfTheCorpusThatTsharkChecked) {
  const std::string corpus = DataFile("report_corpus.pcap");
  std::vector<std::string> args = {"-r", corpus, "-q", "-p", "tcp,udp,icmp,igmp,raw"};
  const size_t count = test::ReadWithLibpcap(corpus).size();
  ASSERT_GE(count, 30u);
  for (size_t k = 0; k < count; ++k) args.insert(args.end(), {"-d", std::to_string(k)});
  ExpectGolden("report_corpus.details", Output(args));
}

TEST(FrontEndsAgree, LibpcapReadsThePcapOfTheWindowsProgramAsTheCapture) {
  const std::string written = ExpectedFile(test::kWrittenPcapName);
  char errbuf[PCAP_ERRBUF_SIZE] = {};
  pcap_t* p = pcap_open_offline(written.c_str(), errbuf);
  ASSERT_NE(p, nullptr) << errbuf;
  EXPECT_EQ(pcap_datalink(p), DLT_RAW);
  pcap_close(p);
  const std::vector<test::Datagram> original =
      test::ReadWithLibpcap(DataFile(test::kWrittenPcapCapture));
  ASSERT_EQ(original.size(), 4u);
  EXPECT_EQ(test::ReadWithLibpcap(written), original);
}

}  // namespace
}  // namespace pw
