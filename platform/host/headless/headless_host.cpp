// The headless host: an in-memory desktop (1920x1080, 32 bits), window pictures kept in memory, input
// from the script named by ORBEL_HEADLESS_SCRIPT (timed on the plat clock) and from tests (which inject
// through the window stand-in). With ORBEL_HEADLESS_CAPTURE_DIR set (the folder is made when missing;
// one that cannot be made stops the program), every presented frame is also written there as
// frame_NNNNNN.png (N counts presented frames from 0); ORBEL_HEADLESS_CAPTURE_FRAMES
// ("1,121,300-310") limits that to the listed frames, so a long play is recorded cheaply. Message boxes answer from ORBEL_MESSAGEBOX_ANSWER. With
// ORBEL_HEADLESS_CLOCK=virtual the whole run is on the virtual clock, so a scripted play of minutes
// takes seconds.
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "platform/host/headless/input_script.h"
#include "platform/host/host.h"
#include "platform/win/kernel/clock.h"

namespace plat::host {
namespace {

// Frame numbers to capture: inclusive ranges.
using FrameRanges = std::vector<std::pair<unsigned, unsigned>>;

// Parses "1,121,300-310" (numbers and ranges, blanks allowed around them). false on anything else.
bool ParseFrameList(const char* text, FrameRanges* out) {
  FrameRanges ranges;
  const char* p = text;
  auto number = [&p](unsigned* value) {
    while (*p == ' ') ++p;
    if (*p < '0' || *p > '9') return false;
    unsigned long v = 0;
    while (*p >= '0' && *p <= '9') {
      v = v * 10 + static_cast<unsigned long>(*p++ - '0');
      if (v > 0xFFFFFFFFul) return false;
    }
    while (*p == ' ') ++p;
    *value = static_cast<unsigned>(v);
    return true;
  };
  for (;;) {
    unsigned first = 0, last = 0;
    if (!number(&first)) return false;
    last = first;
    if (*p == '-') {
      ++p;
      if (!number(&last) || last < first) return false;
    }
    ranges.emplace_back(first, last);
    if (*p == '\0') break;
    if (*p++ != ',') return false;
  }
  *out = std::move(ranges);
  return true;
}

class HeadlessHost final : public Host {
 public:
  HeadlessHost() : startMs_(timeGetTime()) {
    if (const char* dir = std::getenv("ORBEL_HEADLESS_CAPTURE_DIR"); dir != nullptr && *dir != '\0') {
      // A run that was asked for frames and silently writes none would pass for a good one.
      std::error_code error;
      std::filesystem::create_directories(dir, error);
      if (error || !std::filesystem::is_directory(dir, error)) {
        std::fprintf(stderr, "ORBEL_HEADLESS_CAPTURE_DIR: cannot make the folder %s: %s\n", dir,
                     error ? error.message().c_str() : "a file of that name is in the way");
        std::abort();
      }
      captureDir_ = dir;
    }
    if (const char* list = std::getenv("ORBEL_HEADLESS_CAPTURE_FRAMES"); list != nullptr && *list != '\0') {
      if (!ParseFrameList(list, &captureFrames_)) {
        std::fprintf(stderr, "ORBEL_HEADLESS_CAPTURE_FRAMES: %s is not a list such as 1,121,300-310\n", list);
        std::abort();
      }
    }
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
    Captured(window);
  }

  void LinkFrame(HWND window, int x, int y, const FrameView& view, const void* owner) override {
    Host::LinkFrame(window, x, y, view, owner);
    Captured(window);
  }

 private:
  // Counts a presented frame and writes it out when the capture wants it.
  void Captured(HWND window) {
    const unsigned index = presented_++;
    if (captureDir_.empty() || !Wanted(index)) return;
    if (const Frame* frame = CaptureFrame(window)) {
      char name[32];
      std::snprintf(name, sizeof name, "/frame_%06u.png", index);
      SaveFramePng(*frame, (captureDir_ + name).c_str());
    }
  }

  uint32_t startMs_;
  std::vector<ScriptedEvent> script_;
  size_t next_ = 0;
  bool Wanted(unsigned index) const {
    if (captureFrames_.empty()) return true;
    for (const auto& [first, last] : captureFrames_)
      if (index >= first && index <= last) return true;
    return false;
  }

  std::string captureDir_;
  FrameRanges captureFrames_;  // empty: every frame
  unsigned presented_ = 0;
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

std::unique_ptr<Host> CreateHeadlessHost(std::string* /*whyNot*/) {
  ApplyClockSetting();  // before the host reads its start time
  auto host = std::make_unique<HeadlessHost>();
  if (const char* script = std::getenv("ORBEL_HEADLESS_SCRIPT"); script != nullptr && *script != '\0') {
    if (!host->LoadScript(script)) std::abort();
  }
  return host;
}

}  // namespace plat::host
