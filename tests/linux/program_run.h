// Runs the `pebblewire` program (PW_PROGRAM) as a child process for end to
// end tests: its standard output and error are collected by a reader
// thread, the test may wait for a text to appear, send a signal, close its
// end of the output pipe, and wait for the end. Every wait is bounded; a
// child that outlives its bound is killed and the wait says so.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace pw::test {

struct ProgramResult {
  int status = -1;  // the exit status, -1 when the program did not exit
  int signal = 0;   // the signal that ended it, 0 when none did
  bool timed_out = false;
  std::string out;
  std::string err;
};

struct ProgramSetup {
  std::string netns;                      // run in this network namespace
  std::optional<rlim_t> file_size_limit;  // RLIMIT_FSIZE, with SIGXFSZ ignored
  int stdin_fd = -1;                      // -1: /dev/null
  int stdout_fd = -1;                     // -1: a pipe that the test reads
  int stderr_fd = -1;                     // -1: a pipe that the test reads
  std::optional<uid_t> user;              // run as this user (and group)
};

class ProgramRun {
 public:
  explicit ProgramRun(const std::vector<std::string>& args, const ProgramSetup& setup = {}) {
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    control_ = eventfd(0, EFD_CLOEXEC);
    // Everything the child needs is made before fork: the child only
    // redirects, enters the namespace and executes.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(PW_PROGRAM));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::string netns = setup.netns.empty() ? "" : "/var/run/netns/" + setup.netns;
    pid_ = fork();
    if (pid_ == 0) Exec(argv, netns, setup, out[1], err[1]);
    close(out[1]);
    close(err[1]);
    out_fd_ = out[0];
    err_fd_ = err[0];
    reader_ = std::thread([this] { read_until_closed(); });
  }

  ~ProgramRun() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    stop_reader();
  }

  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  pid_t pid() const { return pid_; }

  std::string out() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return out_;
  }
  std::string err() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return err_;
  }

  // Waits until standard error (or output) holds `text`; false when the
  // program ended first or `limit` passed.
  bool wait_for_err(std::string_view text, std::chrono::seconds limit = std::chrono::seconds(10)) {
    return wait_for([&] { return err().find(text) != std::string::npos; }, limit);
  }
  bool wait_for_out(std::string_view text, std::chrono::seconds limit = std::chrono::seconds(10)) {
    return wait_for([&] { return out().find(text) != std::string::npos; }, limit);
  }

  // Closes the test's end of the program's standard output, as `head`
  // does when it has read enough.
  void close_output() { eventfd_write(control_, 1); }

  // True once the program has exited; fills the status.
  bool exited() {
    if (reaped_) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
    note_status(status);
    return true;
  }

  // Waits for the end (at most `limit`, then kills the program).
  ProgramResult finish(std::chrono::seconds limit = std::chrono::seconds(60)) {
    const bool ended = wait_for([&] { return exited(); }, limit);
    if (!ended) {
      kill(pid_, SIGKILL);
      int status = 0;
      waitpid(pid_, &status, 0);
      note_status(status);
      result_.timed_out = true;
    }
    // What the program wrote before it ended is read to the end.
    wait_for([&] { return reader_done(); }, std::chrono::seconds(10));
    stop_reader();
    result_.out = out();
    result_.err = err();
    return result_;
  }

 private:
  [[noreturn]] static void Exec(std::vector<char*>& argv, const std::string& netns,
                                const ProgramSetup& setup, int out, int err) {
    const int in = setup.stdin_fd >= 0 ? setup.stdin_fd : open("/dev/null", O_RDONLY);
    if (setup.stdout_fd >= 0) out = setup.stdout_fd;
    if (setup.stderr_fd >= 0) err = setup.stderr_fd;
    if (in < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
    if (!netns.empty()) {
      const int ns = open(netns.c_str(), O_RDONLY | O_CLOEXEC);
      if (ns < 0 || setns(ns, CLONE_NEWNET) != 0) _exit(125);
    }
    if (setup.file_size_limit) {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{*setup.file_size_limit, *setup.file_size_limit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (setup.user && (setresgid(*setup.user, *setup.user, *setup.user) != 0 ||
                       setresuid(*setup.user, *setup.user, *setup.user) != 0)) {
      _exit(124);
    }
    execv(PW_PROGRAM, argv.data());
    _exit(127);
  }

  template <typename Done>
  bool wait_for(Done done, std::chrono::seconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() >= until) return false;
      if (reaped_ && reader_done()) return done();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

  void note_status(int status) {
    reaped_ = true;
    if (WIFEXITED(status)) result_.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
  }

  bool reader_done() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return out_fd_ < 0 && err_fd_ < 0;
  }

  // One thread reads both pipes until the program closes them; a control
  // event closes standard output early.
  void read_until_closed() {
    for (;;) {
      int out_fd;
      int err_fd;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        out_fd = out_fd_;
        err_fd = err_fd_;
      }
      if (out_fd < 0 && err_fd < 0) return;
      pollfd fds[3] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}, {control_, POLLIN, 0}};
      if (poll(fds, 3, 100) < 0) continue;
      if (fds[2].revents & POLLIN) {
        eventfd_t value = 0;
        eventfd_read(control_, &value);
        if (value >= kStop) return;
        close_stream(out_fd_);
        continue;
      }
      drain(fds[0], out_fd_, out_);
      drain(fds[1], err_fd_, err_);
    }
  }

  void drain(const pollfd& p, int& fd, std::string& text) {
    if (p.fd < 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) return;
    char chunk[4096];
    const ssize_t n = read(p.fd, chunk, sizeof chunk);
    std::lock_guard<std::mutex> lock(mutex_);
    if (n > 0) {
      text.append(chunk, static_cast<size_t>(n));
    } else if (fd >= 0) {
      close(fd);
      fd = -1;
    }
  }

  void close_stream(int& fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd >= 0) close(fd);
    fd = -1;
  }

  void stop_reader() {
    if (!reader_.joinable()) return;
    eventfd_write(control_, kStop);
    reader_.join();
    close_stream(out_fd_);
    close_stream(err_fd_);
    close(control_);
  }

  static constexpr eventfd_t kStop = 1u << 20;
  pid_t pid_ = -1;
  bool reaped_ = false;
  int out_fd_ = -1;
  int err_fd_ = -1;
  int control_ = -1;
  std::thread reader_;
  mutable std::mutex mutex_;
  std::string out_;
  std::string err_;
  ProgramResult result_;
};

// Runs the program to its end.
inline ProgramResult RunProgram(const std::vector<std::string>& args,
                                const ProgramSetup& setup = {}) {
  ProgramRun run(args, setup);
  return run.finish();
}

}  // namespace pw::test
