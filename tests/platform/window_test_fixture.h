// The fixture of the window stand-in tests: the virtual clock, an empty message recording and the
// recording class registered (with the given class style) before each test, and the recording cleared
// after it (so no hook set by one test can answer another's messages).
#pragma once

#include "test_support.h"
#include "window_test_recorder.h"

namespace windows_test {

class RecordingWindowTest : public orbel::testing::VirtualClockTest {
 protected:
  explicit RecordingWindowTest(plat::UINT classStyle = plat::CS_HREDRAW | plat::CS_VREDRAW)
      : classStyle_(classStyle) {}
  void SetUp() override {
    VirtualClockTest::SetUp();
    ClearRecording();
    RegisterTestClass(kClass, classStyle_);
  }
  void TearDown() override {
    ClearRecording();
    VirtualClockTest::TearDown();
  }

 private:
  plat::UINT classStyle_;
};

}  // namespace windows_test
