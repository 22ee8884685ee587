// A test fixture with a fresh directory of its own under the system's
// temporary directory, removed after the test. The directory is named
// after the test and the process, so that test programs that run at the
// same time (other builds' runs of the same test) never share one.
#pragma once

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace pw::test {

class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
#if defined(_WIN32)
    const int process = _getpid();
#else
    const int process = static_cast<int>(getpid());
#endif
    dir_ = std::filesystem::temp_directory_path() /
           ("pebblewire_" + std::to_string(process) + "_" + info->test_suite_name() + "_" +
            info->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  // The names in the directory, sorted.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::filesystem::path dir_;
};

}  // namespace pw::test
