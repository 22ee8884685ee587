// Loads the settings from any values of any of the fifteen keys (or none,
// or no file, or no folder) through a small store in memory, stores them
// again, and checks the loader's and the storer's promises: a flag is true
// only for exactly "Yes" (or a missing key whose default is "Yes"), the two
// pairs are complements after a load with SaveSessionPreferences on, all
// flags stay false without a folder or with SaveSessionPreferences off,
// texts come back with at most 79 characters, and a store writes either
// only SaveSessionPreferences = "No" or all fifteen keys in the key order,
// the texts cut to 19/23/23 characters, stopping at the first write that
// fails. What was stored loads back to the same settings.
//
// Input layout: a byte of situations (bit 0 the folder is found when
// loading, bit 1 the file exists, bit 2 the folder is found when storing,
// bit 3 it can be made, bit 4 the file opens for writing), a byte naming the
// key whose write fails (none from 15 on), then the fifteen values in the
// key order, each a length byte and that many bytes: 255 means the key is
// missing, 254 a long value (two bytes of length, then a length byte and a
// piece repeated to that length; zero bytes without a piece). Keys behind
// the end of the input are missing.
//
// Seed corpus (corpus/settings_file): a first run, a file of first-run
// values, one with SaveSessionPreferences off, one with words in other
// letter cases, long and NUL-holding values, failing stores.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/filter.h"
#include "repeat_bytes.h"
#include "ui/interface_slots.h"
#include "ui/settings_file.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

constexpr size_t kKeys = std::size(pw::kSettingsKeys);
constexpr size_t kInterfaceKey = 5;  // then the from and the to field
constexpr uint8_t kMissing = 255;
constexpr uint8_t kLong = 254;

using Values = std::array<std::optional<std::string>, kKeys>;

// Each key's value when it is missing.
constexpr std::array<std::string_view, kKeys> kDefaults = {
    "Yes", "Yes", "Yes", "Yes", "Yes", "127.0.0.1", "*:*", "*:*",
    "No",  "No",  "Yes", "No",  "No",  "No",  "No"};

size_t KeyIndex(std::string_view key) {
  for (size_t i = 0; i < kKeys; ++i) {
    if (pw::kSettingsKeys[i].name == key) return i;
  }
  std::abort();  // the algorithm asked for a key that is not one of the fifteen
}

// The settings file in memory: what is in it, and what was asked of it.
class MemoryStore final : public pw::IniStore {
 public:
  bool folder = true;
  bool file = true;
  bool makeable = true;
  bool writable = true;
  size_t failing_write = kKeys;  // index of the write that fails
  Values values;
  std::vector<std::string_view> reads;
  std::vector<std::pair<std::string_view, std::string>> writes;
  bool open = false;

  bool find_application_folder() override { return folder; }
  std::string application_folder() const override { return folder ? "AppData/Gravlin" : ""; }
  bool open_existing_file() override { return open = file; }
  std::string read(std::string_view key, std::string_view fallback) override {
    Check(open);
    reads.push_back(key);
    const std::optional<std::string>& value = values[KeyIndex(key)];
    return value ? *value : std::string(fallback);
  }
  bool make_folder(std::string& error_text) override {
    if (!makeable) error_text = "Access is denied.";
    return makeable;
  }
  bool open_file_for_writing() override { return open = writable; }
  bool write(std::string_view key, std::string_view value) override {
    Check(open);
    writes.emplace_back(key, value);
    return writes.size() - 1 != failing_write;
  }
  void close() override { open = false; }
};

// Reads the fifteen values of the input layout.
Values ReadValues(std::string_view& in) {
  auto take = [&](size_t n) {
    const std::string_view part = in.substr(0, n);
    in.remove_prefix(part.size());
    return part;
  };
  auto byte = [&] { return in.empty() ? kMissing : static_cast<uint8_t>(take(1)[0]); };
  Values values;
  for (std::optional<std::string>& value : values) {
    const uint8_t length = byte();
    if (length == kMissing) continue;
    if (length != kLong) {
      value = std::string(take(length));
      continue;
    }
    const size_t high = byte();
    const size_t size = high << 8 | byte();
    const std::string_view piece = take(byte());
    value = std::string(size, '\0');
    pw::fuzz::RepeatBytes(reinterpret_cast<const uint8_t*>(piece.data()), piece.size(),
                          reinterpret_cast<uint8_t*>(value->data()), size);
  }
  return values;
}

// The values before loading, as the main dialog sets them.
pw::SettingsControls StartupControls() {
  pw::SettingsControls c;
  c.bind_to_interface = "192.168.0.5";
  c.from_field = c.to_field = "*:*";
  c.tcp = c.udp = true;
  return c;
}

// The flags of the fifteen keys as loaded; the three texts stand as false.
std::array<bool, kKeys> Flags(const pw::SettingsRecord& r, const pw::SettingsControls& c) {
  return {r.SaveSessionPreferences, r.EnableFlipToTray, r.EnableTrayIconAnime,
          r.DataInHexViewOnlyUdp, r.TcpDataInTextView, false, false, false,
          c.two_way_traffic, c.on_top, c.tcp, c.udp, c.icmp, c.igmp, c.raw};
}

std::array<std::string, 3> Texts(const pw::SettingsControls& c) {
  return {c.bind_to_interface, c.from_field, c.to_field};
}

bool AllFlagsOff(const pw::SettingsRecord& r) {
  return !r.SaveSessionPreferences && !r.EnableFlipToTray && !r.EnableTrayIconAnime &&
         !r.DataInHexViewOnlyUdp && !r.DataInHexViewTcpAndUdp && !r.TcpDataInTextView &&
         !r.TcpDataInAsciiView;
}

bool SameControls(const pw::SettingsControls& a, const pw::SettingsControls& b) {
  return Texts(a) == Texts(b) && Flags({}, a) == Flags({}, b);
}

bool Complementary(const pw::SettingsRecord& r) {
  return r.DataInHexViewTcpAndUdp == !r.DataInHexViewOnlyUdp &&
         r.TcpDataInAsciiView == !r.TcpDataInTextView;
}

// Checks a load from `store` and returns what it loaded.
std::pair<pw::SettingsRecord, pw::SettingsControls> CheckLoad(MemoryStore& store) {
  pw::SettingsRecord record;
  pw::SettingsControls controls = StartupControls();
  const pw::LoadOutcome outcome = pw::LoadSettings(store, record, controls);
  Check(!store.open);
  if (!store.folder || !store.file) {
    Check(outcome == (store.folder ? pw::LoadOutcome::kFirstRun : pw::LoadOutcome::kNoFolder));
    Check(store.reads.empty());
    Check(SameControls(controls, StartupControls()));
    if (store.folder) {
      Check(record.SaveSessionPreferences && record.EnableFlipToTray &&
            record.EnableTrayIconAnime && record.DataInHexViewOnlyUdp &&
            record.TcpDataInTextView && Complementary(record));
    } else {
      Check(AllFlagsOff(record));
    }
    return {record, controls};
  }
  // Each flag is true exactly when its value is "Yes", or is missing with
  // the default "Yes".
  std::array<bool, kKeys> expected{};
  for (size_t i = 0; i < kKeys; ++i) {
    expected[i] = store.values[i].value_or(std::string(kDefaults[i])) == "Yes";
  }
  if (!expected[0]) {
    Check(outcome == pw::LoadOutcome::kPreferencesOff);
    Check(store.reads.size() == 1 && store.reads[0] == pw::kSettingsKeys[0].name);
    Check(AllFlagsOff(record));
    Check(SameControls(controls, StartupControls()));
    return {record, controls};
  }
  Check(outcome == pw::LoadOutcome::kLoaded);
  Check(std::equal(store.reads.begin(), store.reads.end(), std::begin(pw::kSettingsKeys),
                   std::end(pw::kSettingsKeys),
                   [](std::string_view read, const pw::SettingsKey& key) { return read == key.name; }));
  for (size_t i = kInterfaceKey; i < kInterfaceKey + 3; ++i) expected[i] = false;
  Check(Flags(record, controls) == expected);
  Check(Complementary(record));
  const std::array<std::string, 3> texts = Texts(controls);
  for (size_t t = 0; t < texts.size(); ++t) {
    const size_t key = kInterfaceKey + t;
    const std::string value = store.values[key].value_or(std::string(kDefaults[key]));
    Check(texts[t] == value.substr(0, pw::kSettingsValueMax));
  }
  return {record, controls};
}

// What a store of `r` and `c` must write, in order.
std::vector<std::pair<std::string_view, std::string>> ExpectedWrites(
    const pw::SettingsRecord& r, const pw::SettingsControls& c) {
  if (!r.SaveSessionPreferences) return {{pw::kSettingsKeys[0].name, "No"}};
  const std::array<bool, kKeys> flags = Flags(r, c);
  const std::array<std::string, 3> texts = {c.bind_to_interface.substr(0, pw::kInterfaceTextMax),
                                            c.from_field.substr(0, pw::kFieldTextMax),
                                            c.to_field.substr(0, pw::kFieldTextMax)};
  std::vector<std::pair<std::string_view, std::string>> writes;
  for (size_t i = 0; i < kKeys; ++i) {
    const bool text = i >= kInterfaceKey && i < kInterfaceKey + 3;
    writes.emplace_back(pw::kSettingsKeys[i].name,
                        text ? texts[i - kInterfaceKey] : flags[i] ? "Yes" : "No");
  }
  return writes;
}

// Checks a store of what was loaded; when all of it was written, loads it
// back and compares.
void CheckStore(MemoryStore& store, const pw::SettingsRecord& record,
                const pw::SettingsControls& controls) {
  std::string error_text;
  const pw::StoreOutcome outcome = pw::StoreSettings(store, record, controls, error_text);
  Check(!store.open);
  if (!store.folder || !store.makeable || !store.writable) {
    Check(outcome == (!store.folder     ? pw::StoreOutcome::kNoFolder
                      : !store.makeable ? pw::StoreOutcome::kFolderFailed
                                        : pw::StoreOutcome::kFileFailed));
    Check(store.writes.empty());
    Check(store.makeable || !store.folder || !error_text.empty());
    return;
  }
  std::vector<std::pair<std::string_view, std::string>> expected = ExpectedWrites(record, controls);
  if (store.failing_write < expected.size()) {
    Check(outcome == pw::StoreOutcome::kWriteFailed);
    expected.resize(store.failing_write + 1);
    Check(store.writes == expected);
    return;
  }
  Check(outcome == pw::StoreOutcome::kStored);
  Check(store.writes == expected);

  MemoryStore again;
  for (const auto& [key, value] : store.writes) again.values[KeyIndex(key)] = value;
  const auto [record2, controls2] = CheckLoad(again);
  if (!record.SaveSessionPreferences) return;  // CheckLoad saw that nothing else is read
  Check(Flags(record2, controls2) == Flags(record, controls));
  for (size_t t = 0; t < 3; ++t) Check(Texts(controls2)[t] == expected[kInterfaceKey + t].second);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  std::string_view in(reinterpret_cast<const char*>(data + 2), size - 2);
  MemoryStore load;
  load.folder = (data[0] & 1) != 0;
  load.file = (data[0] & 2) != 0;
  load.values = ReadValues(in);
  const auto [record, controls] = CheckLoad(load);

  MemoryStore store;
  store.folder = (data[0] & 4) != 0;
  store.makeable = (data[0] & 8) != 0;
  store.writable = (data[0] & 16) != 0;
  store.failing_write = data[1];
  CheckStore(store, record, controls);
  return 0;
}
