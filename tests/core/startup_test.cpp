// Library start-up and shut-down: the log of a whole run in order, the no-op repeats, the 24-bit
// refusal, the unwinding of a failed start-up (COM, screen saver, timer period), the restored working
// directory, and the fatal exit with and without a running end sequence.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core_runtime_fixture.h"
#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/main_window.h"
#include "orbel/core/memory.h"
#include "orbel/core/window_mode.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "platform/win/kernel/kernel_test_controls.h"
#include "platform/win/user/window_test_controls.h"

namespace orbel {
namespace {

class StartupTest : public testing::CoreRuntimeTest {};

// Checked after a second run: starting again after an end works the same.
TEST_F(StartupTest, StartAndEndLogTheirStepsInOrderAndEndWithAnEmptyDump) {
  for (int run = 0; run < 2; ++run) {
    ASSERT_EQ(StartWindowed(), 0) << run;
    EXPECT_EQ(IsLibraryInitialised(), 1) << run;
    EXPECT_EQ(gLibrary.initialising, 0) << run;
    EXPECT_EQ(GetQuitMessageFlag(), 0) << run;
    ASSERT_EQ(EndLibrarySystem(), 0) << run;
  }

  // Each step in order: the next expected line must come after the previous one.
  const std::vector<std::string> expected = {
      "システムの情報を出力します",
      "ＱＶライブラリ Ver2.25b",
      "ＣＯＭの初期化... 成功しました",
      "タイマーの精度を検査します",
      "ソフトの二重起動検査... 二重起動はされていませんでした",
      "ウインドウクラスを登録します... 登録に成功しました",
      "ウインドウモード起動用のウインドウを作成します",
      "ウインドウの作成に成功しました",
      "ＩＭＥを無効にしました",
      "ウインドウスタイルをウインドウモード用に変更します... 完了",
      "ウインドウを閉じようとしています",
      "ウインドウが破棄されようとしています",
      "ソフトを終了する準備が整いました",
      "ＣＯＭを終了... 完了",
      "Alloc memory dump",
  };
  int at = 0;
  for (const std::string& line : expected) {
    const int found = FindLine(line, at);
    ASSERT_GE(found, 0) << "missing or out of order: " << line << "\n" << LogText();
    at = found + 1;
  }

  // Every line is stamped, and the dump lists nothing: its totals line follows at once.
  const std::string text = LogText();
  for (size_t start = 0; start < text.size();) {
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(text[start]))) << text.substr(start, 40);
    start = text.find("\r\n", start) + 2;
  }
  const std::vector<std::string> lines = LogTexts();
  ASSERT_LT(at, static_cast<int>(lines.size()));
  EXPECT_EQ(lines[at].rfind("Total size:0(0.000kb)  Alloc num:0", 0), 0u) << lines[at];
  EXPECT_EQ(GetMemoryBlockCount(), 0);

  // What start-up changed is back as it was.
  EXPECT_EQ(plat::test::TimerPeriodDepth(), 0);
  EXPECT_EQ(plat::test::ComInitDepth(), 0);
  EXPECT_TRUE(plat::test::ScreenSaverActive());
  EXPECT_TRUE(plat::test::ImeEnabled());
  EXPECT_EQ(GetMainWindowHandle(), nullptr);
  EXPECT_EQ(GetQuitMessageFlag(), 1);
}

TEST_F(StartupTest, RepeatedStartAndEndBeforeStartAreSilentNoOps) {
  EXPECT_EQ(EndLibrarySystem(), 0);
  EXPECT_FALSE(std::filesystem::exists(work_.path() / "Log.txt"));

  ASSERT_EQ(StartWindowed(), 0);
  const std::string before = LogText();
  const plat::HWND window = GetMainWindowHandle();
  EXPECT_EQ(InitLibrarySystem(), 0);
  EXPECT_EQ(LogText(), before);
  EXPECT_EQ(GetMainWindowHandle(), window);

  EXPECT_EQ(EndLibrarySystem(), 0);
  const std::string after = LogText();
  EXPECT_EQ(EndLibrarySystem(), 0);
  EXPECT_EQ(LogText(), after);
}

TEST_F(StartupTest, WorkingDirectoryIsRestoredAtTheEnd) {
  ASSERT_EQ(StartWindowed(), 0);
  const std::filesystem::path elsewhere = work_.path() / "elsewhere";
  std::filesystem::create_directory(elsewhere);
  std::filesystem::current_path(elsewhere);
  EndLibrarySystem();
  EXPECT_EQ(std::filesystem::current_path(), work_.path());
}

// A refused start-up returns -1 with its reason as the log's last line or among its lines, leaves COM,
// the screen saver, the timer period and the windows as they were found, and does not stop a later start.
TEST_F(StartupTest, RefusedStartUpUnwindsEverythingItStartedAndALaterStartWorks) {
  struct Case {
    const char* reason;
    bool lastLine;
    int quitFlag;
    void (*refuse)();
    void (*allow)();
  };
  const Case cases[] = {
      {"ソフトの二重起動検査... 二重起動されています、ソフトを終了します", false, 1,
       [] { plat::test::ForceFindWindow(true); }, [] { plat::test::ForceFindWindow(false); }},
      {"ＣＯＭの初期化... ＣＯＭの初期化に失敗しました", false, 0, [] { plat::test::FailNextCoInitialize(); },
       [] {}},
      // Last: the desktop stays at 24 bits, which full screen accepts.
      {"ＱＶライブラリは２４ビットカラーモードに対応していません", true, 0, [] { plat::test::SetDesktopDepth(24); },
       [] { ChangeWindowMode(0); }},
  };
  for (const Case& c : cases) {
    testing::ResetCoreRuntimeState();
    c.refuse();
    ChangeWindowMode(1);
    EXPECT_EQ(InitLibrarySystem(), -1) << c.reason;
    const std::vector<std::string> lines = LogTexts();
    ASSERT_FALSE(lines.empty()) << c.reason;
    if (c.lastLine) {
      EXPECT_EQ(lines.back(), c.reason);
    }
    EXPECT_GE(FindLine(c.reason), 0) << LogText();
    EXPECT_EQ(GetQuitMessageFlag(), c.quitFlag) << c.reason;
    EXPECT_EQ(IsLibraryInitialised(), 0) << c.reason;
    EXPECT_EQ(gLibrary.initialising, 0) << c.reason;
    EXPECT_EQ(plat::test::ComInitDepth(), 0) << c.reason;
    EXPECT_TRUE(plat::test::ScreenSaverActive()) << c.reason;
    EXPECT_EQ(plat::test::TimerPeriodDepth(), 0) << c.reason;
    EXPECT_TRUE(plat::test::AllWindows().empty()) << c.reason;
    EXPECT_EQ(GetMainWindowHandle(), nullptr) << c.reason;

    c.allow();
    EXPECT_EQ(InitLibrarySystem(), 0) << c.reason;
    EXPECT_EQ(plat::test::ComInitDepth(), 1) << c.reason;
    EndLibrarySystem();
  }
}

// ---- A real second process ------------------------------------------------------------------------

constexpr char kDoubleStartTitle[] = "OrbelDoubleStart";
constexpr char kChildEnv[] = "ORBEL_DOUBLE_START_LOG";
constexpr char kChildLocksEnv[] = "ORBEL_DOUBLE_START_LOCKS";

// The second process: runs only when started by SecondProcessWithTheSameClassIsRefused.
TEST_F(StartupTest, SecondProcessChild) {
  const char* copyTo = std::getenv(kChildEnv);
  const char* locks = std::getenv(kChildLocksEnv);
  if (copyTo == nullptr || locks == nullptr) {
    GTEST_SKIP() << "the second process of SecondProcessWithTheSameClassIsRefused";
  }
  plat::test::SetLockDirectory(locks);  // the first process's folder, not the one its reset gave it
  SetMainWindowTitle(kDoubleStartTitle);
  ChangeWindowMode(1);
  EXPECT_EQ(InitLibrarySystem(), -1);
  EXPECT_EQ(GetQuitMessageFlag(), 1);
  testing::WriteFileText(copyTo, LogText());
}

TEST_F(StartupTest, SecondProcessWithTheSameClassIsRefused) {
  SetMainWindowTitle(kDoubleStartTitle);
  ASSERT_EQ(StartWindowed(), 0);

  const std::string childLog = (work_.path() / "second_process_log.txt").string();
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.rfind("ORBEL_HOST=", 0) != 0) env.push_back(entry);
  }
  env.push_back(std::string(kChildLocksEnv) + "=" + plat::test::LockDirectory());
  env.push_back("ORBEL_HOST=headless");
  env.push_back(std::string(kChildEnv) + "=" + childLog);
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string filter = "--gtest_filter=StartupTest.SecondProcessChild";
  char* argv[] = {self.data(), filter.data(), nullptr};

  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, envp.data()), 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the second process's checks failed";

  const std::string log = testing::ReadFileText(childLog);
  EXPECT_NE(log.find(":ソフトの二重起動検査... 二重起動されています、ソフトを終了します\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("ウインドウクラスを登録します"), std::string::npos);
}

using StartupDeathTest = StartupTest;

TEST_F(StartupDeathTest, FatalExitEndsTheLibraryAndExitsWith255) {
  ChangeWindowMode(1);
  EXPECT_EXIT(
      {
        InitLibrarySystem();
        ErrorExitLibraryFormat("致命的なエラー %d", 7);
      },
      ::testing::ExitedWithCode(255), "");
  const int message = FindLine("致命的なエラー 7");
  ASSERT_GE(message, 0) << LogText();
  EXPECT_GT(FindLine("ＣＯＭを終了... 完了", message), message);
  EXPECT_GT(FindLine("Alloc memory dump", message), message);
}

// A fatal message longer than the 1024-byte buffer is cut to it, not written past it.
TEST_F(StartupDeathTest, OverlongFatalMessageIsCutToItsBuffer) {
  const std::string longText(3000, 'x');
  EXPECT_EXIT(
      {
        SetLogStartupDirectory(work_.path().c_str());
        StartLogFile();
        ErrorExitLibraryFormat("%s", longText.c_str());
      },
      ::testing::ExitedWithCode(255), "");
  const std::vector<std::string> lines = LogTexts();
  ASSERT_EQ(lines.size(), 1u) << LogText();
  EXPECT_EQ(lines[0], std::string(1023, 'x'));
}

// A fatal error raised while the end sequence runs does not start the end sequence again.
TEST_F(StartupDeathTest, FatalExitDuringTheEndSequenceDoesNotRunItAgain) {
  ChangeWindowMode(1);
  EXPECT_EXIT(
      {
        InitLibrarySystem();
        gLibrary.endSequenceRunning = 1;
        ErrorExitLibrary("終了処理中のエラー\n");
      },
      ::testing::ExitedWithCode(255), "");
  const std::vector<std::string> lines = LogTexts();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "終了処理中のエラー");
  EXPECT_EQ(FindLine("ＣＯＭを終了... 完了"), -1);
}

}  // namespace
}  // namespace orbel
