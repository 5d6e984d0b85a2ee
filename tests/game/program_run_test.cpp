// The kelvaron program as a person runs it headless: a key script, the virtual clock and a capture of
// chosen frames. Played once from the plain folders and once with ./Material packed into a QVA
// archive by qvapack: the same frames come out.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"
#include "wait_until.h"

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

// Runs bin/kelvaron in the current directory with a key script, capturing the listed frames; its exit
// status, or -1 when it did not exit (a signal, a sanitizer's abort).
int RunGame(const fs::path& captureDir, const char* script = kScript, const char* frames = kFrames) {
  orbel::testing::WriteFileText("script.txt", script);
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e)
    if (std::string(*e).rfind("ORBEL_", 0) != 0) env.push_back(*e);
  env.push_back("ORBEL_HOST=headless");
  env.push_back("ORBEL_HEADLESS_CLOCK=virtual");
  env.push_back("ORBEL_HEADLESS_SCRIPT=script.txt");
  env.push_back("ORBEL_MESSAGEBOX_ANSWER=no");
  env.push_back("ORBEL_HEADLESS_CAPTURE_DIR=" + captureDir.string());
  env.push_back(std::string("ORBEL_HEADLESS_CAPTURE_FRAMES=") + frames);
  env.push_back("ORBEL_RUNTIME_DIR=" + fs::current_path().string());
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string program = KELVARON_PROGRAM;
  char* argv[] = {program.data(), nullptr};
  pid_t child = 0;
  if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
  int status = 0;
  if (waitpid(child, &status, 0) != child) return -1;
  if (!WIFEXITED(status)) {
    ADD_FAILURE() << program << " ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    return -1;
  }
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

// Data files a careless edit could leave: numbers at and past the ends of int in the colour, font and
// enemy files. The game plays a battle against the damaged enemy (its attack beats the player), returns
// to stage select and chooses EXIT; F12 ends it should it get stuck. Under the sanitizer build any
// overflow in the drawing or the rules aborts the program, which this test sees as a failure.
constexpr char kHostileScript[] =
    "5000 key SPACE down\n5100 key SPACE up\n"    // STAGE1: the damaged enemy appears
    "5500 key SPACE down\n5600 key SPACE up\n"    // the command menu with its preview
    "6000 key SPACE down\n6100 key SPACE up\n"    // attack/defend; 420 frames of typing nobody does
    "6500 key Q down\n6550 key Q up\n"
    "16500 key SPACE down\n16600 key SPACE up\n"  // beaten: back to stage select
    "17000 key K down\n17050 key K up\n17100 key K down\n17150 key K up\n"
    "17200 key K down\n17250 key K up\n17300 key K down\n17350 key K up\n"
    "17600 key SPACE down\n17700 key SPACE up\n"
    "30000 key F12 down\n";
constexpr char kHostileFrames[] = "350,1000";

std::string EnemyFile(const std::string& name, const char* hp, const char* attack, const char* defence,
                      const char* width, const char* height) {
  return "NAME   :" + name + "\r\nHP     :" + hp + "\r\nATTACK :" + attack + "\r\nDEFENCE:" + defence +
         "\r\nGRAPH  :./Material/Graphic/Enemy/enemy00.png\r\nWIDTH  :" + width + "\r\nHEIGHT :" + height +
         "\r\nBGM    :./Material/BGM/stage1.ogg\r\n";
}

TEST(ProgramRun, DamagedNumbersInTheDataFilesPlayOnAndEndCleanly) {
  const fs::path game = KELVARON_GAME_DIR;
  orbel::testing::ScopedWorkDir work;
  fs::copy(game / "Data", work.path() / "Data", fs::copy_options::recursive);
  fs::create_symlink(game / "Material", work.path() / "Material");
  fs::create_directories(work.path() / "frames");
  std::string fonts;
  const char* const sizes[] = {"-2147483648", "14644", "2147483647", "99999999999"};
  const char* const thicknesses[] = {"2147483647", "-2147483648", "-99999999999", "14644"};
  for (int i = 0; i < 4; ++i)
    fonts += std::string("FONT\r\nFACE     :NULL\r\nSIZE     :") + sizes[i] + "\r\nTHICK    :" + thicknesses[i] +
             "\r\nTYPE     :QV_FONTTYPE_ANTIALIASING_EDGE\r\n";
  orbel::testing::WriteFileText(work.path() / "Data/Font/font.txt", fonts);
  std::string colors;
  const char* const channels[] = {"-2147483648", "2147483647", "99999999999", "-1", "256"};
  for (int i = 0; i < 5; ++i)
    colors += std::string("C\r\nR: ") + channels[i] + "\r\nG: " + channels[(i + 1) % 5] + "\r\nB: " +
              channels[(i + 2) % 5] + "\r\n";
  orbel::testing::WriteFileText(work.path() / "Data/Color/color.txt", colors);
  orbel::testing::WriteFileText(work.path() / "Data/Enemy/enemy00.txt",
                                EnemyFile("Hostile", "2147483647", "2147483647", "-2147483648", "-2147483648",
                                          "2147483647"));
  orbel::testing::WriteFileText(work.path() / "Data/Enemy/enemy01.txt",
                                EnemyFile("Hostile2", "-99999999999", "-99999999999", "99999999999",
                                          "99999999999", "-99999999999"));

  fs::current_path(work.path());
  EXPECT_EQ(RunGame(work.path() / "frames", kHostileScript, kHostileFrames), 0);
  EXPECT_TRUE(fs::exists(work.path() / "frames/frame_000350.png")) << "the battle was not reached";
  const std::string log = orbel::testing::ReadFileText(work.path() / "Log.txt");
  EXPECT_NE(log.find("Alloc num:0", log.rfind("Alloc memory dump")), std::string::npos);
}

// Where no display can be opened, the game does not run on where nobody sees it (holding its lock): it
// says why in one line, its start fails, it ends at once with a non-zero status and leaves no private
// folder, and the next start is not refused. In half the cases the user's folder is taken, so that the
// process keeps a private folder from its double-start check on.
TEST(ProgramRun, WithoutADisplayTheGameSaysSoAndEndsAtOnce) {
  const fs::path game = KELVARON_GAME_DIR;
  orbel::testing::ScopedWorkDir work;
  fs::create_symlink(game / "Data", work.path() / "Data");
  fs::create_symlink(game / "Material", work.path() / "Material");
  int number = 29998;  // a display no server answers
  while (fs::exists("/tmp/.X11-unix/X" + std::to_string(number))) --number;
  const std::string display = ":" + std::to_string(number);
  const std::string noDisplay = "; ORBEL_HOST=headless runs the program without a window\n";
  struct Case {
    std::vector<std::string> settings;
    std::string line;
    bool takenUserFolder;
  } cases[] = {
      {{"DISPLAY", "WAYLAND_DISPLAY"},
       "orbel: no display could be opened (neither DISPLAY nor WAYLAND_DISPLAY is set)" + noDisplay, true},
      {{"DISPLAY=" + display, "WAYLAND_DISPLAY"},
       "orbel: no display could be opened (DISPLAY=" + display + ": SDL found no display that answers)" + noDisplay,
       false},
      {{"ORBEL_HOST=sdl", "DISPLAY=" + display, "WAYLAND_DISPLAY"},
       "orbel: no display could be opened (DISPLAY=" + display + ": SDL found no display that answers)" + noDisplay,
       true},
      {{"ORBEL_HOST=nosuch"},
       "orbel: ORBEL_HOST=nosuch: not a known host (known hosts: sdl, headless); no window can be made\n", false},
  };
  const std::string uid = std::to_string(::geteuid());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const fs::path base = work.path() / "base";
    fs::remove_all(base);
    fs::create_directory(base);
    fs::permissions(base, fs::perms::owner_all);
    if (c.takenUserFolder) fs::create_directory_symlink(work.path(), base / ("orbel-" + uid));
    std::vector<std::string> settings = {"ORBEL_HOST", "ORBEL_RUNTIME_DIR", "TMPDIR", "ORBEL_MESSAGEBOX_ANSWER",
                                         "XDG_RUNTIME_DIR=" + base.string()};
    settings.insert(settings.end(), c.settings.begin(), c.settings.end());
    fs::current_path(work.path());
    const pid_t pid = orbel::testing::StartProgram(KELVARON_PROGRAM, {}, settings, work.path() / "output");
    ASSERT_GT(pid, 0);
    // A run that goes on without a window is the fault: it is ended after the wait's bound, and the
    // processor time it took tells a slow machine from a start that was not quick.
    int status = 0;
    rusage usage{};
    const bool ended = orbel::testing::WaitUntil([&] { return ::wait4(pid, &status, WNOHANG, &usage) == pid; },
                                                 orbel::testing::kWaitBound, std::chrono::milliseconds(10));
    if (!ended) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      ADD_FAILURE() << "the game still ran after " << orbel::testing::kWaitBound.count() << " ms";
      continue;
    }
    const double seconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    // A loaded machine inflates processor time too, a sanitizer build's most: its bound is as long as
    // its other limits are.
    EXPECT_LT(seconds, 1.0 * orbel::testing::kSanitizerSlowdown) << "processor seconds to give up";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_NE(WEXITSTATUS(status), 0);
    const std::string output = orbel::testing::ReadFileText(work.path() / "output");
    EXPECT_NE(output.find(c.line), std::string::npos) << output;
    EXPECT_EQ(output.find(c.line), output.rfind(c.line)) << "said more than once: " << output;
    EXPECT_NE(orbel::testing::ReadFileText(work.path() / "Log.txt").find("ウインドウの作成に失敗しました"),
              std::string::npos);
    EXPECT_EQ(orbel::testing::ProcessFoldersLeft(base), "");
    // The next start, headless, is not refused as a second copy: it plays to the title and ends with F12.
    orbel::testing::WriteFileText("quit.txt", "3000 key F12 down\n3100 key F12 up\n");
    const pid_t again = orbel::testing::StartProgram(
        KELVARON_PROGRAM, {},
        {"ORBEL_HOST=headless", "ORBEL_HEADLESS_CLOCK=virtual", "ORBEL_HEADLESS_SCRIPT=quit.txt",
         "ORBEL_MESSAGEBOX_ANSWER=no", "ORBEL_RUNTIME_DIR", "TMPDIR", "XDG_RUNTIME_DIR=" + base.string()},
        work.path() / "again");
    int againStatus = 0;
    ASSERT_TRUE(orbel::testing::WaitForChild(again, &againStatus, 60));
    EXPECT_TRUE(WIFEXITED(againStatus) && WEXITSTATUS(againStatus) == 0)
        << orbel::testing::ReadFileText(work.path() / "again");
  }
}

}  // namespace
