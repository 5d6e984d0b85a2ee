// Shared helpers of the test executables.
#include "test_support.h"

#include <algorithm>

#include <atomic>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "platform/host/text_encoding.h"
#include "platform/win/test_controls.h"

namespace orbel::testing {

void VirtualClockTest::SetUp() {
  plat::test::UseVirtualClock();
  plat::test::Reset();
}

void VirtualClockTest::TearDown() { plat::test::Reset(); }

ScopedWorkDir::ScopedWorkDir() {
  static std::atomic<int> counter{0};
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "work";
  for (char& c : name)
    if (c == '/') c = '_';
  path_ = std::filesystem::path(ORBEL_BINARY_DIR) / "test-work" /
          (name + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
  previous_ = std::filesystem::current_path();
  std::filesystem::current_path(path_);
}

ScopedWorkDir::~ScopedWorkDir() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string ReadFileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> ReadLogMessages(const std::filesystem::path& path) {
  const std::string text = ReadFileText(path);
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    const size_t colon = line.find(':');
    if (colon != std::string::npos && line.find_first_not_of("0123456789") == colon) line.erase(0, colon + 1);
    line.erase(0, std::min(line.find_first_not_of('\t'), line.size()));
    lines.push_back(line);
    start = end + 2;
  }
  return lines;
}

void WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteFileText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::filesystem::path DiskPath(const std::string& shiftJis) {
  return std::filesystem::path(plat::host::ShiftJisToUtf8(shiftJis));
}

}  // namespace orbel::testing
