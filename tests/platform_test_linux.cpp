// Linux platform code against the real system: the privilege check, the
// interface list, the choice of the capture device, and the save-file
// writer.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "capture/pcap_source.h"
#include "capture/privilege.h"
#include "cli/save_file.h"
#include "tests/pcap_file.h"
#include "shell/interface_slots.h"
#include "tests/temp_dir.h"

namespace pw {
namespace {


TEST(PrivilegeLinux, RootMayCaptureAnOrdinaryUserMayNot) {
  const PrivilegeResult mine = SystemPrivilegeCheck().check();
  EXPECT_TRUE(mine.checked);
  EXPECT_EQ(mine.allowed, geteuid() == 0);
  if (geteuid() != 0) GTEST_SKIP() << "skipped: dropping to another user needs root";

  // A child that becomes "nobody" loses its capabilities.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(9);
    const PrivilegeResult r = SystemPrivilegeCheck().check();
    _exit(r.checked ? (r.allowed ? 1 : 0) : 2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "0: checked, not allowed";
}

struct SystemInterface {
  std::string name;
  uint32_t address;  // 0: none
};

// Every non-loopback interface with its first IPv4 address, as the test
// finds them.
std::vector<SystemInterface> SystemInterfaces() {
  std::vector<SystemInterface> found;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return found;
  for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_flags & IFF_LOOPBACK) continue;
    std::string name = a->ifa_name;
    name = name.substr(0, name.find(':'));
    SystemInterface* entry = nullptr;
    for (SystemInterface& i : found) {
      if (i.name == name) entry = &i;
    }
    if (entry == nullptr) entry = &found.emplace_back(SystemInterface{name, 0});
    if (entry->address == 0 && a->ifa_addr && a->ifa_addr->sa_family == AF_INET) {
      entry->address = ntohl(reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr);
    }
  }
  freeifaddrs(list);
  return found;
}

std::string Dotted(uint32_t a) {
  return std::to_string(a >> 24) + "." + std::to_string(a >> 16 & 255) + "." +
         std::to_string(a >> 8 & 255) + "." + std::to_string(a & 255);
}

TEST(InterfaceListLinux, OneEntryPerInterfaceAddressedOnesFirst) {
  const std::vector<SystemInterface> system = SystemInterfaces();
  const AdapterQuery query = QuerySystemAdapters();
  if (system.empty()) {
    EXPECT_TRUE(query.no_adapters);
    return;
  }
  ASSERT_TRUE(query.listed);
  ASSERT_EQ(query.first_addresses.size(), system.size());
  bool seen_unaddressed = false;
  for (const std::string& text : query.first_addresses) {
    EXPECT_NE(text, "127.0.0.1");
    if (text == "0.0.0.0") {
      seen_unaddressed = true;
      continue;
    }
    EXPECT_FALSE(seen_unaddressed) << "addressed interfaces come first";
    bool known = false;
    for (const SystemInterface& i : system) known = known || Dotted(i.address) == text;
    EXPECT_TRUE(known) << text;
  }
  EXPECT_EQ(QuerySystemAdapters().first_addresses, query.first_addresses);  // stable
}

TEST(CaptureDevice, ChosenByTheBindAddress) {
  EXPECT_EQ(CaptureDeviceFor(0x7F000001), "lo");
  EXPECT_EQ(CaptureDeviceFor(0), "any");
  EXPECT_EQ(CaptureDeviceFor(0xFFFFFFFF), "any");
  EXPECT_EQ(CaptureDeviceFor(0x0A0B0C0D), "any");  // no interface has it
  for (const SystemInterface& i : SystemInterfaces()) {
    if (i.address != 0) {
      EXPECT_EQ(CaptureDeviceFor(i.address), i.name) << Dotted(i.address);
    }
  }
}

using SaveFileTest = test::TempDirTest;

std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

TEST_F(SaveFileTest, WritesReplacesAndLeavesNothingBehind) {
  const std::string path = Path("log.txt");
  test::WriteFile(path, "an older, longer file that is replaced whole");
  cli::SaveFile file;
  ASSERT_TRUE(file.prepare(path)) << file.error();
  EXPECT_EQ(test::ReadFile(path), "an older, longer file that is replaced whole");
  ASSERT_TRUE(file.commit(Bytes("\t0\tudp\r\n"))) << file.error();
  EXPECT_EQ(test::ReadFile(path), "\t0\tudp\r\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"log.txt"});

  cli::SaveFile abandoned;
  ASSERT_TRUE(abandoned.prepare(path));
  abandoned.abandon();
  EXPECT_EQ(test::ReadFile(path), "\t0\tudp\r\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"log.txt"});

  cli::SaveFile to_null;  // not a regular file: written directly
  ASSERT_TRUE(to_null.prepare("/dev/null")) << to_null.error();
  EXPECT_TRUE(to_null.commit(Bytes("x")));
}

TEST_F(SaveFileTest, FailuresAreReportedAndKeepTheOldFile) {
  cli::SaveFile file;
  EXPECT_FALSE(file.prepare(Path("no/such/dir.txt")));
  EXPECT_NE(file.error().find("No such file or directory"), std::string::npos) << file.error();
  EXPECT_FALSE(file.prepare(dir_.string()));
  EXPECT_NE(file.error().find("Is a directory"), std::string::npos) << file.error();
  EXPECT_FALSE(file.commit(Bytes("x")));

  cli::SaveFile full;
  ASSERT_TRUE(full.prepare("/dev/full"));
  EXPECT_FALSE(full.commit(Bytes("x")));
  EXPECT_NE(full.error().find("No space left on device"), std::string::npos) << full.error();

  // A write that fails half-way (file size limit) leaves the old file.
  const std::string path = Path("packets.bin");
  test::WriteFile(path, "old");
  cli::SaveFile big;
  ASSERT_TRUE(big.prepare(path));
  rlimit old_limit{};
  getrlimit(RLIMIT_FSIZE, &old_limit);
  const auto old_handler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = old_limit;
  small.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool written = big.commit(Bytes(std::string(10000, 'x')));
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(written);
  EXPECT_NE(big.error().find("cannot write " + path), std::string::npos) << big.error();
  EXPECT_EQ(test::ReadFile(path), "old");
  EXPECT_EQ(Files(), std::vector<std::string>{"packets.bin"});
}

}  // namespace
}  // namespace pw
