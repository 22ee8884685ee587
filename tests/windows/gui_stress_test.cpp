// The real main dialog under load: a source that delivers datagrams as fast
// as it can, 200 go!/stop cycles with random delays, "stop" and closing
// while rows arrive, sessions that end by themselves at the same moment,
// and option and details commands in between. After every stop: no hang,
// no row listed afterwards, every listed row whole and equal to the row of
// the datagram the store holds for it, and as many rows as stored lines.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/row_text.h"
#include "packet/ipv4_header.h"
#include "windows/gui_fixture.h"

namespace pw::test {
namespace {

constexpr int kCycles = 200;
// A stop or a close that takes longer than this has hung.
constexpr double kHangMs = 5000;
constexpr int kScriptLength = 40;

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// The row that the store's datagram `index` gives.
std::string StoredRow(const CaptureStore& store, uint32_t index) {
  DatagramLocation where{};
  if (!LocateDatagram(store, index, where)) return "(not stored)";
  RowText row;
  FormatRowText(ReadDatagramFacts(store.byte_pool + where.offset, where.length), index, row);
  return std::string(row.view());
}

// The sniff log's lines, without their line ends.
std::vector<std::string> SniffLines(const CaptureStore& store) {
  std::vector<std::string> lines;
  const std::string_view log = SniffLogText(store);
  size_t at = 0;
  while (at < log.size()) {
    const size_t end = log.find("\r\n", at);
    if (end == std::string_view::npos) {
      lines.emplace_back("(unfinished) " + std::string(log.substr(at)));
      break;
    }
    lines.emplace_back(log.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

// Checks the list against the store after a stop; false (with a failure
// recorded) when they disagree. A session that ended by itself before the
// stop has its end row after the datagrams' rows.
bool ListMatchesStore(RunningDialog& d, int cycle) {
  std::vector<std::string> rows = d.rows();
  const std::vector<std::string> lines = SniffLines(d.store());
  if (!rows.empty() && rows.back().rfind(" capture ended: ", 0) == 0) {
    EXPECT_EQ(rows.back(), " capture ended: " + std::to_string(lines.size()) +
                               " datagrams stored, end of the file")
        << "cycle " << cycle;
    rows.pop_back();
  }
  EXPECT_EQ(rows.size(), lines.size()) << "cycle " << cycle;
  if (rows.size() != lines.size()) return false;
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::string stored = StoredRow(d.store(), static_cast<uint32_t>(i));
    if (rows[i] != lines[i] || rows[i] != stored) {
      ADD_FAILURE() << "cycle " << cycle << " row " << i << ": listed \"" << rows[i]
                    << "\", logged \"" << lines[i] << "\", stored \"" << stored << '"';
      return false;
    }
  }
  return true;
}

// Datagrams of different sizes and protocols, so that a row of one
// datagram cannot pass for another's.
void Script(ScriptedSource& source) {
  for (int i = 0; i < kScriptLength; ++i) {
    source.add(MakeDatagram({.protocol = static_cast<uint8_t>(i % 3 == 0 ? 6 : 17),
                             .source = "10.0.0.1", .destination = "10.0.0.2",
                             .source_port = static_cast<uint16_t>(2000 + i),
                             .destination_port = 53, .ttl = static_cast<uint8_t>(1 + i),
                             .payload_length = static_cast<uint16_t>(i * 7)}));
  }
}

// What happens between go! and stop in one cycle.
enum class Between { kNothing, kOption, kDetails, kSelfEnding };

class StressRun {
 public:
  explicit StressRun(uint32_t seed) : random_(seed) {
    Script(f_.source);
    // A round of the script each millisecond at most (40,000 datagrams a
    // second), so that no cycle fills the store and ends by itself unless
    // it is meant to.
    f_.source.set_repeat_pause(std::chrono::milliseconds(1));
    f_.folder.write_ini(kAllOptionsOn);
    open();
  }

  void cycle(int n) {
    const Between between = static_cast<Between>(pick(4));
    // Some sessions end by themselves (the script's end) around the stop.
    f_.source.set_at_end(between == Between::kSelfEnding ? ScriptedSource::AtEnd::kEnd
                                                         : ScriptedSource::AtEnd::kRepeat);
    const auto go = std::chrono::steady_clock::now();
    d_->command(IDC_GO);
    Sleep(static_cast<DWORD>(pick(25)));
    if (between == Between::kOption) d_->command(kOptions[pick(std::size(kOptions))]);
    if (between == Between::kDetails) d_->command(IDM_DETAILS);
    Sleep(static_cast<DWORD>(pick(10)));
    if (n % 50 == 49) {
      close_while_capturing(n);
      return;
    }
    if (between != Between::kSelfEnding) {
      // This session cannot have ended by itself: an earlier session's end
      // must not have returned the controls to idle.
      EXPECT_TRUE(d_->enabled(IDC_STOP) && !d_->enabled(IDC_GO)) << "cycle " << n;
    }
    const auto start = std::chrono::steady_clock::now();
    capturing_ms_ += MillisecondsSince(go);
    StopOrDie(n);
    longest_stop_ms_ = std::max(longest_stop_ms_, MillisecondsSince(start));
    EXPECT_TRUE(Idle(*d_)) << "cycle " << n;
    const int listed = d_->row_count();
    rows_ += listed;
    Sleep(2);
    EXPECT_EQ(d_->row_count(), listed) << "a row listed after stop returned, cycle " << n;
    ListMatchesStore(*d_, n);
  }

  double longest_stop_ms() const { return longest_stop_ms_; }
  long rows() const { return rows_; }
  // Rows listed per second of the cycles' captures (from go! to stop).
  double rows_per_second() const { return capturing_ms_ > 0 ? rows_ * 1000.0 / capturing_ms_ : 0; }

 private:
  static constexpr int kOptions[] = {IDM_HEX_ONLY_UDP, IDM_HEX_TCP_AND_UDP, IDM_TCP_TEXT_VIEW,
                                     IDM_TCP_ASCII_VIEW, IDM_TRAY_ICON_ANIME,
                                     IDM_SAVE_PREFERENCES};

  // A hung UI thread cannot be recovered from: the process ends with the
  // failure.
  void StopOrDie(int n) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(d_->hwnd(), WM_COMMAND, IDC_STOP, 0, SMTO_NORMAL,
                             static_cast<UINT>(kHangMs), &result)) {
      std::printf("stop hung in cycle %d\n", n);
      std::fflush(stdout);
      TerminateProcess(GetCurrentProcess(), 3);
    }
  }

  size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }

  void open() {
    d_.reset();
    d_ = std::make_unique<RunningDialog>(f_.setup());
    ASSERT_NE(d_->hwnd(), nullptr);
  }

  // Closing ends the session and the dialog; a new dialog takes over.
  void close_while_capturing(int n) {
    const auto start = std::chrono::steady_clock::now();
    PostMessageA(d_->hwnd(), WM_CLOSE, 0, 0);
    d_->join();
    ASSERT_LT(MillisecondsSince(start), kHangMs) << "close hung in cycle " << n;
    EXPECT_TRUE(d_->ended());
    EXPECT_EQ(f_.source.opens(), f_.source.closes()) << "cycle " << n;
    open();
  }

  Fixture f_;
  std::mt19937 random_;
  std::unique_ptr<RunningDialog> d_;
  double longest_stop_ms_ = 0;
  double capturing_ms_ = 0;
  long rows_ = 0;
};

TEST(GuiStress, GoStopCyclesUnderLoadLoseNothingAndNeverHang) {
  // PW_STRESS_SEED repeats a run.
  char given[16] = {};
  const uint32_t seed = GetEnvironmentVariableA("PW_STRESS_SEED", given, sizeof given) > 0
                            ? static_cast<uint32_t>(std::strtoul(given, nullptr, 10))
                            : static_cast<uint32_t>(std::random_device{}());
  std::printf("seed %u (PW_STRESS_SEED repeats it)\n", seed);
  StressRun run(seed);
  for (int n = 0; n < kCycles && !HasFatalFailure(); ++n) run.cycle(n);
  std::printf("rows listed: %ld (%.0f a second while capturing); longest stop: %.1f ms\n",
              run.rows(), run.rows_per_second(), run.longest_stop_ms());
  EXPECT_GT(run.rows(), kCycles) << "rows arrived while the cycles ran";
}

}  // namespace
}  // namespace pw::test
