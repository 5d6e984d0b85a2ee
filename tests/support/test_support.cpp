// Shared helpers of the test executables.
#include "test_support.h"

#include <algorithm>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <fcntl.h>
#include <grp.h>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/host/text_encoding.h"
#include "platform/test_controls.h"

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

std::vector<std::string> EnvironmentWith(const std::vector<std::string>& changes) {
  std::vector<std::string> entries;
  for (const std::string& change : changes) {
    if (change.find('=') != std::string::npos) entries.push_back(change);
  }
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const bool changed = std::any_of(changes.begin(), changes.end(), [&](const std::string& change) {
      return entry.rfind(change.substr(0, change.find('=')) + "=", 0) == 0;
    });
    if (!changed) entries.push_back(entry);
  }
  return entries;
}

pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::vector<std::string>& changes, const std::filesystem::path& output) {
  std::vector<std::string> env = EnvironmentWith(changes);
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> args{program};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!output.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  }
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return spawned == 0 ? pid : -1;
}

pid_t StartSelf(const std::string& filter, const std::vector<std::string>& changes,
                const std::filesystem::path& output) {
  return StartProgram(std::filesystem::read_symlink("/proc/self/exe").string(), {"--gtest_filter=" + filter},
                      changes, output);
}

bool WaitForChild(pid_t pid, int* status, int seconds) {
  for (int waited = 0; waited <= seconds * 100; ++waited) {
    const pid_t ended = ::waitpid(pid, status, WNOHANG);
    if (ended == pid) return true;
    if (ended < 0) return false;
    ::usleep(10000);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, status, 0);
  return false;
}

std::string ProcessFoldersLeft(const std::filesystem::path& base) {
  namespace fs = std::filesystem;
  std::string left;
  std::error_code error;
  for (fs::recursive_directory_iterator it(base, error), end; !error && it != end; it.increment(error)) {
    if (it->path().filename().string().find("process-") == std::string::npos) continue;
    left += it->path().string() + ", holding:";
    std::error_code listError;
    for (fs::directory_iterator inside(it->path(), listError), none; !listError && inside != none;
         inside.increment(listError)) {
      left += " " + inside->path().filename().string();
    }
    left += "\n";
    it.disable_recursion_pending();
  }
  return left;
}

int RunSelf(const std::string& filter, const std::vector<std::string>& changes,
            const std::filesystem::path& output) {
  const pid_t pid = StartSelf(filter, changes, output);
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool GiveToAnotherUser(const std::filesystem::path& path) {
  return ::geteuid() == 0 && ::lchown(path.c_str(), kAnotherUser, kAnotherUser) == 0;
}

std::string RunAsOrdinaryUser(const std::filesystem::path& folder, const std::function<std::string()>& body) {
  const bool root = ::geteuid() == 0;
  if (root && !GiveToAnotherUser(folder)) return "could not give " + folder.string() + " to another user";
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int report[2];
  if (folderFd < 0 || ::pipe2(report, O_CLOEXEC) != 0) return "could not open " + folder.string();
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(report[0]);
    std::string said;
    if (::fchdir(folderFd) != 0) {
      said = "could not enter the folder";
    } else if (root && (::setgroups(0, nullptr) != 0 || ::setresgid(kAnotherUser, kAnotherUser, kAnotherUser) != 0 ||
                        ::setresuid(kAnotherUser, kAnotherUser, kAnotherUser) != 0)) {
      said = "could not become another user";
    } else {
      said = body();
    }
    for (size_t done = 0; done < said.size();) {
      const ssize_t n = ::write(report[1], said.data() + done, said.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::_exit(0);  // no exit handler of the test process runs twice
  }
  ::close(report[1]);
  ::close(folderFd);
  if (pid < 0) {
    ::close(report[0]);
    return "could not fork";
  }
  std::string said;
  char chunk[4096];
  for (ssize_t n; (n = ::read(report[0], chunk, sizeof chunk)) > 0;) said.append(chunk, static_cast<size_t>(n));
  ::close(report[0]);
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    said += " (the child did not end normally)";
  }
  return said;
}

std::filesystem::path DiskPath(const std::string& shiftJis) {
  return std::filesystem::path(plat::host::ShiftJisToUtf8(shiftJis));
}

namespace {

uint32_t Big32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b[at]) << 24 | static_cast<uint32_t>(b[at + 1]) << 16 |
         static_cast<uint32_t>(b[at + 2]) << 8 | b[at + 3];
}

}  // namespace

std::vector<std::string> CommandLines(const std::string& command) {
  std::vector<std::string> lines;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return lines;
  std::string line;
  for (int c; (c = std::fgetc(pipe)) != EOF;) {
    if (c != '\n') {
      line.push_back(static_cast<char>(c));
    } else {
      lines.push_back(std::move(line));
      line.clear();
    }
  }
  if (!line.empty()) lines.push_back(std::move(line));
  pclose(pipe);
  return lines;
}

bool ReadXwd(const std::string& command, XwdPicture* out) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  std::vector<uint8_t> b;
  uint8_t chunk[65536];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) b.insert(b.end(), chunk, chunk + n);
  pclose(pipe);
  if (b.size() < 100) return false;
  const uint32_t headerSize = Big32(b, 0), width = Big32(b, 16), height = Big32(b, 20);
  const uint32_t byteOrder = Big32(b, 28), bitsPerPixel = Big32(b, 44), bytesPerLine = Big32(b, 48);
  const uint32_t masks[3] = {Big32(b, 56), Big32(b, 60), Big32(b, 64)};
  const size_t start = headerSize + static_cast<size_t>(Big32(b, 76)) * 12;
  if (Big32(b, 8) != 2 || (bitsPerPixel != 32 && bitsPerPixel != 24) || start > b.size() ||
      static_cast<size_t>(bytesPerLine) * height > b.size() - start) {
    return false;
  }
  out->width = static_cast<int>(width);
  out->height = static_cast<int>(height);
  out->pixels.resize(static_cast<size_t>(width) * height);
  const int bytes = static_cast<int>(bitsPerPixel / 8);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t* p = &b[start + static_cast<size_t>(y) * bytesPerLine + static_cast<size_t>(x) * bytes];
      uint32_t v = 0;
      for (int i = 0; i < bytes; ++i)
        v |= static_cast<uint32_t>(p[i]) << (byteOrder == 0 ? 8 * i : 8 * (bytes - 1 - i));
      uint32_t rgb = 0;
      for (int c = 0; c < 3; ++c)
        rgb |= (((v & masks[c]) >> (masks[c] ? __builtin_ctz(masks[c]) : 0)) & 0xFF) << (16 - 8 * c);
      out->pixels[static_cast<size_t>(y) * width + x] = rgb;
    }
  }
  return true;
}

}  // namespace orbel::testing
