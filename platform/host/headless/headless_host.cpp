// The headless host: an in-memory desktop (1920x1080, 32 bits), window pictures kept in memory, input
// from the script named by ORBEL_HEADLESS_SCRIPT (timed on the plat clock) and from tests (which inject
// through the window stand-in). With ORBEL_HEADLESS_CAPTURE_DIR set, every presented frame is also
// written there as frame_NNNNNN.png. Message boxes answer from ORBEL_MESSAGEBOX_ANSWER. With
// ORBEL_HEADLESS_CLOCK=virtual the whole run is on the virtual clock, so a scripted play of minutes
// takes seconds.
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/host/headless/input_script.h"
#include "platform/host/host.h"
#include "platform/win/clock.h"

namespace plat::host {
namespace {

class HeadlessHost final : public Host {
 public:
  HeadlessHost() : startMs_(timeGetTime()) {
    if (const char* dir = std::getenv("ORBEL_HEADLESS_CAPTURE_DIR"); dir != nullptr && *dir != '\0')
      captureDir_ = dir;
  }

  bool LoadScript(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "ORBEL_HEADLESS_SCRIPT: cannot read %s\n", path);
      return false;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string error;
    if (!ParseInputScript(text, &script_, &error)) {
      std::fprintf(stderr, "ORBEL_HEADLESS_SCRIPT: %s: %s\n", path, error.c_str());
      return false;
    }
    return true;
  }

  const char* Name() const override { return "headless"; }
  DesktopMode Desktop() const override { return mode_; }

  void PumpEvents() override {
    if (next_ >= script_.size()) return;
    const uint32_t now = timeGetTime() - startMs_;
    // Delivery may re-enter PumpEvents (a listener's window procedure can peek): advance first.
    while (next_ < script_.size() && script_[next_].atMs <= now) DeliverEvent(script_[next_++].event);
  }

  void PresentFrame(HWND window, int x, int y, const FrameView& view) override {
    Host::PresentFrame(window, x, y, view);
    if (captureDir_.empty()) return;
    if (const Frame* frame = CaptureFrame(window)) {
      char name[32];
      std::snprintf(name, sizeof name, "/frame_%06u.png", captured_++);
      SaveFramePng(*frame, (captureDir_ + name).c_str());
    }
  }

 private:
  uint32_t startMs_;
  std::vector<ScriptedEvent> script_;
  size_t next_ = 0;
  std::string captureDir_;
  unsigned captured_ = 0;
};

// ORBEL_HEADLESS_CLOCK: "virtual" runs the program on the virtual clock (sleeps and frame pacing cost
// no real time, the script's times are virtual); "real" or unset leaves the clock as it is.
void ApplyClockSetting() {
  const char* clockName = std::getenv("ORBEL_HEADLESS_CLOCK");
  if (clockName == nullptr || *clockName == '\0' || strcasecmp(clockName, "real") == 0) return;
  if (strcasecmp(clockName, "virtual") != 0) {
    std::fprintf(stderr, "ORBEL_HEADLESS_CLOCK: %s is not a known clock (known clocks: real virtual)\n", clockName);
    std::abort();
  }
  clock::StartVirtual();
}

}  // namespace

std::unique_ptr<Host> CreateHeadlessHost() {
  ApplyClockSetting();  // before the host reads its start time
  auto host = std::make_unique<HeadlessHost>();
  if (const char* script = std::getenv("ORBEL_HEADLESS_SCRIPT"); script != nullptr && *script != '\0') {
    if (!host->LoadScript(script)) std::abort();
  }
  return host;
}

}  // namespace plat::host
