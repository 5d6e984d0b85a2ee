// The fixture of the window stand-in tests: the virtual clock, an empty message recording and the
// recording class registered before each test, and the recording cleared after it (so no hook set by
// one test can answer another's messages).
#pragma once

#include "test_support.h"
#include "window_test_recorder.h"

namespace windows_test {

class RecordingWindowTest : public orbel::testing::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    ClearRecording();
    RegisterTestClass();
  }
  void TearDown() override {
    ClearRecording();
    VirtualClockTest::TearDown();
  }
};

}  // namespace windows_test
