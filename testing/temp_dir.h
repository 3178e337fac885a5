// A folder under the system's temporary folder, removed with its content
// when the test ends.
#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>

namespace testutil {

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
      path_ = base / ("karstel-test-" + std::to_string(Pid()) + "-" +
                      std::to_string(counter.fetch_add(1)));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  static long Pid();
  std::filesystem::path path_;
};

}  // namespace testutil
