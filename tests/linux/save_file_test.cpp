// The save-file writer against the real file system: a file is replaced
// whole or not at all, every failing step is reported with its real
// reason, and no temporary file is left behind. The full and read-only
// file systems are tiny tmpfs mounts in a mount namespace of a child
// process (root only; skipped otherwise).
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "cli/save_file.h"
#include "support/pcap_file.h"
#include "support/temp_dir.h"

namespace pw {
namespace {

using SaveFileTest = test::TempDirTest;

std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// Runs `work` in a child process and returns what it returned; the child
// may change its mounts or its user without touching this process.
std::string InChild(const std::function<std::string()>& work) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return "pipe failed";
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_fds[0]);
    const std::string report = work();
    const ssize_t written = write(pipe_fds[1], report.data(), report.size());
    _exit(written == static_cast<ssize_t>(report.size()) ? 0 : 1);
  }
  close(pipe_fds[1]);
  std::string report;
  char chunk[512];
  for (ssize_t n; (n = read(pipe_fds[0], chunk, sizeof chunk)) > 0;) report.append(chunk, n);
  close(pipe_fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return report;
}

// In a child: a private mount namespace with a tmpfs of `size` on `dir`.
bool MountTinyFilesystem(const std::string& dir, const std::string& size) {
  return unshare(CLONE_NEWNS) == 0 &&
         mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
}

// What a failed save left: "<error>|<old file's text>|<names in the dir>".
std::string Aftermath(const cli::SaveFile& file, const std::string& dir,
                      const std::string& path) {
  std::string names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    names += e.path().filename().string() + " ";
  }
  return file.error() + "|" + test::ReadFile(path) + "|" + names;
}

TEST_F(SaveFileTest, WritesReplacesAndLeavesNothingBehind) {
  const std::string path = Path("log.txt");
  test::WriteFile(path, "an older, longer file that is replaced whole");
  chmod(path.c_str(), 0600);
  cli::SaveFile file;
  ASSERT_TRUE(file.prepare(path)) << file.error();
  EXPECT_EQ(test::ReadFile(path), "an older, longer file that is replaced whole");
  ASSERT_TRUE(file.commit(Bytes("\t0\tudp\r\n"))) << file.error();
  EXPECT_EQ(test::ReadFile(path), "\t0\tudp\r\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"log.txt"});
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "the replaced file's permissions are kept";

  cli::SaveFile abandoned;
  ASSERT_TRUE(abandoned.prepare(path));
  abandoned.abandon();
  EXPECT_EQ(test::ReadFile(path), "\t0\tudp\r\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"log.txt"});

  cli::SaveFile emptied;  // nothing to save: an empty file, not the old one
  ASSERT_TRUE(emptied.prepare(path));
  ASSERT_TRUE(emptied.commit({})) << emptied.error();
  EXPECT_EQ(test::ReadFile(path), "");
  EXPECT_EQ(Files(), std::vector<std::string>{"log.txt"});

  cli::SaveFile to_null;  // not a regular file: written directly
  ASSERT_TRUE(to_null.prepare("/dev/null")) << to_null.error();
  EXPECT_TRUE(to_null.commit(Bytes("x")));
}

TEST_F(SaveFileTest, FailuresNameTheRealReasonAndKeepTheOldFile) {
  struct Case {
    std::string path;
    std::string error;
  } cases[] = {
      {Path("no/such/dir.txt"), "cannot write " + Path("no/such/dir.txt") +
                                    ": No such file or directory"},
      {dir_.string(), "cannot write " + dir_.string() + ": Is a directory"},
      {"/proc/version", "cannot write /proc/version: /proc does not take new files"},
      {"/proc/pebblewire.log", "cannot write /proc/pebblewire.log: /proc does not take new files"},
  };
  for (const Case& c : cases) {
    cli::SaveFile file;
    EXPECT_FALSE(file.prepare(c.path));
    EXPECT_EQ(file.error(), c.error);
    EXPECT_FALSE(file.commit(Bytes("x")));
    EXPECT_EQ(file.error(), c.error) << "the first reason is kept";
  }
  cli::SaveFile full;
  ASSERT_TRUE(full.prepare("/dev/full"));
  EXPECT_FALSE(full.commit(Bytes("x")));
  EXPECT_EQ(full.error(), "cannot write /dev/full: No space left on device");
  EXPECT_TRUE(Files().empty());
}

TEST_F(SaveFileTest, AWriteThatFailsHalfWayLeavesTheOldFile) {
  const std::string path = Path("packets.bin");
  test::WriteFile(path, "old");
  const std::string report = InChild([&] {
    cli::SaveFile big;
    if (!big.prepare(path)) return big.error();
    signal(SIGXFSZ, SIG_IGN);
    const rlimit small{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &small);
    big.commit(Bytes(std::string(10000, 'x')));
    return Aftermath(big, dir_.string(), path);
  });
  EXPECT_EQ(report, "cannot write " + path + ": File too large|old|packets.bin ");
}

#define SKIP_UNLESS_ROOT(what)                                         \
  if (geteuid() != 0) {                                                \
    std::printf("SKIP: %s needs root\n", what);                       \
    GTEST_SKIP() << what << " needs root";                             \
  }

TEST_F(SaveFileTest, AFullFileSystemLeavesTheOldFile) {
  SKIP_UNLESS_ROOT("a tmpfs in a mount namespace");
  const std::string path = Path("packets.bin");
  const std::string report = InChild([&] {
    if (!MountTinyFilesystem(dir_.string(), "64k")) return std::string("no tmpfs");
    test::WriteFile(path, "old");
    cli::SaveFile big;
    if (!big.prepare(path)) return big.error();
    big.commit(Bytes(std::string(256 * 1024, 'x')));
    return Aftermath(big, dir_.string(), path);
  });
  EXPECT_EQ(report, "cannot write " + path + ": No space left on device|old|packets.bin ");
}

TEST_F(SaveFileTest, AReadOnlyFileSystemIsNamed) {
  SKIP_UNLESS_ROOT("a tmpfs in a mount namespace");
  const std::string path = Path("log.txt");
  const std::string report = InChild([&] {
    if (!MountTinyFilesystem(dir_.string(), "64k")) return std::string("no tmpfs");
    test::WriteFile(path, "old");
    if (mount(nullptr, dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
      return std::string("no remount");
    }
    cli::SaveFile existing;
    existing.prepare(path);
    cli::SaveFile fresh;
    fresh.prepare(dir_.string() + "/new.txt");
    return Aftermath(existing, dir_.string(), path) + "|" + fresh.error();
  });
  EXPECT_EQ(report, "cannot write " + path + ": Read-only file system|old|log.txt |" +
                        "cannot write " + dir_.string() + "/new.txt: Read-only file system");
}

TEST_F(SaveFileTest, AFileOrDirectoryThisUserMayNotWriteIsNotReplaced) {
  SKIP_UNLESS_ROOT("becoming another user");
  const std::string path = Path("log.txt");
  test::WriteFile(path, "old");
  chmod(path.c_str(), 0644);
  chmod(dir_.c_str(), 0755);
  const std::string report = InChild([&] {
    if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) {
      return std::string("cannot become nobody");
    }
    cli::SaveFile existing;
    existing.prepare(path);
    cli::SaveFile fresh;
    fresh.prepare(Path("new.txt"));
    return Aftermath(existing, dir_.string(), path) + "|" + fresh.error();
  });
  EXPECT_EQ(report, "cannot write " + path + ": Permission denied|old|log.txt |" +
                        "cannot write " + Path("new.txt") + ": Permission denied");
}

}  // namespace
}  // namespace pw
