// A program may call exit() at any moment while the library runs, without ending the library first: run
// by CTest under Xvfb with ORBEL_HOST=sdl and SDL's dummy audio driver, whose thread pulls the mix as a
// sound card's would. The test binary starts itself again, many times, as a child that starts the
// library in a real window, plays a looping sound and music (streamed Ogg Vorbis or MIDI), or a film
// with sound (on the Theora road, or on the DirectShow road from a file or an archive), or all of that
// with a loopback connection and fonts, draws frames for a random while and calls exit(0), on the main
// thread or on a second one. Every child must end with status 0 by itself, say nothing of a sanitizer,
// draw no frame once the exit handlers have run (the display's libraries are torn down next), and leave
// no private folder behind. Elsewhere (headless runs) the tests skip themselves.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "movie_fixture.h"
#include "orbel.h"
#include "orbel/core/library_state.h"
#include "orbel/file/qva_writer.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/movie/movie_record.h"
#include "orbel/movie/movie_system.h"
#include "orbel/network/network_connect.h"
#include "platform/win/kernel/process_folder.h"
#include "test_support.h"
#include "tools/moviegen/movie_writer.h"

namespace orbel {
namespace {

namespace fs = std::filesystem;

constexpr char kChildVariable[] = "ORBEL_TEST_EXIT_CHILD";  // "<what> <folder> <milliseconds>"
// A fault that shows in one run of seven is missed by 40 runs once in 480 times.
constexpr int kRuns = 40;
constexpr int kAtOnce = 4;  // children running side by side
constexpr int kLongestPlayMs = 1500;

bool OnRealDisplay() {
  const char* host = std::getenv("ORBEL_HOST");
  const char* display = std::getenv("DISPLAY");
  return host != nullptr && std::string(host) == "sdl" && display != nullptr && *display != '\0';
}

// A mono 16-bit sine as a WAV; at 22,050 Hz the mixer plays it through its converted copy.
void WriteSineWav(const fs::path& path, int rate, double seconds) {
  const uint32_t frames = static_cast<uint32_t>(rate * seconds);
  std::ofstream out(path, std::ios::binary);
  auto put = [&](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>(value >> (8 * i)));
  };
  out << "RIFF", put(36 + frames * 2, 4), out << "WAVEfmt ", put(16, 4), put(1, 2), put(1, 2);
  put(static_cast<uint32_t>(rate), 4), put(static_cast<uint32_t>(rate) * 2, 4), put(2, 2), put(16, 2);
  out << "data", put(frames * 2, 4);
  for (uint32_t i = 0; i < frames; ++i) put(static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(i * 0.05))), 2);
}

// A standard MIDI file: middle C and E in turn, a quarter note each, for two seconds at 120 bpm.
void WriteMidi(const fs::path& path) {
  std::string track;
  for (int i = 0; i < 4; ++i) {
    const char note = i % 2 == 0 ? 60 : 64;
    track += std::string{0x00, static_cast<char>(0x90), note, 100};
    track += std::string{static_cast<char>(0x83), 0x60, static_cast<char>(0x80), note, 0x00};
  }
  track += std::string{0x00, static_cast<char>(0xFF), 0x2F, 0x00};
  std::ofstream out(path, std::ios::binary);
  out << "MThd" << std::string{0, 0, 0, 6, 0, 0, 0, 1, 0x01, static_cast<char>(0xE0)} << "MTrk";
  for (int shift = 24; shift >= 0; shift -= 8) out.put(static_cast<char>(track.size() >> shift));
  out << track;
}

// Set by an exit handler that runs after the library's: from then on no thread may reach the display,
// whose libraries' own destructors come next.
std::atomic<bool> g_pastTheExitHandlers{false};

// The child: plays, draws for a while and exits in the middle of it.
TEST(ExitWhilePlayingChild, PlaysAndExits) {
  const char* setting = std::getenv(kChildVariable);
  if (setting == nullptr) GTEST_SKIP() << "the child of the ExitWhilePlaying tests";
  char what[16] = "";
  char folder[4096] = "";
  int milliseconds = 0;
  ASSERT_EQ(std::sscanf(setting, "%15s %4095s %d", what, folder, &milliseconds), 3);
  fs::current_path(folder);
  ASSERT_FALSE(plat::ProcessFolder().empty());  // made now, to be removed at the exit
  // Set before the library starts, so run after its exit handlers; it leaves the main thread a while to
  // try another frame.
  std::atexit([] {
    g_pastTheExitHandlers = true;
    std::this_thread::sleep_for(std::chrono::seconds(1));
  });
  ChangeWindowMode(1);
  SetRunInBackground(1);  // children side by side: only one window has the focus
  ASSERT_EQ(InitLibraryLocked(), 0);
  const std::string play = what;
  // "all": an archived film, a looping sound, music, a loopback connection and fonts at once, and exit()
  // called from a second thread while the main thread goes on.
  const bool all = play == "all";
  int graph = -1;
  if (play == "ogg" || play == "midi" || all) {
    const int sound = LoadSoundFile("loop.wav", 1, -1);
    ASSERT_NE(sound, -1);
    ASSERT_EQ(PlaySoundHandle(sound, 3, 1), 0);
    ASSERT_EQ(PlayMusicFile(play == "midi" ? "music.mid" : "music.ogg", 3), 0);
  }
  if (play != "ogg" && play != "midi") {
    graph = LoadGraphFile(play == "theora" ? "film.ogv" : play == "mpeg4" ? "film.avi" : "FILMS/film.avi", 0);
    ASSERT_NE(graph, -1);
    MovieHandleRecord* movie = GetMovieData(GetGraphRecord(graph)->movie);
    ASSERT_NE(movie, nullptr);
    movie->playType = 1;
    movie->playingWanted = 1;
    ResumeAllMovie();
  }
  int32_t sender = -1;
  if (all) {
    const int port = PrepareListenNetWork(0);
    ASSERT_GT(port, 0);
    sender = ConnectNetWorkLoopback(port);
    ASSERT_NE(sender, -1);
    std::thread([milliseconds] {
      std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
      std::fflush(nullptr);
      std::exit(0);
    }).detach();
  }
  // With exit() on another thread the main thread goes on until the process ends.
  const uint32_t until = GetNowMilliCount() + static_cast<uint32_t>(milliseconds) + (all ? 30000u : 0u);
  for (int frame = 0; GetNowMilliCount() < until && ProcessMessageLocked() == 0; ++frame) {
    const bool late = g_pastTheExitHandlers.load();
    if (graph != -1) DrawGraphAt(0, 0, graph, 0);
    if (all) {
      const int font = CreateFontToHandle(frame % 2 == 0 ? nullptr : "IPAMincho", 12 + frame % 20, 3, 2, -1, 1, 0,
                                          -1, -1);
      DrawTextToFontHandle(8, 200, "ケルヴァロン Kelvaron", 0xFFFFFF, font, 0, 0);
      DeleteFontHandle(font);
      char block[4096] = {};
      NetWorkSend(sender, block, 1 + frame % static_cast<int>(sizeof block));
      const int32_t receiver = GetLastMadeNetWorkHandle();
      if (receiver != -1 && receiver != sender) {
        const int waiting = GetNetWorkDataLength(receiver);
        if (waiting > 0) NetWorkRecv(receiver, block, std::min(waiting, static_cast<int>(sizeof block)));
      }
    }
    FlipScreen();
    if (late) std::fprintf(stderr, "fault: a frame was drawn after the exit handlers had run\n");
  }
  ASSERT_FALSE(all) << "exit() was not called";
  std::fflush(nullptr);
  std::exit(0);
}

struct Child {
  pid_t pid = -1;
  fs::path folder;
  fs::path output;
};

// Starts this executable again as the child, in a folder of its own that also serves as its base for
// temporary files and locks.
Child StartChild(const fs::path& work, int run, const std::string& what, int milliseconds) {
  Child child;
  child.folder = work / ("run-" + std::to_string(run));
  fs::create_directory(child.folder);
  fs::permissions(child.folder, fs::perms::owner_all);
  for (const char* name : {"loop.wav", "music.ogg", "music.mid", "film.ogv", "film.avi", "FILMS.QVA"}) {
    if (fs::exists(work / name)) fs::create_symlink(work / name, child.folder / name);
  }
  child.output = work / ("run-" + std::to_string(run) + ".txt");
  const std::string setting = what + " " + child.folder.string() + " " + std::to_string(milliseconds);
  const std::vector<std::string> changes = {std::string(kChildVariable) + "=" + setting,
                                            "XDG_RUNTIME_DIR=" + child.folder.string(), "TMPDIR",
                                            "SDL_AUDIODRIVER=dummy"};
  child.pid = testing::StartSelf("ExitWhilePlayingChild.PlaysAndExits", changes, child.output);
  return child;
}

// Waits for the child and checks how it ended: by itself with status 0, in time, no sanitizer report,
// and nothing left of its private folder.
void CheckChild(const Child& child, const std::string& what, int milliseconds) {
  const std::string how = what + " exited after " + std::to_string(milliseconds) + " ms";
  int status = 0;
  ASSERT_EQ(testing::WaitForChild(child.pid, &status, 60), true) << how << ": the child did not end";
  const std::string said = testing::ReadFileText(child.output);
  EXPECT_TRUE(WIFEXITED(status)) << how << ": ended by signal " << WTERMSIG(status) << "\n" << said;
  if (WIFEXITED(status)) {
    EXPECT_EQ(WEXITSTATUS(status), 0) << how << "\n" << said;
  }
  EXPECT_EQ(said.find("Sanitizer"), std::string::npos) << how << "\n" << said;
  EXPECT_EQ(said.find("runtime error"), std::string::npos) << how << "\n" << said;
  EXPECT_EQ(said.find("fault:"), std::string::npos) << how << "\n" << said;
  const fs::path user = child.folder / ("orbel-" + std::to_string(::geteuid()));
  ASSERT_TRUE(fs::is_directory(user)) << how << ": no user folder was made\n" << said;
  EXPECT_EQ(testing::ProcessFoldersLeft(child.folder), "") << how;
}

// Runs the children kAtOnce at a time, each exiting after a random while (said on failure).
void RunChildren(const fs::path& work, const std::vector<std::string>& whats) {
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> delay(0, kLongestPlayMs);
  struct Running {
    Child child;
    std::string what;
    int milliseconds;
  };
  std::vector<Running> running;
  for (int run = 0; run < kRuns; ++run) {
    const std::string what = whats[static_cast<size_t>(run) % whats.size()];
    const int milliseconds = delay(random);
    running.push_back({StartChild(work, run, what, milliseconds), what, milliseconds});
    ASSERT_GT(running.back().child.pid, 0);
    if (static_cast<int>(running.size()) == kAtOnce || run == kRuns - 1) {
      for (const Running& r : running) CheckChild(r.child, r.what, r.milliseconds);
      running.clear();
    }
  }
}

// A looping sound, and music streamed from an Ogg file.
void WriteSoundAndMusic(const fs::path& work) {
  WriteSineWav(work / "loop.wav", 22050, 0.5);
  testing::WriteFileBytes(work / "music.ogg", testing::MakeVorbisOnlyOgg(3.0));
}

// Music streamed from an Ogg file, or MIDI music through the sequencer's synthesiser.
TEST(ExitWhilePlaying, ALoopingSoundAndMusic) {
  if (!OnRealDisplay()) GTEST_SKIP() << "needs ORBEL_HOST=sdl on a display (run under Xvfb by CTest)";
  testing::ScopedWorkDir work;
  WriteSoundAndMusic(work.path());
  WriteMidi(work.path() / "music.mid");
  RunChildren(work.path(), {"ogg", "midi"});
}

// The films: Theora in Ogg, MPEG-4 in AVI, and that AVI in an archive.
void WriteFilms(const fs::path& work) {
  testing::MovieSpec theora;
  theora.frames = 90;
  theora.withSound = true;
  testing::WriteFileBytes(work / "film.ogv", testing::MakeTheoraMovie(theora));
  moviegen::MovieSpec coded;
  coded.path = (work / "film.avi").string();
  coded.frames = 90;
  coded.sound = true;
  std::string error;
  ASSERT_TRUE(moviegen::WriteMovie(coded, &error)) << error;
  QvaWriter archive(QvaWriterOptions{});
  const std::vector<uint8_t> bytes = testing::ReadFileBytes(coded.path);
  ASSERT_TRUE(archive.AddFile("film.avi", bytes.data(), bytes.size())) << "the film could not be archived";
  testing::WriteFileBytes(work / "FILMS.QVA", archive.Finish());
}

// A film from a file, or from an archive (read by the archive's loading thread, played from a temporary
// copy in the private folder).
TEST(ExitWhilePlaying, AFilmWithSound) {
  if (!OnRealDisplay()) GTEST_SKIP() << "needs ORBEL_HOST=sdl on a display (run under Xvfb by CTest)";
  testing::ScopedWorkDir work;
  ASSERT_NO_FATAL_FAILURE(WriteFilms(work.path()));
  RunChildren(work.path(), {"theora", "mpeg4", "archived"});
}

// An archived film, a looping sound, music, a loopback connection and fonts at once, with exit() called
// from a second thread while the main thread goes on drawing, sending and making fonts.
TEST(ExitWhilePlaying, EverythingAtOnceFromASecondThread) {
  if (!OnRealDisplay()) GTEST_SKIP() << "needs ORBEL_HOST=sdl on a display (run under Xvfb by CTest)";
  testing::ScopedWorkDir work;
  ASSERT_NO_FATAL_FAILURE(WriteFilms(work.path()));
  WriteSoundAndMusic(work.path());
  RunChildren(work.path(), {"all"});
}

}  // namespace
}  // namespace orbel
