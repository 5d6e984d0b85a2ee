// The log file: exact bytes of stamped, indented CR LF lines on the virtual clock, continuation of open
// lines, Shift-JIS aware line-end conversion, bounded formatting and the debugger copy.
#include "orbel/core/log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "core_runtime_fixture.h"
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
