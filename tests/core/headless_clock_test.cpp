// A headless run of the library as a program runs it: the smoke program in a process of its own with an
// input script that closes its window after a time. ORBEL_HEADLESS_CLOCK=virtual makes that time virtual;
// without it the headless host keeps the real clock.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

extern char** environ;

// A script of ten minutes, and the real seconds a run of it on the virtual clock may take: the bound only
// shows that the ten minutes were not waited for. A plain build on an idle machine takes well under a
// second; starting a sanitizer build of the program on a loaded machine has taken over ten.
constexpr char kTenMinuteScript[] = "600000 close\n";
constexpr double kQuickRun = 50.0;

namespace orbel {
namespace {

double RealSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct SmokeRun {
  int exitStatus = -1;
  double realSeconds = 0;
  long lastLogMs = -1;  // the time stamp of the log's last line: the library's own clock at its end
};

// Runs the smoke program in the current directory with the script `script` and the extra environment.
SmokeRun RunSmoke(const std::string& script, const std::vector<std::string>& extraEnv) {
  testing::WriteFileText("script.txt", script);
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.rfind("ORBEL_", 0) != 0) env.push_back(entry);
  }
  env.push_back("ORBEL_HOST=headless");
  env.push_back("ORBEL_HEADLESS_SCRIPT=script.txt");
  // A lock directory of its own: runs of this suite side by side must not see each other as a double start.
  env.push_back("ORBEL_RUNTIME_DIR=" + std::filesystem::current_path().string());
  env.insert(env.end(), extraEnv.begin(), extraEnv.end());
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string program = std::string(ORBEL_BINARY_DIR) + "/tools/smoke/orbel_smoke";
  std::string window = "--window";
  char* argv[] = {program.data(), window.data(), nullptr};

  SmokeRun run;
  const double start = RealSeconds();
  pid_t child = 0;
  if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return run;
  int status = 0;
  if (waitpid(child, &status, 0) != child) return run;
  run.realSeconds = RealSeconds() - start;
  run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  const std::string log = testing::ReadFileText("Log.txt");
  const size_t lastLine = log.rfind('\n', log.size() >= 2 ? log.size() - 2 : 0);
  if (lastLine != std::string::npos) run.lastLogMs = std::strtol(log.c_str() + lastLine + 1, nullptr, 10);
  return run;
}

TEST(HeadlessClock, VirtualClockRunsATenMinuteScriptInAFractionOfItsTime) {
  testing::ScopedWorkDir work;
  const SmokeRun run = RunSmoke(kTenMinuteScript, {"ORBEL_HEADLESS_CLOCK=virtual"});
  ASSERT_EQ(run.exitStatus, 0);
  EXPECT_GE(run.lastLogMs, 600000) << "the library saw the script's ten minutes pass";
  EXPECT_LT(run.realSeconds, kQuickRun) << "in real seconds";
}

TEST(HeadlessClock, RealClockByDefault) {
  testing::ScopedWorkDir work;
  const SmokeRun run = RunSmoke("200 close\n", {});
  ASSERT_EQ(run.exitStatus, 0);
  EXPECT_GE(run.realSeconds, 0.2) << "the script's times are real";
  EXPECT_GE(run.lastLogMs, 200);
}

TEST(HeadlessClock, UnknownClockNameStopsTheProgram) {
  testing::ScopedWorkDir work;
  const SmokeRun run = RunSmoke(kTenMinuteScript, {"ORBEL_HEADLESS_CLOCK=fast"});
  EXPECT_NE(run.exitStatus, 0);
  EXPECT_LT(run.realSeconds, kQuickRun);
}

}  // namespace
}  // namespace orbel
