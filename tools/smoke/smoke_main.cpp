// orbel_smoke: the library's smoke program. Sets a title, asks in a yes/no box whether to run in a
// window, starts the library, pumps messages until the window is closed (or for --seconds N), ends
// the library. Exit status 0, or -1 when start-up fails.
// Usage: orbel_smoke [--seconds N] [--window | --fullscreen]
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "orbel.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/user/message_box.h"

namespace {

constexpr uint32_t kFrameMilliseconds = 16;

struct Options {
  long seconds = -1;  // -1: until the window is closed
  int windowMode = -1;  // -1: ask
};

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      char* end = nullptr;
      options->seconds = std::strtol(argv[++i], &end, 10);
      if (end == argv[i] || *end != '\0' || options->seconds < 0) return false;
    } else if (std::strcmp(argv[i], "--window") == 0) {
      options->windowMode = 1;
    } else if (std::strcmp(argv[i], "--fullscreen") == 0) {
      options->windowMode = 0;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr, "usage: orbel_smoke [--seconds N] [--window | --fullscreen]\n");
    return 2;
  }

  SetMainWindowTitle("Orbel スモーク");
  if (options.windowMode == -1) {
    const int answer = plat::MessageBoxA(nullptr, "ウインドウモードで起動しますか？", "起動設定",
                                         plat::MB_YESNO | plat::MB_ICONQUESTION);
    options.windowMode = answer == plat::IDYES ? 1 : 0;
  }
  ChangeWindowMode(options.windowMode);

  if (InitLibraryLocked() == -1) return -1;

  const uint32_t start = GetNowMilliCount();
  while (ProcessMessageLocked() == 0) {
    if (options.seconds >= 0 && GetNowMilliCount() - start >= static_cast<uint32_t>(options.seconds) * 1000u) break;
    plat::Sleep(kFrameMilliseconds);
  }

  EndLibraryLocked();
  return 0;
}
