#include "ui/settings_file.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace pw {
namespace {

// An INI store in memory that records what the algorithm does with it.
class FakeIniStore final : public IniStore {
 public:
  bool folder_found = true;
  bool file_exists = true;
  bool folder_creatable = true;
  std::string folder_error = "Access denied.\r\n";
  bool file_creatable = true;
  // Writes fail from this key on (the count of writes that succeed first);
  // -1: every write succeeds.
  int failing_write = -1;
  std::map<std::string, std::string> values;
  std::vector<std::string> reads;
  std::vector<std::pair<std::string, std::string>> writes;
  int open_files = 0;

  bool find_application_folder() override { return folder_found; }
  std::string application_folder() const override { return folder_found ? "C:\\AppData\\Gravlin" : ""; }
  bool open_existing_file() override {
    if (!file_exists) return false;
    ++open_files;
    return true;
  }
  std::string read(std::string_view key, std::string_view fallback) override {
    reads.emplace_back(key);
    auto it = values.find(std::string(key));
    std::string value = it == values.end() ? std::string(fallback) : it->second;
    return value.substr(0, kSettingsValueMax);
  }
  bool make_folder(std::string& error_text) override {
    if (!folder_creatable) error_text = folder_error;
    return folder_creatable;
  }
  bool open_file_for_writing() override {
    if (!file_creatable) return false;
    ++open_files;
    return true;
  }
  bool write(std::string_view key, std::string_view value) override {
    if (failing_write >= 0 && static_cast<int>(writes.size()) >= failing_write) {
      failed_writes.emplace_back(key);
      return false;
    }
    writes.emplace_back(key, value);
    values[std::string(key)] = value;
    return true;
  }
  std::vector<std::string> failed_writes;
  void close() override { open_files = 0; }
};

SettingsControls StartupControls() {
  SettingsControls c;
  c.bind_to_interface = "192.168.0.5";
  c.from_field = "*:*";
  c.to_field = "*:*";
  c.tcp = c.udp = true;
  return c;
}

std::vector<std::string> AllKeys() {
  std::vector<std::string> keys;
  for (const SettingsKey& key : kSettingsKeys) keys.emplace_back(key.name);
  return keys;
}

bool AllFalse(const SettingsRecord& r) {
  return !r.SaveSessionPreferences && !r.EnableFlipToTray && !r.EnableTrayIconAnime &&
         !r.DataInHexViewOnlyUdp && !r.DataInHexViewTcpAndUdp && !r.TcpDataInTextView &&
         !r.TcpDataInAsciiView;
}

TEST(LoadSettings, NoFolderSetsNothing) {
  FakeIniStore store;
  store.folder_found = false;
  SettingsRecord record;
  SettingsControls controls = StartupControls();
  EXPECT_EQ(LoadSettings(store, record, controls), LoadOutcome::kNoFolder);
  EXPECT_TRUE(AllFalse(record));
  EXPECT_TRUE(store.reads.empty());
}

TEST(LoadSettings, FirstRunSetsDefaultsAndLeavesControls) {
  FakeIniStore store;
  store.file_exists = false;
  SettingsRecord record;
  SettingsControls controls = StartupControls();
  EXPECT_EQ(LoadSettings(store, record, controls), LoadOutcome::kFirstRun);
  EXPECT_TRUE(record.SaveSessionPreferences);
  EXPECT_TRUE(record.EnableFlipToTray);
  EXPECT_TRUE(record.EnableTrayIconAnime);
  EXPECT_TRUE(record.DataInHexViewOnlyUdp);
  EXPECT_FALSE(record.DataInHexViewTcpAndUdp);
  EXPECT_TRUE(record.TcpDataInTextView);
  EXPECT_FALSE(record.TcpDataInAsciiView);
  EXPECT_TRUE(store.reads.empty());
  EXPECT_EQ(controls.bind_to_interface, "192.168.0.5");
}

TEST(LoadSettings, EmptyFileReadsEveryKeyInOrderWithDefaults) {
  FakeIniStore store;
  SettingsRecord record;
  SettingsControls controls = StartupControls();
  EXPECT_EQ(LoadSettings(store, record, controls), LoadOutcome::kLoaded);
  EXPECT_EQ(store.reads, AllKeys());
  EXPECT_EQ(store.open_files, 0) << "the file is closed after loading";
  EXPECT_TRUE(record.SaveSessionPreferences && record.EnableFlipToTray &&
              record.EnableTrayIconAnime && record.DataInHexViewOnlyUdp &&
              record.TcpDataInTextView);
  EXPECT_FALSE(record.DataInHexViewTcpAndUdp || record.TcpDataInAsciiView);
  EXPECT_EQ(controls.bind_to_interface, "127.0.0.1");
  EXPECT_EQ(controls.from_field, "*:*");
  EXPECT_EQ(controls.to_field, "*:*");
  EXPECT_FALSE(controls.two_way_traffic || controls.on_top);
  EXPECT_TRUE(controls.tcp);
  EXPECT_FALSE(controls.udp) << "a missing OnUdp unchecks udp";
  EXPECT_FALSE(controls.icmp || controls.igmp || controls.raw);
}

TEST(LoadSettings, OnlyExactYesIsTrueAndComplementsFollow) {
  struct Case {
    std::string value;
    bool expected;
  };
  const Case cases[] = {{"Yes", true}, {"yes", false}, {"YES", false}, {"1", false},
                        {"", false},   {"Yes ", false}, {"No", false}, {"Yess", false}};
  for (const Case& c : cases) {
    FakeIniStore store;
    store.values = {{"EnableFlipToTray", c.value}, {"DataInHexViewOnlyUdp", c.value},
                    {"TcpDataInTextView", c.value}, {"OnTop", c.value}, {"OnUdp", c.value}};
    SettingsRecord record;
    SettingsControls controls;
    ASSERT_EQ(LoadSettings(store, record, controls), LoadOutcome::kLoaded);
    EXPECT_EQ(record.EnableFlipToTray, c.expected) << '"' << c.value << '"';
    EXPECT_EQ(record.DataInHexViewOnlyUdp, c.expected);
    EXPECT_EQ(record.DataInHexViewTcpAndUdp, !c.expected);
    EXPECT_EQ(record.TcpDataInTextView, c.expected);
    EXPECT_EQ(record.TcpDataInAsciiView, !c.expected);
    EXPECT_EQ(controls.on_top, c.expected);
    EXPECT_EQ(controls.udp, c.expected);
  }
}

TEST(LoadSettings, PreferencesOffStopsAfterTheFirstKey) {
  FakeIniStore store;
  store.values = {{"SaveSessionPreferences", "No"}, {"EnableFlipToTray", "Yes"}, {"OnRaw", "Yes"}};
  SettingsRecord record;
  SettingsControls controls = StartupControls();
  EXPECT_EQ(LoadSettings(store, record, controls), LoadOutcome::kPreferencesOff);
  EXPECT_EQ(store.reads, std::vector<std::string>{"SaveSessionPreferences"});
  EXPECT_TRUE(AllFalse(record)) << "neither item of either pair is checked";
  EXPECT_EQ(controls.bind_to_interface, "192.168.0.5");
  EXPECT_FALSE(controls.raw);
  EXPECT_EQ(store.open_files, 0);
}

TEST(LoadSettings, LongTextsAreReadWholeUpTo79Characters) {
  FakeIniStore store;
  store.values = {{"FromIPAddress:port", std::string(40, '1')},
                  {"ToIPAddress:port", std::string(120, '2')}};
  SettingsRecord record;
  SettingsControls controls;
  LoadSettings(store, record, controls);
  EXPECT_EQ(controls.from_field, std::string(40, '1'));
  EXPECT_EQ(controls.to_field, std::string(79, '2'));
}

TEST(StoreSettings, WritesAllFifteenKeysInOrder) {
  FakeIniStore store;
  SettingsRecord record;
  record.SaveSessionPreferences = record.EnableFlipToTray = record.DataInHexViewOnlyUdp = true;
  SettingsControls controls = StartupControls();
  controls.from_field = "10.0.0.1:80";
  controls.raw = true;
  std::string error;
  EXPECT_EQ(StoreSettings(store, record, controls, error), StoreOutcome::kStored);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"SaveSessionPreferences", "Yes"}, {"EnableFlipToTray", "Yes"},
      {"EnableTrayIconAnime", "No"},     {"DataInHexViewOnlyUdp", "Yes"},
      {"TcpDataInTextView", "No"},       {"BindToInterface", "192.168.0.5"},
      {"FromIPAddress:port", "10.0.0.1:80"}, {"ToIPAddress:port", "*:*"},
      {"TwoWayTraffic", "No"},           {"OnTop", "No"},
      {"OnTcp", "Yes"},                  {"OnUdp", "Yes"},
      {"OnIcmp", "No"},                  {"OnIgmp", "No"},
      {"OnRaw", "Yes"}};
  EXPECT_EQ(store.writes, expected);
  EXPECT_EQ(store.open_files, 0);
}

TEST(StoreSettings, PreferencesOffWritesOnlyItself) {
  FakeIniStore store;
  store.values = {{"OnRaw", "Yes"}};
  SettingsRecord record;  // as on a refused system: nothing loaded
  std::string error;
  EXPECT_EQ(StoreSettings(store, record, StartupControls(), error), StoreOutcome::kStored);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"SaveSessionPreferences", "No"}};
  EXPECT_EQ(store.writes, expected);
  EXPECT_EQ(store.values["OnRaw"], "Yes") << "other keys keep their old values";
}

TEST(StoreSettings, TextsAreCutToTheirRoom) {
  FakeIniStore store;
  SettingsRecord record;
  record.SaveSessionPreferences = true;
  SettingsControls controls;
  controls.bind_to_interface = std::string(30, '9');
  controls.from_field = std::string(60, 'f');
  controls.to_field = "[ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255]:65535";
  std::string error;
  StoreSettings(store, record, controls, error);
  EXPECT_EQ(store.values["BindToInterface"], std::string(19, '9'));
  EXPECT_EQ(store.values["FromIPAddress:port"], std::string(53, 'f'));
  EXPECT_EQ(store.values["ToIPAddress:port"], controls.to_field);
}

TEST(StoreSettings, FailuresWriteNothing) {
  std::string error;
  SettingsRecord record;
  record.SaveSessionPreferences = true;
  {
    FakeIniStore store;
    store.folder_found = false;
    EXPECT_EQ(StoreSettings(store, record, {}, error), StoreOutcome::kNoFolder);
    EXPECT_TRUE(store.writes.empty());
  }
  {
    FakeIniStore store;
    store.folder_creatable = false;
    store.folder_error = "The system cannot find the path specified.\r\n";
    EXPECT_EQ(StoreSettings(store, record, {}, error), StoreOutcome::kFolderFailed);
    EXPECT_EQ(error, store.folder_error);
    EXPECT_TRUE(store.writes.empty());
  }
  {
    FakeIniStore store;
    store.file_creatable = false;
    EXPECT_EQ(StoreSettings(store, record, {}, error), StoreOutcome::kFileFailed);
    EXPECT_TRUE(store.writes.empty());
  }
}

TEST(StoreSettings, StopsAtTheFirstKeyThatCannotBeWrittenAndCloses) {
  SettingsRecord record;
  record.SaveSessionPreferences = true;
  struct Case {
    bool preferences;
    int failing_write;  // writes that succeed before the first failure
    size_t written;
  };
  const Case cases[] = {{true, 0, 0}, {true, 5, 5}, {true, 14, 14}, {false, 0, 0}};
  for (const Case& c : cases) {
    FakeIniStore store;
    store.failing_write = c.failing_write;
    record.SaveSessionPreferences = c.preferences;
    std::string error;
    EXPECT_EQ(StoreSettings(store, record, StartupControls(), error), StoreOutcome::kWriteFailed);
    EXPECT_EQ(store.writes.size(), c.written);
    ASSERT_EQ(store.failed_writes.size(), 1u) << "nothing is tried after the first failure";
    EXPECT_EQ(store.failed_writes[0], AllKeys()[c.written]);
    EXPECT_EQ(store.open_files, 0) << "the file is closed after a failed write";
  }
}

TEST(Settings, StoredValuesLoadBackTheSame) {
  FakeIniStore store;
  SettingsRecord record;
  record.SaveSessionPreferences = record.EnableTrayIconAnime = record.TcpDataInTextView = true;
  SettingsControls controls = StartupControls();
  controls.two_way_traffic = controls.on_top = controls.igmp = true;
  controls.udp = false;
  std::string error;
  ASSERT_EQ(StoreSettings(store, record, controls, error), StoreOutcome::kStored);
  SettingsRecord loaded;
  SettingsControls shown;
  ASSERT_EQ(LoadSettings(store, loaded, shown), LoadOutcome::kLoaded);
  EXPECT_EQ(loaded.EnableFlipToTray, false);
  EXPECT_EQ(loaded.EnableTrayIconAnime, true);
  EXPECT_EQ(loaded.DataInHexViewTcpAndUdp, true);
  EXPECT_EQ(loaded.TcpDataInAsciiView, false);
  EXPECT_EQ(shown.bind_to_interface, controls.bind_to_interface);
  EXPECT_TRUE(shown.two_way_traffic && shown.on_top && shown.igmp && shown.tcp);
  EXPECT_FALSE(shown.udp || shown.icmp || shown.raw);
}

}  // namespace
}  // namespace pw
