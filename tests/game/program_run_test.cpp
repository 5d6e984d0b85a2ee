// The kelvaron program as a person runs it headless: a key script, the virtual clock and a capture of
// chosen frames. Played once from the plain folders and once with ./Material packed into a QVA
// archive by qvapack: the same frames come out.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Title (121 frames from about 2.6 s), STAGE1 at 5 s, Esc from its first enemy at 7 s, EXIT at 8 s.
constexpr char kScript[] =
    "5000 key SPACE down\n5100 key SPACE up\n"
    "7000 key ESCAPE down\n7100 key ESCAPE up\n"
    "8000 key K down\n8050 key K up\n8100 key K down\n8150 key K up\n"
    "8200 key K down\n8250 key K up\n8300 key K down\n8350 key K up\n"
    "8600 key SPACE down\n8700 key SPACE up\n";
constexpr char kFrames[] = "60,150,250";
const char* const kFrameFiles[] = {"frame_000060.png", "frame_000150.png", "frame_000250.png"};

// Runs bin/kelvaron in the current directory; its exit status, or -1.
int RunGame(const fs::path& captureDir) {
  orbel::testing::WriteFileText("script.txt", kScript);
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::string(*e).rfind("ORBEL_", 0) != 0) env.push_back(*e);
  env.push_back("ORBEL_HOST=headless");
  env.push_back("ORBEL_HEADLESS_CLOCK=virtual");
  env.push_back("ORBEL_HEADLESS_SCRIPT=script.txt");
  env.push_back("ORBEL_MESSAGEBOX_ANSWER=no");
  env.push_back("ORBEL_HEADLESS_CAPTURE_DIR=" + captureDir.string());
  env.push_back(std::string("ORBEL_HEADLESS_CAPTURE_FRAMES=") + kFrames);
  env.push_back("ORBEL_RUNTIME_DIR=" + fs::current_path().string());
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string program = KELVARON_PROGRAM;
  char* argv[] = {program.data(), nullptr};
  pid_t child = 0;
  if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::vector<std::string> CapturedFiles(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ProgramRun, ScriptedPlayCapturesTheListedFramesFromFoldersAndArchivesAlike) {
  const fs::path game = KELVARON_GAME_DIR;
  orbel::testing::ScopedWorkDir work;
  const fs::path plain = work.path() / "plain", packed = work.path() / "packed";
  fs::create_directories(plain / "frames");
  fs::create_directories(packed / "frames");
  fs::create_symlink(game / "Data", plain / "Data");
  fs::create_symlink(game / "Material", plain / "Material");
  fs::create_symlink(game / "Data", packed / "Data");
  const std::string pack = std::string(ORBEL_BINARY_DIR) + "/tools/qvapack/qvapack '" + (game / "Material").string() +
                           "' '" + (packed / "Material.QVA").string() + "'";
  ASSERT_EQ(std::system(pack.c_str()), 0) << pack;
  ASSERT_FALSE(fs::exists(packed / "Material"));

  fs::current_path(plain);
  EXPECT_EQ(RunGame(plain / "frames"), 0);
  fs::current_path(packed);
  EXPECT_EQ(RunGame(packed / "frames"), 0);
  fs::current_path(work.path());

  const std::vector<std::string> expected(std::begin(kFrameFiles), std::end(kFrameFiles));
  EXPECT_EQ(CapturedFiles(plain / "frames"), expected);
  for (const char* name : kFrameFiles) {
    const auto a = orbel::testing::ReadFileBytes(plain / "frames" / name);
    const auto b = orbel::testing::ReadFileBytes(packed / "frames" / name);
    EXPECT_GT(a.size(), 2000u) << name << ": a picture, not an empty frame";
    EXPECT_EQ(a, b) << name << " differs between the plain and the archive layout";
  }
  EXPECT_NE(orbel::testing::ReadFileBytes(plain / "frames" / kFrameFiles[1]),
            orbel::testing::ReadFileBytes(plain / "frames" / kFrameFiles[2]))
      << "stage select and the battle look alike";
  const std::string log = orbel::testing::ReadFileText(plain / "Log.txt");
  EXPECT_NE(log.find("Alloc num:0", log.rfind("Alloc memory dump")), std::string::npos);
}

}  // namespace
