// Shared helpers of the test executables: a fixture that installs the virtual clock and a fresh
// stand-in state, a temporary working directory, and file helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <sys/types.h>
#include <string>
#include <vector>

namespace orbel::testing {

// Installs the virtual clock and resets every stand-in test control.
class VirtualClockTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// A fresh directory under the build tree that becomes the working directory for the test's life.
class ScopedWorkDir {
 public:
  ScopedWorkDir();
  ~ScopedWorkDir();
  ScopedWorkDir(const ScopedWorkDir&) = delete;
  ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);
std::string ReadFileText(const std::filesystem::path& path);
// The messages of a Log.txt: one a line, without the time stamp and the indent tabs.
std::vector<std::string> ReadLogMessages(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
void WriteFileText(const std::filesystem::path& path, const std::string& text);

// The path on disk (UTF-8) of a path the library writes in Shift-JIS, as the platform converts it.
std::filesystem::path DiskPath(const std::string& shiftJis);
// A picture read from xwd's output (`xwd -root -silent`, `xwd -id N -silent`): ZPixmap of 24 or 32 bits a
// pixel, turned into 0x00RRGGBB rows top-down. False when the command gives nothing usable.
struct XwdPicture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
bool ReadXwd(const std::string& command, XwdPicture* out);
// The lines a shell command writes to its standard output, without their line ends; none when it cannot run.
std::vector<std::string> CommandLines(const std::string& command);

// This process's environment with `changes` applied: "NAME=value" sets a variable, "NAME" alone removes it.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& changes);
// Runs this test executable again for the tests `filter` names, in the environment EnvironmentWith makes,
// its standard output and error written to `output` when one is given; its exit status, -1 when it did
// not exit.
int RunSelf(const std::string& filter, const std::vector<std::string>& changes,
            const std::filesystem::path& output = {});
// Starts `program` with `arguments` in the environment EnvironmentWith makes, its standard output and error
// written to `output` when one is given, without waiting: its pid, -1 when it could not start.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::vector<std::string>& changes, const std::filesystem::path& output = {});
// Starts the same child as RunSelf without waiting: its pid, -1 when it could not start.
pid_t StartSelf(const std::string& filter, const std::vector<std::string>& changes,
                const std::filesystem::path& output = {});
// Waits up to `seconds` of real time for the child to end, its wait status into `status`; a child still
// running then is killed (and reaped) and false returned.
bool WaitForChild(pid_t pid, int* status, int seconds);
// The private folders of ended processes (names with "process-") left anywhere below `base`, links not
// followed, a line each with what it holds; empty when none was left.
std::string ProcessFoldersLeft(const std::filesystem::path& base);

// Another user's files, for tests of what a user's processes must not trust. Only root can give a file
// away: GiveToAnotherUser hands `path` itself (a link, not what it points to) to nobody, false otherwise.
constexpr unsigned kAnotherUser = 65534;
bool GiveToAnotherUser(const std::filesystem::path& path);

// Runs `body` in a forked child as an ordinary user, for what root would hide (root ignores modes): as
// kAnotherUser, groups dropped, when this process is root, else as this user. The child starts in
// `folder`, given to that user, and reaches what it needs from there (the folders above may be closed to
// it). What `body` returns (empty: all held), or why the child could not run it.
std::string RunAsOrdinaryUser(const std::filesystem::path& folder, const std::function<std::string()>& body);

// A u8"..." literal as plain bytes: UTF-8 text that the Shift-JIS execution charset leaves alone.
inline std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

}  // namespace orbel::testing
