// The log file: exact bytes of stamped, indented CR LF lines on the virtual clock, continuation of open
// lines, Shift-JIS aware line-end conversion, bounded formatting and the debugger copy.
#include "orbel/core/log.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "core_runtime_fixture.h"
#include "wait_until.h"
#include "orbel/core/memory.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "platform/win/kernel/kernel_test_controls.h"

namespace orbel {
namespace {

class LogTest : public testing::LogFileTest {
 protected:
  static void AdvanceMs(uint64_t ms) { plat::test::AdvanceClock(ms * 1000); }
};

TEST_F(LogTest, LinesAreStampedWithMillisecondsSinceStart) {
  LogAdd("abc\n");
  AdvanceMs(1234);
  LogAdd("def\n");
  EXPECT_EQ(LogText(), "0:abc\r\n1234:def\r\n");
}

TEST_F(LogTest, OpenLineIsContinuedWithoutStampOrIndent) {
  LogTabAdd();
  LogAdd("ab");
  AdvanceMs(7);
  LogAdd("");  // writes nothing, not even a stamp
  LogAdd("cd\n");
  LogAdd("ＣＯＭの初期化... ");
  LogAdd("成功しました\n");
  EXPECT_EQ(LogText(), "0:\tabcd\r\n7:\tＣＯＭの初期化... 成功しました\r\n");
}

TEST_F(LogTest, IndentLevelWritesTabsAndNeverGoesBelowZero) {
  LogTabAdd();
  LogTabAdd();
  LogAdd("x\n");
  LogTabSub();
  LogTabSub();
  LogTabSub();
  EXPECT_EQ(GetLogIndentLevel(), 0);
  LogAdd("y\n");
  for (int i = 0; i < 20; ++i) LogTabAdd();
  LogAdd("z\n");
  EXPECT_EQ(LogText(), "0:\t\tx\r\n0:y\r\n0:" + std::string(20, '\t') + "z\r\n");
}

TEST_F(LogTest, LineEndConversion) {
  struct Case {
    const char* text;
    const char* written;
  };
  const Case cases[] = {
      {"a\nb\n", "a\r\nb\r\n"},
      {"a\r\nb\nc\n", "a\r\nb\nc\n"},  // after an existing CR LF the rest is left as it is
      {"a\nb\r\nc\n", "a\r\nb\r\nc\n"},
      {"\x81\nx\n", "\x81\nx\r\n"},  // a lead byte takes the next byte with it, even a line feed
      {"表\n", "表\r\n"},
  };
  for (const Case& c : cases) {
    StartLogFile();
    LogAdd(c.text);
    EXPECT_EQ(LogText(), std::string("0:") + c.written) << c.text;
  }
}

TEST_F(LogTest, DebuggerGetsIndentAndTextWithoutStampOrEverythingOutsideTheWindow) {
  LogTabAdd();
  LogAdd("one\n");
  LogAdd("tw");
  LogAdd("o\n");
  EXPECT_EQ(plat::test::DebugOutputText(), "\tone\r\n\ttwo\r\n");
  plat::test::ClearDebugOutput();
  SetLogOutsideWindowMode(1);
  LogAdd("dbg\n");
  EXPECT_EQ(plat::test::DebugOutputText(), "dbg\r\n");
  EXPECT_EQ(LogText(), "0:\tone\r\n0:\ttwo\r\n");
}

TEST_F(LogTest, LongTextConvertsThroughAFreedTrackedBlock) {
  const int blocksBefore = GetMemoryBlockCount();
  const std::string line(300, 'q');
  LogAdd((line + "\n" + line + "\n").c_str());
  EXPECT_EQ(GetMemoryBlockCount(), blocksBefore);
  EXPECT_EQ(LogText(), "0:" + line + "\r\n" + line + "\r\n");
}

TEST_F(LogTest, FormattedTextIsBoundedAndEndsItsLine) {
  LogFmtAdd("%s=%d", "count", 12);
  const std::string longAscii(2000, 'a');
  LogFmtAdd("%s", longAscii.c_str());
  // 1 + 2 * 600 bytes: the cut falls inside a double-byte character, which is dropped whole.
  std::string longJapanese = "a";
  for (int i = 0; i < 600; ++i) longJapanese += "日";
  LogFmtAdd("%s", longJapanese.c_str());
  const std::string text = LogText();
  const std::string expected = "0:count=12\r\n0:" + std::string(1022, 'a') + "\r\n0:" + longJapanese.substr(0, 1021) + "\r\n";
  EXPECT_EQ(text, expected);
}

TEST_F(LogTest, StartDeletesTheOldFileAndEmptyDirectoryDisablesIt) {
  LogAdd("old\n");
  AdvanceMs(50);
  StartLogFile();
  LogAdd("new\n");
  EXPECT_EQ(LogText(), "0:new\r\n");

  SetLogStartupDirectory("");
  LogAdd("lost\n");
  EXPECT_EQ(LogText(), "0:new\r\n");
}

TEST_F(LogTest, PathAddsOneSeparator) {
  const std::string dir = work_.path().string();
  SetLogStartupDirectory((dir + "/").c_str());
  EXPECT_EQ(std::string(GetLogFilePath()), dir + "/Log.txt");
}

// A line another thread writes meanwhile (a signal's, as the program ends) is neither lost nor
// written into another.
TEST_F(LogTest, LinesOfTwoThreadsAtOnceArriveWhole) {
  constexpr int kLines = 300;
  auto write = [](const char* text) {
    for (int i = 0; i < kLines; ++i) LogAdd(text);
  };
  std::thread other(write, "another thread's line\n");
  write("the main thread's line\n");
  other.join();
  const std::string text = LogText();
  int mine = 0, others = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find("\r\n", at);
    ASSERT_NE(end, std::string::npos) << text.substr(at);
    const std::string line = text.substr(at, end - at);
    if (line == "0:the main thread's line") {
      ++mine;
    } else {
      ASSERT_EQ(line, "0:another thread's line");
      ++others;
    }
    at = end + 2;
  }
  EXPECT_EQ(mine, kLines);
  EXPECT_EQ(others, kLines);
}

// Forks; the parent runs `meanwhile` (which holds back another writer of the file: two processes that
// seek to its end and write can write over each other) and then has the child write `line` (stderr
// /dev/null there) and end. Empty when the fork did not wait and the child's line reached the file, else
// what happened.
std::string ForkAndWrite(const std::filesystem::path& log, const std::string& line,
                         const std::function<void()>& meanwhile) {
  int go[2];
  if (::pipe2(go, O_CLOEXEC) != 0) return "no pipe";
  const auto started = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDERR_FILENO);
    char byte = 0;
    if (::read(go[0], &byte, 1) == 1) LogAdd(line.c_str());
    std::_Exit(0);
  }
  const std::chrono::duration<double> forked = std::chrono::steady_clock::now() - started;
  ::close(go[0]);
  if (child < 0) return "no fork";
  meanwhile();
  [[maybe_unused]] const ssize_t written = ::write(go[1], "g", 1);
  ::close(go[1]);
  int status = 0;
  if (!testing::WaitUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }, std::chrono::seconds(5))) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return line + ": the child did not end";
  }
  if (testing::ReadFileText(log).find(line.substr(0, line.size() - 1) + "\r\n") == std::string::npos)
    return line + ": not in the log";
  if (forked.count() > 1.0) return line + ": the fork waited " + std::to_string(forked.count()) + " s";
  return "";
}

// A child forked while another thread writes the log writes its own line: the log's locks, and those of
// the file handles under it, are free in it, and the handle the other thread had open holds back none of
// its opens, wherever in its line the writer was (forks enough to meet the short stretches too); so also
// when the writer is held up by a stderr that nobody reads (the debugger copy there), on which the fork
// does not wait either.
TEST_F(LogTest, AChildForkedWhileAnotherThreadWritesTheLogWritesItsOwnLine) {
  const std::filesystem::path log = work_.path() / "Log.txt";
  std::atomic<bool> stop{false}, hold{false}, held{false};
  std::thread writer([&] {
    while (!stop.load()) {
      held.store(hold.load());
      if (!held.load()) LogAdd("a line of the writer's\n");
    }
  });
  // A sanitizer's fork copies its shadow memory too: fewer there, where the plain build meets them all.
  for (int i = 0; i < 300 / testing::kSanitizerSlowdown; ++i) {
    EXPECT_EQ(ForkAndWrite(log, "the child's line " + std::to_string(i) + "\n", [&] {
                hold.store(true);
                testing::WaitUntil([&] { return held.load(); });
              }),
              "");
    hold.store(false);
  }
  stop.store(true);
  writer.join();

  // stderr a pipe that nobody reads, filled up, with the log copied there.
  int pipe[2];
  ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
  const int savedStderr = ::dup(STDERR_FILENO);
  ::dup2(pipe[1], STDERR_FILENO);
  const int filler = ::open(("/proc/self/fd/" + std::to_string(pipe[1])).c_str(), O_WRONLY | O_NONBLOCK);
  const std::string block(4096, 'x');
  while (::write(filler, block.data(), block.size()) > 0) {
  }
  ::close(filler);
  ::setenv("ORBEL_DEBUG_OUTPUT", "1", 1);
  std::thread stuck([] { LogAdd("a line held up by stderr\n"); });
  EXPECT_TRUE(testing::WaitUntil([&] { return LogText().find("held up") != std::string::npos; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // on to its copy, which waits
  EXPECT_EQ(ForkAndWrite(log, "the line of a child forked meanwhile\n", [] {}), "");

  ::unsetenv("ORBEL_DEBUG_OUTPUT");
  ::fcntl(pipe[0], F_SETFL, O_NONBLOCK);
  char drained[4096];
  while (::read(pipe[0], drained, sizeof drained) > 0) {
  }
  stuck.join();  // its line now had room
  ::dup2(savedStderr, STDERR_FILENO);
  for (int fd : {savedStderr, pipe[0], pipe[1]}) ::close(fd);
}

TEST_F(LogTest, DatedNameAndNoStampSettings) {
  {
    const testing::ScopedTimeZone utc("UTC0");
    const plat::FILETIME when = testing::FileTimeOf(134175387070000000ull);  // 2026-03-09 14:05:07
    plat::test::SetSystemTimeForTest(&when);
    SetLogFileSettings(0, 1, 1);
    StartLogFile();
    plat::test::SetSystemTimeForTest(nullptr);
  }
  EXPECT_EQ(std::filesystem::path(GetLogFilePath()).filename().string(), "Log2026_3_9_14_5_7.txt");
  LogAdd("plain\n");
  EXPECT_EQ(testing::ReadFileText(GetLogFilePath()), "plain\r\n");
}

}  // namespace
}  // namespace orbel
