// Stream files kept in memory, for the tests of the streaming writer and of
// sessions that stream.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "files/capture_stream.h"

namespace pw::test {

// Files in memory; a write may be made to fail after a number of bytes.
class MemoryStreamFiles final : public StreamFile {
 public:
  bool open(const std::string& path) override {
    std::lock_guard lock(mutex_);
    if (path == refused_) return Fail("cannot open");
    current_ = path;
    files_[path].clear();
    ++opens_;
    return true;
  }
  size_t write(const uint8_t* bytes, size_t size) override {
    std::lock_guard lock(mutex_);
    size_t n = size;
    if (room_ < n) n = room_;
    room_ -= n;
    files_[current_].append(reinterpret_cast<const char*>(bytes), n);
    if (n < size) Fail("No space left on device");
    return n;
  }
  bool truncate(uint64_t size) override {
    std::lock_guard lock(mutex_);
    files_[current_].resize(size);
    return true;
  }
  bool sync() override { return true; }
  bool close() override { return true; }
  const std::string& error() const override { return error_; }
  int error_number() const override { return 0; }

  void allow(size_t bytes) { room_ = bytes; }
  void refuse(std::string path) { refused_ = std::move(path); }
  std::string file(const std::string& path) {
    std::lock_guard lock(mutex_);
    return files_[path];
  }
  std::vector<std::string> names() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files_) names.push_back(name);
    return names;
  }
  int opens() const { return opens_; }

 private:
  bool Fail(std::string why) {
    error_ = std::move(why);
    return false;
  }
  std::mutex mutex_;
  std::map<std::string, std::string> files_;
  std::string current_;
  std::string refused_;
  std::string error_;
  size_t room_ = SIZE_MAX;
  int opens_ = 0;
};

}  // namespace pw::test
