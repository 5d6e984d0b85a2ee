// The SDL host's own message box: its buttons and icon for each type, its picture (headless, with the
// host's fonts) and, on a real display (ORBEL_HOST=sdl under xvfb-run, through
// platform.SdlMessageBoxUnderXvfb), the answers to keys and to a quit, and the box as the screen shows it.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

#include "platform/host/host.h"
#include "platform/host/sdl/sdl_message_box.h"
#include "platform/host/text_encoding.h"
#include "platform/win/user/message_box.h"
#include "test_support.h"
#include "wait_until.h"

namespace {

using namespace plat;

// Dark pixels inside a rectangle of the picture.
int InkIn(const host::MessageBoxPicture& p, int left, int top, int right, int bottom) {
  int ink = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) ink += (p.pixels[static_cast<size_t>(y) * p.width + x] & 0xFF) < 0x80;
  return ink;
}

std::vector<std::string> Labels(const host::MessageBoxChoices& c) {
  std::vector<std::string> labels;
  for (const host::MessageBoxButton& b : c.buttons) labels.push_back(b.label + (b.key ? std::string("/") + b.key : ""));
  return labels;
}

TEST(SdlMessageBox, TypesAskForJapaneseButtonsWithAccessKeysAndTheirIcons) {
  using orbel::testing::Utf8;
  using Icon = host::MessageBoxIcon;
  const host::MessageBoxChoices question = host::ChoicesForType(MB_YESNO | MB_ICONQUESTION);  // the game's
  EXPECT_EQ(Labels(question), (std::vector<std::string>{Utf8(u8"はい(Y)/y"), Utf8(u8"いいえ(N)/n")}));
  EXPECT_EQ(question.icon, Icon::Question);
  EXPECT_EQ(question.defaultIndex, 0);
  EXPECT_EQ(question.escapeId, IDNO);

  const host::MessageBoxChoices okCancel = host::ChoicesForType(MB_OKCANCEL | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
  EXPECT_EQ(Labels(okCancel), (std::vector<std::string>{"OK", Utf8(u8"キャンセル")}));
  EXPECT_EQ(okCancel.icon, Icon::Warning);
  EXPECT_EQ(okCancel.defaultIndex, 1);
  EXPECT_EQ(okCancel.escapeId, IDCANCEL);

  const host::MessageBoxChoices three = host::ChoicesForType(MB_YESNOCANCEL | MB_ICONHAND);
  EXPECT_EQ(three.buttons.size(), 3u);
  EXPECT_EQ(three.buttons[2].id, IDCANCEL);
  EXPECT_EQ(three.icon, Icon::Error);
  EXPECT_EQ(three.escapeId, IDCANCEL);

  const host::MessageBoxChoices plain = host::ChoicesForType(MB_OK);
  EXPECT_EQ(Labels(plain), (std::vector<std::string>{"OK"}));
  EXPECT_EQ(plain.icon, Icon::None);
  EXPECT_EQ(plain.escapeId, IDOK);
  EXPECT_EQ(host::ChoicesForType(MB_OK | MB_ICONASTERISK).icon, Icon::Information);
}

TEST(SdlMessageBox, JapaneseTextAndButtonsAreDrawnWithTheHostsFonts) {
  const std::string text = orbel::testing::Utf8(u8"フルスクリーンモードで起動しますか？");
  const host::MessageBoxChoices c = host::ChoicesForType(MB_YESNO | MB_ICONQUESTION);
  const host::MessageBoxPicture p = host::DrawMessageBox(text, c.buttons, c.icon, 1);
  ASSERT_EQ(p.buttons.size(), 2u);
  // An icon and 18 full-width characters of a 17-pixel face need well over 300 pixels.
  EXPECT_GT(p.width, 300);
  const SDL_Rect& yes = p.buttons[0];
  const SDL_Rect& no = p.buttons[1];
  EXPECT_GT(no.x, yes.x + yes.w) << "buttons side by side";
  // The text band above the buttons has ink across most of its width.
  EXPECT_GT(InkIn(p, 0, 0, p.width / 2, yes.y), 100);
  EXPECT_GT(InkIn(p, p.width / 2, 0, p.width, yes.y), 100);
  // Each label has ink, and the wider Japanese label keeps clear of its button's edges.
  for (const SDL_Rect& r : {yes, no}) {
    EXPECT_GT(InkIn(p, r.x + 4, r.y + 2, r.x + r.w - 4, r.y + r.h - 2), 60);
    EXPECT_EQ(InkIn(p, r.x + 1, r.y + 1, r.x + 5, r.y + r.h - 1), 0) << "a label runs into the left edge";
    EXPECT_EQ(InkIn(p, r.x + r.w - 5, r.y + 1, r.x + r.w - 1, r.y + r.h - 1), 0) << "into the right edge";
  }
  // The focused button (No) is filled apart from the other.
  const auto fill = [&p](const SDL_Rect& r) { return p.pixels[static_cast<size_t>(r.y + 3) * p.width + r.x + 3]; };
  EXPECT_NE(fill(yes), fill(no));
}

// The icon: the colour that fills most of the square left of the text, and how many pixels of the
// square differ from both that colour and the background (its sign).
struct IconLook {
  uint32_t colour = 0;
  int sign = 0;
};
IconLook LookAtIcon(const host::MessageBoxPicture& p, int left, int top) {
  std::map<uint32_t, int> counts;
  const uint32_t background = p.pixels[0];
  for (int y = top; y < top + 32; ++y)
    for (int x = left; x < left + 32; ++x) ++counts[p.pixels[static_cast<size_t>(y) * p.width + x]];
  IconLook look;
  int best = 0;
  for (const auto& [colour, n] : counts)
    if (colour != background && n > best) best = n, look.colour = colour;
  for (const auto& [colour, n] : counts)
    if (colour != background && colour != look.colour) look.sign += n;
  return look;
}

TEST(SdlMessageBox, EachIconTypeDrawsItsOwnIconBesideTheText) {
  using Icon = host::MessageBoxIcon;
  const std::string text = "The disk is full. Free some room and try again.";
  const host::MessageBoxPicture none = host::DrawMessageBox(text, {{IDOK, "OK"}}, Icon::None, 0);
  // The icon sits in the 32-pixel square at the left of the text band, 22 pixels from the top.
  std::map<Icon, IconLook> looks;
  for (Icon icon : {Icon::Information, Icon::Question, Icon::Warning, Icon::Error}) {
    const host::MessageBoxPicture p = host::DrawMessageBox(text, {{IDOK, "OK"}}, icon, 0);
    int left = 0;  // the first column of the band that is not all background
    const auto blank = [&p](int x) {
      for (int y = 22; y < 54; ++y)
        if (p.pixels[static_cast<size_t>(y) * p.width + x] != p.pixels[0]) return false;
      return true;
    };
    while (left < p.width && blank(left)) ++left;
    ASSERT_LT(left, p.width / 2);
    looks[icon] = LookAtIcon(p, left, 22);
    EXPECT_GT(looks[icon].sign, 20) << "the icon has its sign";
  }
  EXPECT_EQ(looks[Icon::Information].colour, 0xFF2F6FD0u);  // blue disc
  EXPECT_EQ(looks[Icon::Question].colour, 0xFF2F6FD0u);
  EXPECT_EQ(looks[Icon::Warning].colour, 0xFFF2C01Eu);      // yellow triangle
  EXPECT_EQ(looks[Icon::Error].colour, 0xFFD83A2Eu);        // red disc
  const host::MessageBoxPicture info = host::DrawMessageBox(text, {{IDOK, "OK"}}, Icon::Information, 0);
  const host::MessageBoxPicture question = host::DrawMessageBox(text, {{IDOK, "OK"}}, Icon::Question, 0);
  EXPECT_NE(info.pixels, question.pixels) << "'i' and '?' differ";
  EXPECT_GT(info.width, none.width) << "the icon takes room beside the text";
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
  EXPECT_EQ(Answer({Key('y')}), IDYES) << "the access keys";
  EXPECT_EQ(Answer({Key('n')}), IDNO);
  EXPECT_EQ(Answer({Key(SDLK_ESCAPE)}), IDNO);
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  EXPECT_EQ(Answer({quit}), IDNO) << "the application's quit answers as Escape";
  EXPECT_TRUE(SDL_HasEvent(SDL_QUIT)) << "and stays for the application";
  SDL_FlushEvent(SDL_QUIT);
}

TEST_F(SdlMessageBoxOnDisplay, TheGamesStartQuestionShowsAsDrawnAndTakesYAndNFromTheKeyboard) {
  if (std::system("command -v xdotool >/dev/null && command -v xwd >/dev/null") != 0)
    GTEST_SKIP() << "needs xdotool and xwd";
  using orbel::testing::CommandLines;
  using orbel::testing::Utf8;
  const std::string text = Utf8(u8"フルスクリーンモードで起動しますか？");
  const std::string caption = Utf8(u8"スクリーン設定");
  const host::MessageBoxChoices choices = host::ChoicesForType(MB_YESNO | MB_ICONQUESTION);
  const host::MessageBoxPicture drawn = host::DrawMessageBox(text, choices.buttons, choices.icon, 0);
  orbel::testing::XwdPicture shot;
  bool shown = false;
  std::string answered;  // the first box's window, which the server may still list while the second opens
  for (const char key : {'y', 'n'}) {
    std::string fault;
    std::thread presser([&] {
      // The box is this program's window of the caption (xdotool matches no Japanese name, so names are read back).
      std::string id;
      orbel::testing::WaitUntil([&] {
        for (const std::string& found : CommandLines("xdotool search --onlyvisible --class platform_tests 2>/dev/null")) {
          const std::vector<std::string> name = CommandLines("xdotool getwindowname " + found + " 2>/dev/null");
          if (found != answered && name == std::vector{caption}) id = found;
        }
        return !id.empty();
      });
      // The screen shows the box once the server has drawn it: look until it matches.
      if (!id.empty() && key == 'y') {
        shown = orbel::testing::WaitUntil([&] {
          return orbel::testing::ReadXwd("xwd -silent -id " + id + " 2>/dev/null", &shot) &&
                 shot.width == drawn.width && shot.height == drawn.height &&
                 std::equal(shot.pixels.begin(), shot.pixels.end(), drawn.pixels.begin(),
                            [](uint32_t a, uint32_t b) { return a == (b & 0xFFFFFF); });
        });
      }
      if (id.empty())
        fault = "no box of that title showed";
      else if (std::system(("xdotool windowfocus --sync " + id + " key " + key).c_str()) != 0)
        fault = "xdotool failed";
      answered = id;
      if (!fault.empty()) {  // close the box so that the test fails rather than hangs
        SDL_Event escape{};
        escape.type = SDL_KEYDOWN;
        escape.key.keysym.sym = SDLK_ESCAPE;
        SDL_PushEvent(&escape);
      }
    });
    const std::string textSjis = host::Utf8ToShiftJis(text), captionSjis = host::Utf8ToShiftJis(caption);
    const int answer =
        host::Current().ShowMessageBox(nullptr, textSjis.c_str(), captionSjis.c_str(), MB_YESNO | MB_ICONQUESTION);
    presser.join();
    EXPECT_EQ(fault, "") << key;
    EXPECT_EQ(answer, key == 'y' ? IDYES : IDNO) << key;
  }
  // What the screen showed, for a person to look at; it must be the drawn box, Japanese labels and icon.
  plat::host::Frame frame{shot.width, shot.height, shot.pixels};
  plat::host::SaveFramePng(frame, (std::string(ORBEL_BINARY_DIR) + "/sdl-message-box.png").c_str());
  EXPECT_TRUE(shown) << "the window's pixels (" << shot.width << "x" << shot.height << ") are not the drawn box ("
                     << drawn.width << "x" << drawn.height << "); see sdl-message-box.png";
}

}  // namespace
