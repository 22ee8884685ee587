// One capture session over a SourceChoice: the network and capture files
// by turns, each start reading what its origin names, with the network's
// privilege check asked for the network only.
#include "engine/source_choice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/capture_session.h"
#include "files/save_data.h"
#include "support/capture_file_builder.h"
#include "support/capture_files.h"
#include "support/datagram_builder.h"
#include "support/fakes.h"
#include "support/recording_view.h"
#include "support/scripted_source.h"
#include "support/temp_dir.h"

namespace pw {
namespace {

using test::Datagram;
using test::MakeDatagram;

const std::vector<Datagram> kFileDatagrams = {
    {MakeDatagram({.protocol = 17, .source = "192.0.2.1", .source_port = 53,
                   .destination_port = 4000, .payload_length = 20}),
     {1700000000, 5}},
    {MakeDatagram({.protocol = 6, .source = "192.0.2.2", .source_port = 80,
                   .destination_port = 4001}),
     {1700000001, 999999999}},
};

class SourceChoiceTest : public test::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    network_.add(MakeDatagram({.protocol = 17, .source = "10.9.9.9", .source_port = 7,
                               .destination_port = 7}));
    network_.add_block();
    std::string error;
    ASSERT_TRUE(test::WriteAll(Path("two.pcap"), kFileDatagrams, error)) << error;
  }

  StartOutcome Start(const CaptureOrigin& origin, ProtocolSwitches protocols) {
    const StartRequest request{
        .origin = origin, .from_field = "*:*", .to_field = "*:*", .protocols = protocols};
    return session_.start(request, RightsToRead(origin, network_privilege_));
  }

  // One session: start, wait for `rows` rows, and stop. Returns the rows.
  std::vector<std::string> Run(const CaptureOrigin& origin, size_t rows) {
    view_.clear_events();
    EXPECT_EQ(Start(origin, {true, true, true, true, true}), StartOutcome::kStarted);
    for (int i = 0; i < 2000 && view_.row_count() < rows; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    session_.stop();
    return view_.rows();
  }

  std::unique_ptr<CaptureStore> store_ = std::make_unique<CaptureStore>();
  test::RecordingView view_;
  test::ScriptedSource network_;
  test::FakePrivilege network_privilege_;
  SourceChoice choice_{network_};
  CaptureSession session_{*store_, view_, choice_};
};

TEST_F(SourceChoiceTest, EachStartReadsWhatItsOriginNames) {
  const std::string network_row = "\t0\tudp\t10.9.9.9\t7\t10.0.0.2\t7\t28\t64";
  const std::vector<std::string> file_rows = {
      "\t0\tudp\t192.0.2.1\t53\t10.0.0.2\t4000\t48\t64",
      "\t1\ttcp\t192.0.2.2\t80\t10.0.0.2\t4001\t40\t64"};
  struct Step {
    bool file;
    std::vector<std::string> rows;
    int network_opens;  // in all, after the step
    int privilege_checks;
  } steps[] = {
      {false, {network_row}, 1, 1},
      {true, file_rows, 1, 1},
      {true, file_rows, 1, 1},  // the file again, from its start
      {false, {network_row}, 2, 2},
  };
  for (const Step& s : steps) {
    network_.rewind();
    EXPECT_EQ(Run(s.file ? FileOrigin(Path("two.pcap")) : NetworkOrigin(0x7F000001),
                  s.rows.size()),
              s.rows);
    EXPECT_EQ(choice_.file_chosen(), s.file);
    EXPECT_EQ(network_.opens(), s.network_opens);
    EXPECT_EQ(network_.closes(), s.network_opens);
    EXPECT_EQ(network_privilege_.calls, s.privilege_checks);
  }
  // The file's datagrams are stored with the times the file records.
  Run(FileOrigin(Path("two.pcap")), 2);
  const StoredDatagrams stored = StoredDatagramsOf(*store_);
  ASSERT_EQ(stored.times.size(), 2u);
  EXPECT_EQ(stored.times[1], (CaptureTime{1700000001, 999999999}));
}

TEST_F(SourceChoiceTest, AFileEndsByItselfAndNeedsNoRightToCapture) {
  network_privilege_.result = {true, false};
  ASSERT_EQ(Start(FileOrigin(Path("two.pcap")), {true, true, false, false, false}),
            StartOutcome::kStarted);
  ASSERT_TRUE(view_.wait_ended());
  EXPECT_EQ(view_.events().back(), "ended source-ended");
  EXPECT_EQ(view_.row_count(), 2u);
  EXPECT_EQ(network_privilege_.calls, 0);
  EXPECT_EQ(session_.stop_flag().load(), 1);
  session_.stop();

  EXPECT_EQ(Start(NetworkOrigin(0x7F000001), {}), StartOutcome::kRefusedNotAllowed);
  EXPECT_EQ(network_.opens(), 0);
}

TEST_F(SourceChoiceTest, FailuresNameTheFileAndKeepTheWholeDatagrams) {
  std::string error;
  MemoryByteSink sink;
  ASSERT_TRUE(test::WriteAll(sink, kFileDatagrams, error));
  const std::string whole(sink.bytes().begin(), sink.bytes().end());
  struct Case {
    const char* name;
    std::string bytes;
    size_t rows;
    std::string end;
  } cases[] = {
      {"cut.pcap", whole.substr(0, whole.size() - 3), 1,
       "ended source-failed " + Path("cut.pcap") +
           ": cut short in the middle of record 2 (at byte " +
           std::to_string(24 + 16 + kFileDatagrams[0].bytes.size()) + ")"},
      {"text.pcap", "no capture here", 0,
       "ended open-failed " + Path("text.pcap") + ": not a pcap or pcapng file"},
  };
  for (const Case& c : cases) {
    test::WriteFile(Path(c.name), c.bytes);
    view_.clear_events();
    ASSERT_EQ(Start(FileOrigin(Path(c.name)), {true, true, false, false, false}),
              StartOutcome::kStarted);
    ASSERT_TRUE(view_.wait_ended(static_cast<int>(&c - cases) + 1)) << c.name;
    EXPECT_EQ(view_.events().back(), c.end) << c.name;
    EXPECT_EQ(view_.row_count(), c.rows) << c.name;
    session_.stop();
  }
  std::remove(Path("missing.pcap").c_str());
  EXPECT_FALSE(choice_.open(FileOrigin(Path("missing.pcap"))));
  EXPECT_EQ(choice_.error().rfind(Path("missing.pcap") + ": ", 0), 0u) << choice_.error();
  choice_.close();
}

TEST_F(SourceChoiceTest, StopWakesTheChosenSource) {
  ASSERT_EQ(Start(NetworkOrigin(0x7F000001), {}), StartOutcome::kStarted);
  for (int i = 0; i < 2000 && !network_.blocked(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(network_.blocked());
  session_.stop();
  EXPECT_EQ(network_.wakes(), 1);
  EXPECT_EQ(network_.closes(), 1);
}

}  // namespace
}  // namespace pw
