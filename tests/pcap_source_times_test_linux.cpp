// The times that the libpcap file source delivers: the file's own, in
// nanoseconds, whatever resolution the file has; the same times as the
// portable capture-file source gives for the same file; and kept by a
// session that reads the file.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "capture/capture_file_source.h"
#include "capture/capture_session.h"
#include "capture/pcap_source.h"
#include "capture_file_builder.h"
#include "capture_files.h"
#include "datagram_builder.h"
#include "fakes.h"
#include "recording_view.h"
#include "temp_dir.h"

namespace pw {
namespace {

using test::Bytes;
using test::Datagram;
using test::MakeDatagram;

// Every datagram a source delivers from its open to its end.
std::vector<Datagram> ReceiveAll(PacketSource& source) {
  std::vector<Datagram> got;
  EXPECT_TRUE(source.open(0)) << source.error();
  Bytes buffer(kReceiveBufferSize);
  size_t length = 0;
  CaptureTime time{};
  ReceiveStatus status;
  while ((status = source.receive(buffer.data(), buffer.size(), length, time)) ==
         ReceiveStatus::kDatagram) {
    got.push_back({Bytes(buffer.begin(), buffer.begin() + static_cast<long>(length)), time});
  }
  EXPECT_EQ(status, ReceiveStatus::kEnd) << source.error();
  source.close();
  return got;
}

const Bytes kUdp = MakeDatagram({.protocol = 17, .payload_length = 30});
const Bytes kIcmp = MakeDatagram({.protocol = 1});

class PcapSourceTimes : public test::TempDirTest {};

TEST_F(PcapSourceTimes, FileTimesInNanosecondsWhateverTheFileHas) {
  const CaptureTime late{1700000000, 999999000};
  const CaptureTime early{1700000001, 7000};
  auto classic = [&](bool nano) {
    const uint32_t scale = nano ? 1000 : 1;
    return test::PcapWithTimes({{test::SllFrame(kUdp), 1700000000, 999999 * scale},
                                {test::SllFrame(kIcmp), 1700000001, 7 * scale}},
                               {.link_type = 113, .nanoseconds = nano});
  };
  const std::vector<Datagram> expected = {{kUdp, late}, {kIcmp, early}};
  struct Case {
    const char* name;
    std::string file;
    std::vector<Datagram> expected;
  } cases[] = {
      {"microseconds", classic(false), expected},
      {"nanoseconds", classic(true), expected},
      {"nanoseconds below a microsecond",
       test::PcapWithTimes({{test::EthernetFrame(kUdp), 1700000000, 123456789},
                            {test::EthernetFrame(kIcmp), 1700000000, 1}},
                           {.nanoseconds = true}),
       {{kUdp, {1700000000, 123456789}}, {kIcmp, {1700000000, 1}}}},
      {"pcapng in nanoseconds",
       test::PcapngBuilder()
           .interface({.link_type = 1, .resolution = 9})
           .packet(0, 1700000000123456789ull, test::EthernetFrame(kUdp))
           .bytes(),
       {{kUdp, {1700000000, 123456789}}}},
      {"pcapng in microseconds",
       test::PcapngBuilder()
           .interface({.link_type = 1})
           .packet(0, 1700000000123456ull, test::EthernetFrame(kUdp))
           .bytes(),
       {{kUdp, {1700000000, 123456000}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path("times");
    test::WriteFile(path, c.file);
    PcapFileSource libpcap(path);
    EXPECT_EQ(ReceiveAll(libpcap), c.expected);
    CaptureFileSource portable(path);
    EXPECT_EQ(ReceiveAll(portable), c.expected);
  }
}

TEST_F(PcapSourceTimes, ASessionKeepsTheFileTimes) {
  const std::string path = Path("session.pcap");
  test::WriteFile(path, test::PcapWithTimes(
                            {{test::EthernetFrame(kUdp), 1700000000, 5},
                             {test::EthernetFrame(MakeDatagram({.protocol = 47})), 1700000001, 6},
                             {test::EthernetFrame(kIcmp), 1600000000, 999999999}},
                            {.nanoseconds = true}));
  auto store = std::make_unique<CaptureStore>();
  test::RecordingView view;
  test::FakePrivilege allow;
  PcapFileSource source(path);
  CaptureSession session(*store, view, source, allow);
  ASSERT_EQ(session.start({.from_field = "*:*", .to_field = "*:*",
                           .protocols = {true, true, true, true, true}}),
            StartOutcome::kStarted);
  ASSERT_TRUE(view.wait_ended());
  session.stop();
  const StoredDatagrams all = StoredDatagramsOf(*store);
  const std::vector<CaptureTime> expected = {{1700000000, 5}, {1600000000, 999999999}};
  EXPECT_EQ(std::vector<CaptureTime>(all.times.begin(), all.times.end()), expected);
}

}  // namespace
}  // namespace pw
