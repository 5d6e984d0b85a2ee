// The SDL host's own message box: its picture (headless, with the host's fonts) and, on a real display
// (ORBEL_HOST=sdl under xvfb-run, through platform.SdlMessageBoxUnderXvfb), the answers to keys and to a quit.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/host/host.h"
#include "platform/host/sdl/sdl_message_box.h"
#include "platform/host/text_encoding.h"
#include "platform/win/message_box.h"
#include "test_support.h"

namespace {

using namespace plat;

// Dark pixels inside a rectangle of the picture.
int InkIn(const host::MessageBoxPicture& p, int left, int top, int right, int bottom) {
  int ink = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) ink += (p.pixels[static_cast<size_t>(y) * p.width + x] & 0xFF) < 0x80;
  return ink;
}

TEST(SdlMessageBox, JapaneseTextAndButtonsAreDrawnWithTheHostsFonts) {
  const std::string text = orbel::testing::Utf8(u8"フルスクリーンモードで起動しますか？");
  const host::MessageBoxPicture p = host::DrawMessageBox(text, {{IDYES, "Yes"}, {IDNO, "No"}}, 1);
  ASSERT_EQ(p.buttons.size(), 2u);
  // 18 full-width characters of a 17-pixel face need well over 200 pixels.
  EXPECT_GT(p.width, 250);
  const SDL_Rect& yes = p.buttons[0];
  const SDL_Rect& no = p.buttons[1];
  EXPECT_GT(no.x, yes.x + yes.w) << "buttons side by side";
  // The text band above the buttons has ink across most of its width; each label has ink.
  EXPECT_GT(InkIn(p, 0, 0, p.width / 2, yes.y), 100);
  EXPECT_GT(InkIn(p, p.width / 2, 0, p.width, yes.y), 100);
  EXPECT_GT(InkIn(p, yes.x + 2, yes.y + 2, yes.x + yes.w - 2, yes.y + yes.h - 2), 10);
  // The focused button (No) is filled apart from the other.
  const auto fill = [&p](const SDL_Rect& r) { return p.pixels[static_cast<size_t>(r.y + 3) * p.width + r.x + 3]; };
  EXPECT_NE(fill(yes), fill(no));
}

class SdlMessageBoxOnDisplay : public orbel::testing::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    const char* wanted = std::getenv("ORBEL_HOST");
    if (wanted == nullptr || std::strcmp(wanted, "sdl") != 0) GTEST_SKIP() << "ORBEL_HOST is not sdl";
    unsetenv("ORBEL_MESSAGEBOX_ANSWER");  // a scripted answer would skip the box
    auto sdl = host::CreateHostByName("sdl");
    ASSERT_NE(sdl, nullptr) << "ORBEL_HOST=sdl but SDL video does not start here: " << SDL_GetError();
    host::Install(std::move(sdl));
  }

  // Shows a yes/no box while another thread pushes `events` once the box is up.
  int Answer(std::vector<SDL_Event> events) {
    std::thread presser([events]() mutable {
      SDL_Delay(300);  // real time: the box waits on SDL's clock
      for (SDL_Event& e : events) SDL_PushEvent(&e);
    });
    const std::string question = host::Utf8ToShiftJis(orbel::testing::Utf8(u8"続けますか？"));
    const int answer = host::Current().ShowMessageBox(nullptr, question.c_str(), "Kelvaron", MB_YESNO);
    presser.join();
    return answer;
  }
  static SDL_Event Key(SDL_Keycode key) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = key;
    return e;
  }
};

TEST_F(SdlMessageBoxOnDisplay, KeysAndAQuitAnswerTheBox) {
  EXPECT_EQ(Answer({Key(SDLK_RETURN)}), IDYES) << "Enter takes the first button";
  EXPECT_EQ(Answer({Key(SDLK_RIGHT), Key(SDLK_RETURN)}), IDNO) << "Right moves to No";
  EXPECT_EQ(Answer({Key('y')}), IDYES);
  EXPECT_EQ(Answer({Key(SDLK_ESCAPE)}), IDNO);
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  EXPECT_EQ(Answer({quit}), IDNO) << "the application's quit answers as Escape";
  EXPECT_TRUE(SDL_HasEvent(SDL_QUIT)) << "and stays for the application";
  SDL_FlushEvent(SDL_QUIT);
}

}  // namespace
