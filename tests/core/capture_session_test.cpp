#include "engine/capture_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/datagram_builder.h"
#include "support/fakes.h"
#include "support/recording_view.h"
#include "support/scripted_source.h"

namespace pw {
namespace {

using test::DatagramSpec;
using test::FakePrivilege;
using test::MakeDatagram;
using test::RecordingView;
using test::ScriptedSource;

constexpr ProtocolSwitches kAllProtocols{true, true, true, true, true};
constexpr ProtocolSwitches kTcpUdp{true, true, false, false, false};

std::vector<uint8_t> Udp(uint16_t sport, uint16_t dport, size_t payload = 4) {
  return MakeDatagram({.protocol = 17, .source_port = sport,
                       .destination_port = dport, .payload_length = payload});
}

// The rows that the sniff log holds, without their "\r\n".
std::vector<std::string> LogLines(const CaptureStore& store) {
  std::vector<std::string> lines;
  std::string_view log = SniffLogText(store);
  while (!log.empty()) {
    const size_t end = log.find("\r\n");
    if (end == std::string_view::npos) {
      lines.emplace_back("<unterminated>");
      break;
    }
    lines.emplace_back(log.substr(0, end));
    log.remove_prefix(end + 2);
  }
  return lines;
}

class SessionTest : public ::testing::Test {
 protected:
  std::unique_ptr<CaptureStore> store_ = std::make_unique<CaptureStore>();
  RecordingView view_;
  ScriptedSource source_;
  FakePrivilege privilege_;
  CaptureSession session_{*store_, view_, source_};

  StartOutcome Start(StartRequest request = {}) {
    if (request.from_field.empty()) request.from_field = "*:*";
    if (request.to_field.empty()) request.to_field = "*:*";
    if (!request.protocols.tcp && !request.protocols.udp && !request.protocols.icmp &&
        !request.protocols.igmp && !request.protocols.raw) {
      request.protocols = kAllProtocols;
    }
    return session_.start(request, RightsToRead(request.origin, privilege_));
  }

  // Every listed row names a datagram that lies whole in the store, and the
  // list and the sniff log hold the same rows.
  void ExpectListMatchesStore() {
    const std::vector<std::string> rows = view_.rows();
    EXPECT_EQ(rows, LogLines(*store_));
    uint64_t total = 0;
    for (uint32_t k = 0; k < rows.size(); ++k) {
      DatagramLocation where{};
      ASSERT_TRUE(LocateDatagram(*store_, k, where)) << k;
      total += where.length;
    }
    EXPECT_EQ(total, store_->pool_fill.load());
  }
};

TEST_F(SessionTest, RefusalsReportTheirReasonAndStartNothing) {
  struct Case {
    PrivilegeResult result;
    StartOutcome outcome;
    const char* reason;
  } cases[] = {
      {{false, false}, StartOutcome::kRefusedCheckFailed, "check-failed"},
      {{false, true}, StartOutcome::kRefusedCheckFailed, "check-failed"},
      {{true, false}, StartOutcome::kRefusedNotAllowed, "not-allowed"},
  };
  for (const Case& c : cases) {
    view_.clear_events();
    privilege_.result = c.result;
    EXPECT_EQ(Start({.from_field = "1.2.3.4:80"}), c.outcome);
    const std::vector<std::string> expected = {
        "clear", std::string("refused ") + c.reason};
    EXPECT_EQ(view_.events(), expected);
    EXPECT_EQ(session_.stop_flag().load(), 0);  // refused: nothing starts again
    EXPECT_EQ(source_.opens(), 0);
    EXPECT_TRUE(view_.rows().empty());
  }
  session_.stop();  // "stop" from the refused state returns to idle
  EXPECT_EQ(session_.stop_flag().load(), 1);
  EXPECT_EQ(view_.events().back(), "stopped");
}

TEST_F(SessionTest, StoresAndListsWhatPassesTheFilter) {
  source_.add(Udp(1000, 53));
  source_.add(MakeDatagram({.protocol = 1, .ttl = 128, .payload_length = 32}));
  source_.add(std::vector<uint8_t>(19, 0x45));  // shorter than a header
  source_.add(MakeDatagram({.protocol = 47}));   // never stored
  source_.add(Udp(1000, 54));                    // wrong port
  source_.add(MakeDatagram({.protocol = 6, .source_port = 1000,
                            .destination_port = 53, .payload_length = 100}));
  ASSERT_EQ(Start({.to_field = "*:53", .protocols = kAllProtocols}),
            StartOutcome::kStarted);
  ASSERT_TRUE(view_.wait_ended());
  const std::vector<std::string> rows = {
      "\t0\tudp\t10.0.0.1\t1000\t10.0.0.2\t53\t32\t64",
      "\t1\ticmp\t10.0.0.1\t0\t10.0.0.2\t0\t60\t128",
      "\t2\ttcp\t10.0.0.1\t1000\t10.0.0.2\t53\t140\t64",
  };
  EXPECT_EQ(view_.rows(), rows);
  ExpectListMatchesStore();
  EXPECT_EQ(store_->pool_fill.load(), 32u + 60u + 140u);
  EXPECT_EQ(store_->protocol_table[1], kProtoIcmp);
  const std::vector<std::string> events = {"clear", "starting", "started",
                                           "ended source-ended"};
  EXPECT_EQ(view_.events(), events);
  EXPECT_EQ(session_.stop_flag().load(), 1);
  EXPECT_EQ(source_.opens(), 1);
  EXPECT_EQ(source_.closes(), 1);
}

// Each stored datagram keeps the time that the source delivered it with,
// whatever the time is; datagrams that are not stored take theirs along.
TEST_F(SessionTest, StoresTheTimeEachDatagramCameWith) {
  const CaptureTime first{1714979289, 123456789};
  const CaptureTime before_1970{-2, 999999999};
  source_.add(Udp(1, 2), first);
  source_.add(MakeDatagram({.protocol = 47}), {1, 1});     // never stored
  source_.add(std::vector<uint8_t>(19, 0x45), {2, 2});     // shorter than a header
  source_.add(Udp(3, 4), before_1970);
  source_.add(Udp(5, 6), first);                            // the same time again
  source_.add(MakeDatagram({.protocol = 1}));               // the default time
  ASSERT_EQ(Start(), StartOutcome::kStarted);
  ASSERT_TRUE(view_.wait_ended());
  ASSERT_EQ(view_.row_count(), 4u);
  const std::vector<CaptureTime> expected = {first, before_1970, first,
                                             ScriptedSource::DefaultTime(5)};
  const StoredDatagrams all = StoredDatagramsOf(*store_);
  EXPECT_EQ(std::vector<CaptureTime>(all.times.begin(), all.times.end()), expected);
  for (uint32_t k = 0; k < expected.size(); ++k) {
    DatagramLocation where{};
    ASSERT_TRUE(LocateDatagram(*store_, k, where));
    EXPECT_EQ(where.time, expected[k]) << k;
  }
}

TEST_F(SessionTest, LimitStopAtTenThousandStoredDatagrams) {
  // Every other datagram is rejected: only stored ones count.
  source_.add(MakeDatagram({.protocol = 2}));
  source_.add(Udp(7, 9));
  source_.set_at_end(ScriptedSource::AtEnd::kRepeat);
  ASSERT_EQ(Start({.protocols = kTcpUdp}), StartOutcome::kStarted);
  ASSERT_TRUE(view_.wait_ended());
  EXPECT_EQ(view_.events().back(), "ended limit");
  const std::vector<std::string> rows = view_.rows();
  ASSERT_EQ(rows.size(), kPacketLimit);
  EXPECT_EQ(rows.back(), "\t9999\tudp\t10.0.0.1\t7\t10.0.0.2\t9\t32\t64");
  ExpectListMatchesStore();
  // Stored datagram k is the (2k+1)th delivered: each keeps its own time.
  const StoredDatagrams all = StoredDatagramsOf(*store_);
  ASSERT_EQ(all.times.size(), kPacketLimit);
  for (uint32_t k = 0; k < kPacketLimit; ++k) {
    ASSERT_EQ(all.times[k], ScriptedSource::DefaultTime(2 * k + 1)) << k;
  }
  // The thread ends at once after the 10,000th: no further receive.
  EXPECT_EQ(source_.receives(), 20000);
  EXPECT_EQ(session_.stop_flag().load(), 1);
  EXPECT_EQ(source_.closes(), 1);
  session_.stop();  // a later "stop" finds an ended thread and joins it
  EXPECT_EQ(view_.row_count(), kPacketLimit);
}

TEST_F(SessionTest, PacketLimitOfTheRequest) {
  source_.add(Udp(7, 9));
  source_.set_at_end(ScriptedSource::AtEnd::kRepeat);
  struct Case {
    uint32_t limit;
    size_t rows;
  } cases[] = {{1, 1}, {5, 5}, {0, kPacketLimit}, {kPacketLimit + 1, kPacketLimit}};
  int ends = 0;
  for (const Case& c : cases) {
    ASSERT_EQ(Start({.packet_limit = c.limit}), StartOutcome::kStarted);
    ASSERT_TRUE(view_.wait_ended(++ends));
    EXPECT_EQ(view_.row_count(), c.rows) << c.limit;
    EXPECT_EQ(view_.events().back(), "ended limit");
  }
}

TEST_F(SessionTest, PoolFullEndsTheSessionLikeTheLimit) {
  source_.add(Udp(7, 9, 60000 - 28));
  source_.set_at_end(ScriptedSource::AtEnd::kRepeat);
  ASSERT_EQ(Start(), StartOutcome::kStarted);
  ASSERT_TRUE(view_.wait_ended());
  EXPECT_EQ(view_.events().back(), "ended pool-full");
  EXPECT_EQ(view_.row_count(), 13u);  // 13 x 60,000 fit in 819,200
  EXPECT_EQ(store_->pool_fill.load(), 780000u);
  ExpectListMatchesStore();
  const StoredDatagrams all = StoredDatagramsOf(*store_);
  ASSERT_EQ(all.times.size(), 13u);
  // The 14th was received with its time but not stored.
  EXPECT_EQ(all.times.back(), ScriptedSource::DefaultTime(12));
  EXPECT_EQ(session_.stop_flag().load(), 1);
}

TEST_F(SessionTest, SourceFailuresEndTheSessionAndAreReported) {
  source_.fail_open("socket: operation not permitted");
  ASSERT_EQ(Start(), StartOutcome::kStarted);
  ASSERT_TRUE(view_.wait_ended());
  EXPECT_EQ(view_.events().back(),
            "ended open-failed socket: operation not permitted");
  EXPECT_EQ(source_.receives(), 0);
  EXPECT_EQ(source_.closes(), 1);
  EXPECT_EQ(session_.stop_flag().load(), 1);

  // A failing receive is not retried: the loop would spin on it.
  source_.fail_open("");
  source_.add(Udp(1, 2));
  source_.add(Udp(3, 4));
  source_.add_failure("recv: network is down");
  source_.add(Udp(5, 6));
  ASSERT_EQ(Start(), StartOutcome::kStarted);
  ASSERT_TRUE(view_.wait_ended(2));
  EXPECT_EQ(view_.events().back(), "ended source-failed recv: network is down");
  EXPECT_EQ(view_.row_count(), 2u);
  EXPECT_EQ(source_.receives(), 3);
  EXPECT_EQ(session_.stop_flag().load(), 1);
}

TEST_F(SessionTest, StopWhileBlockedInReceive) {
  source_.add(Udp(1, 2));
  source_.add_block();
  source_.add(Udp(3, 4));  // must never be stored
  ASSERT_EQ(Start(), StartOutcome::kStarted);
  while (!source_.blocked()) std::this_thread::yield();
  session_.stop();
  EXPECT_EQ(view_.events().back(), "stopped");
  for (const std::string& e : view_.events()) EXPECT_NE(e.rfind("ended", 0), 0u) << e;
  EXPECT_EQ(session_.stop_flag().load(), 1);
  EXPECT_EQ(source_.wakes(), 1);
  EXPECT_EQ(source_.closes(), 1);
  EXPECT_EQ(view_.row_count(), 1u);
  const uint32_t fill = store_->pool_fill.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(view_.row_count(), 1u);
  EXPECT_EQ(store_->pool_fill.load(), fill);
  ExpectListMatchesStore();
}

TEST_F(SessionTest, EndAtExitLeavesTheControlsAlone) {
  source_.add_block();
  ASSERT_EQ(Start(), StartOutcome::kStarted);
  while (!source_.blocked()) std::this_thread::yield();
  view_.clear_events();
  session_.end_at_exit();
  EXPECT_TRUE(view_.events().empty());
  EXPECT_EQ(source_.closes(), 1);
  EXPECT_EQ(session_.stop_flag().load(), 1);
  session_.end_at_exit();  // nothing left to end
  EXPECT_EQ(source_.wakes(), 1);
}

TEST_F(SessionTest, DestructorEndsABlockedSession) {
  auto store = std::make_unique<CaptureStore>();
  RecordingView view;
  ScriptedSource source;
  source.add_block();
  {
    CaptureSession session(*store, view, source);
    ASSERT_EQ(session.start({.from_field = "*:*", .to_field = "*:*"}, {true, true}),
              StartOutcome::kStarted);
    while (!source.blocked()) std::this_thread::yield();
  }
  EXPECT_EQ(source.closes(), 1);
}

// The source opens on the request's origin, and only the network asks the
// front end's check: a file needs no right to capture.
TEST_F(SessionTest, TheSourceOpensOnTheRequestsOrigin) {
  source_.fail_open("x");
  privilege_.result = {true, false};
  ASSERT_EQ(Start({.origin = FileOrigin("a.pcap")}), StartOutcome::kStarted);
  ASSERT_TRUE(view_.wait_ended());
  EXPECT_EQ(source_.origin().file, "a.pcap");
  EXPECT_EQ(privilege_.calls, 0);
  EXPECT_EQ(Start({.origin = NetworkOrigin(0x7F000001)}), StartOutcome::kRefusedNotAllowed);
  EXPECT_EQ(privilege_.calls, 1);
  privilege_.result = {true, true};
  session_.stop();
  ASSERT_EQ(Start({.origin = DeviceOrigin("lo")}), StartOutcome::kStarted);
  ASSERT_TRUE(view_.wait_ended(2));
  EXPECT_EQ(source_.origin().device, "lo");
  EXPECT_EQ(source_.origin().kind, CaptureOrigin::Kind::kNetwork);
}

TEST_F(SessionTest, FieldsAreCutAndParsedAtStart) {
  source_.fail_open("x");
  const std::string long_from = "10.0.0.1:80" + std::string(20, '0');
  ASSERT_EQ(Start({.from_field = long_from, .to_field = "10.0.0.2:*",
                   .both_traffic = true}),
            StartOutcome::kStarted);
  ASSERT_TRUE(view_.wait_ended());
  EXPECT_STREQ(session_.filter().from.address, "10.0.0.1");
  EXPECT_EQ(session_.filter().from.port, 0);  // 800000... is out of range
  EXPECT_STREQ(session_.filter().reverse_source, "10.0.0.2");
}

TEST_F(SessionTest, ANewSessionShowsOnlyItsOwnDatagrams) {
  for (uint16_t p = 1; p <= 3; ++p) source_.add(Udp(p, p, 10 * p));
  ASSERT_EQ(Start(), StartOutcome::kStarted);
  ASSERT_TRUE(view_.wait_ended());
  ASSERT_EQ(view_.row_count(), 3u);
  ASSERT_EQ(Start({.packet_limit = 1}), StartOutcome::kStarted);
  ASSERT_TRUE(view_.wait_ended(2));
  ASSERT_EQ(view_.row_count(), 1u);
  ExpectListMatchesStore();
  EXPECT_EQ(store_->length_table[1], 48u);  // left from the first session
  DatagramLocation second{};
  EXPECT_FALSE(LocateDatagram(*store_, 1, second));
}

// The UI thread reads the store while a capture fills it: every datagram it
// finds is whole, with the length and time it was stored with, and what it
// finds only grows.
TEST_F(SessionTest, ReadersSeeStoredDatagramsWithTheirTimesWhileACaptureRuns) {
  source_.add(Udp(1, 2));
  source_.add(Udp(3, 4, 40));
  source_.set_at_end(ScriptedSource::AtEnd::kRepeat);
  ASSERT_EQ(Start(), StartOutcome::kStarted);
  size_t seen = 0;
  int reads = 0;
  for (bool ended = false; !ended; ++reads) {
    ended = view_.wait_ended(1, std::chrono::milliseconds(0));  // one more read after it
    const StoredDatagrams all = StoredDatagramsOf(*store_);
    const size_t count = all.times.size();
    ASSERT_GE(count, seen);
    ASSERT_EQ(all.lengths.size(), count);
    uint64_t total = 0;
    for (const uint32_t length : all.lengths) total += length;
    ASSERT_EQ(total, all.pool.size());
    for (size_t k = seen; k < count; ++k) {
      ASSERT_EQ(all.times[k], ScriptedSource::DefaultTime(k)) << k;
      ASSERT_EQ(all.lengths[k], k % 2 == 0 ? 32u : 68u) << k;
    }
    DatagramLocation where{};
    if (count > 0) {
      ASSERT_TRUE(LocateDatagram(*store_, static_cast<uint32_t>(count - 1), where));
      ASSERT_EQ(where.time, ScriptedSource::DefaultTime(count - 1));
    }
    seen = count;
  }
  EXPECT_EQ(seen, kPacketLimit);
  EXPECT_EQ(view_.events().back(), "ended limit");
  RecordProperty("reads_during_the_capture", reads);
}

// A dialog lists a row by a message that the capture thread sends to the UI
// thread and waits for. This view does the same with a queue: add_row
// blocks until the UI thread has handled the row, and the UI thread handles
// rows only in pump() and while it waits for the capture thread. A "stop"
// that waited without handling them would wait for ever.
class HandOffView final : public RecordingView {
 public:
  void add_row(std::string_view row) override {
    std::unique_lock lock(queue_mutex_);
    pending_.emplace_back(row);
    cv_.notify_all();
    cv_.wait(lock, [&] { return pending_.empty(); });
  }
  // UI thread: handles the rows sent so far; returns how many there were.
  size_t pump() {
    std::deque<std::string> rows;
    {
      std::lock_guard lock(queue_mutex_);
      rows.swap(pending_);
    }
    for (const std::string& row : rows) RecordingView::add_row(row);
    cv_.notify_all();
    return rows.size();
  }
  // UI thread: returns once the capture thread is inside add_row, waiting
  // for its row to be handled.
  void wait_until_a_row_is_pending() {
    std::unique_lock lock(queue_mutex_);
    cv_.wait(lock, [&] { return !pending_.empty(); });
  }
  void wait_for_capture_thread(const std::atomic<bool>& finished) override {
    ++waits;
    while (!finished.load()) {
      {
        std::unique_lock lock(queue_mutex_);
        cv_.wait_for(lock, std::chrono::milliseconds(1),
                     [&] { return !pending_.empty() || finished.load(); });
      }
      pump();
    }
  }
  int waits = 0;

 private:
  std::mutex queue_mutex_;
  std::condition_variable cv_;
  std::deque<std::string> pending_;
};

TEST(SessionHandOff, StopWhileARowIsBeingHandedToTheUiThread) {
  auto store = std::make_unique<CaptureStore>();
  HandOffView view;
  ScriptedSource source;
  source.add(Udp(1, 2));
  source.set_at_end(ScriptedSource::AtEnd::kRepeat);
  CaptureSession session(*store, view, source);
  for (int cycle = 0; cycle < 50; ++cycle) {
    ASSERT_EQ(session.start({.from_field = "*:*", .to_field = "*:*",
                             .protocols = kAllProtocols},
                            {true, true}),
              StartOutcome::kStarted);
    size_t handled = 0;
    while (handled < 20) handled += view.pump();
    view.wait_until_a_row_is_pending();
    session.stop();  // the capture thread is inside add_row
    EXPECT_EQ(view.rows(), LogLines(*store));
  }
  EXPECT_EQ(view.waits, 50);
}

// Many short sessions against endless traffic: "stop" lands at every point
// of the capture loop, also on a session that ends by its own small packet
// limit at the same moment. After each stop the list and the store agree
// row for row, and nothing more arrives.
TEST_F(SessionTest, ThousandStartStopCyclesUnderTraffic) {
  source_.add(Udp(1, 2));
  source_.add(MakeDatagram({.protocol = 1, .payload_length = 8}));
  source_.add(Udp(3, 4, 1400));
  source_.set_at_end(ScriptedSource::AtEnd::kRepeat);
  std::mt19937 random(12345);
  int ended = 0;
  for (int cycle = 0; cycle < 1000; ++cycle) {
    view_.clear_events();
    const uint32_t limit = 1 + static_cast<uint32_t>(random() % 400);
    ASSERT_EQ(Start({.packet_limit = limit}), StartOutcome::kStarted);
    const unsigned spins = static_cast<unsigned>(random() % 2000);
    for (unsigned i = 0; i < spins; ++i) std::this_thread::yield();
    session_.stop();
    const std::vector<std::string> events = view_.events();
    ASSERT_EQ(events.back(), "stopped") << cycle;
    for (const std::string& e : events) {
      if (e.rfind("ended", 0) == 0) {
        ++ended;
        EXPECT_EQ(e, "ended limit");
      }
    }
    const size_t rows = view_.row_count();
    EXPECT_LE(rows, limit);
    EXPECT_EQ(session_.stop_flag().load(), 1);
    ExpectListMatchesStore();
    ASSERT_FALSE(HasFailure()) << "cycle " << cycle;
    EXPECT_EQ(view_.row_count(), rows);
  }
  EXPECT_EQ(source_.opens(), 1000);
  EXPECT_EQ(source_.closes(), 1000);
  RecordProperty("sessions_that_reached_their_limit", ended);
}

}  // namespace
}  // namespace pw
