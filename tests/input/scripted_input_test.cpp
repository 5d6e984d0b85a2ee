// The library driven by the headless host's input script: keys and a pad from the script reach the key
// states and the pad list at their times on the virtual clock.
#include <gtest/gtest.h>

#include <cstdlib>

#include "input_fixture.h"
#include "orbel/input/input_state.h"
#include "orbel/input/input_system.h"
#include "platform/host/host.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/clock_test_controls.h"

namespace orbel {
namespace {

class ScriptedInputTest : public testing::InputTest {
 protected:
  void TearDown() override {
    unsetenv("ORBEL_HEADLESS_SCRIPT");
    InputTest::TearDown();
  }
};

TEST_F(ScriptedInputTest, ScriptedKeysAndPadsArriveAtTheirTimes) {
  const std::string path = (work_.path() / "input.txt").string();
  testing::WriteFileText(path,
                         "0 pad add 7 Script Pad\n"
                         "20000 key SPACE down\n"
                         "20100 key SPACE up\n"
                         "20100 key F12 press\n");
  setenv("ORBEL_HEADLESS_SCRIPT", path.c_str(), 1);
  const uint32_t hostStart = plat::timeGetTime();
  plat::host::Install(plat::host::CreateHostByName("headless"));
  // Moves the virtual clock to `ms` after the host's start.
  auto at = [hostStart](uint32_t ms) {
    const uint32_t now = plat::timeGetTime() - hostStart;
    ASSERT_LT(now, ms);
    plat::test::AdvanceClock(static_cast<uint64_t>(ms - now) * 1000);
  };
  ASSERT_EQ(Start(), 0);
  EXPECT_EQ(InputSystem.padCount, 1);
  EXPECT_STREQ(InputSystem.pads[0].productName, "Script Pad");
  EXPECT_EQ(ReadKeys()[0x39], 0);
  at(20050);
  EXPECT_EQ(ReadKeys()[0x39], 1);
  at(20150);
  const std::vector<uint8_t> keys = ReadKeys();
  EXPECT_EQ(keys[0x39], 0);
  EXPECT_EQ(keys[0x58], 0) << "pressed and released within one frame";
}

}  // namespace
}  // namespace orbel
