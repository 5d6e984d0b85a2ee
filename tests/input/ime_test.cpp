// The IME: composition, result strings into the queue, cursor and clauses, bounded buffers, the
// candidate list with its failures, the open status, switching the IME, and the re-open steps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "input_fixture.h"
#include "orbel/core/library_state.h"
#include "orbel/core/message_pump.h"
#include "orbel/input/input_system.h"
#include "orbel/input/text_input_state.h"
#include "platform/imm/imm.h"
#include "platform/imm/test_controls.h"
#include "platform/win/user/window_messages.h"
#include "platform/win/user/window_test_controls.h"
#include "platform/win/user/user_system.h"

namespace orbel {
namespace {

class ImeTest : public testing::InputTest {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    ASSERT_EQ(Start(), 0);
    LibraryCharSetIndex = 1;
  }
  plat::LRESULT Send(plat::UINT message, plat::WPARAM wParam = 0, plat::LPARAM lParam = 0) {
    return ProcessImeMessage(window_, message, wParam, lParam);
  }
  std::string Queued() {
    std::string bytes;
    while (InputCharQueue.readIndex != InputCharQueue.writeIndex) {
      bytes.push_back(static_cast<char>(InputCharQueue.data[InputCharQueue.readIndex]));
      InputCharQueue.readIndex = (InputCharQueue.readIndex + 1) % kInputCharQueueSize;
    }
    return bytes;
  }
};

TEST_F(ImeTest, ACompositionIsShownAndItsResultQueued) {
  EXPECT_EQ(Send(plat::WM_IME_STARTCOMPOSITION), 0);
  EXPECT_EQ(TextInput.composing, 1);
  plat::test::SetImeComposition("かんじ", 4);
  plat::test::SetImeClauses({0, 4, 6});
  Send(plat::WM_IME_COMPOSITION, 0, plat::GCS_COMPSTR | plat::GCS_CURSORPOS | plat::GCS_COMPCLAUSE);
  EXPECT_STREQ(TextInput.composition, "かんじ");
  EXPECT_EQ(TextInput.compositionCursor, 2) << "byte 4 is the third character";
  EXPECT_EQ(TextInput.clauseCount, 3);

  plat::test::SetImeResult("漢字を");
  plat::test::SetImeComposition("", 0);
  Send(plat::WM_IME_COMPOSITION, 0, plat::GCS_RESULTSTR);
  EXPECT_EQ(Queued(), std::string("漢字を"));
  EXPECT_STREQ(TextInput.composition, "") << "the composition is read afresh after a result";
  Send(plat::WM_IME_ENDCOMPOSITION);
  EXPECT_EQ(TextInput.composing, 0);
  EXPECT_EQ(plat::test::OutstandingImeContexts(), 0);
}

TEST_F(ImeTest, LongCompositionsAndClausesStayInsideTheirBuffers) {
  const std::string longText(3000, 'k');
  plat::test::SetImeComposition(longText, 2999);
  plat::test::SetImeClauses(std::vector<plat::DWORD>(600, 1));
  plat::test::SetImeResult(std::string(1500, 'r'));
  Send(plat::WM_IME_COMPOSITION, 0, plat::GCS_COMPSTR | plat::GCS_CURSORPOS | plat::GCS_COMPCLAUSE);
  EXPECT_EQ(std::strlen(TextInput.composition), 1024u);
  EXPECT_EQ(TextInput.compositionCursor, 1024);
  EXPECT_EQ(TextInput.clauseCount, 256);
  Send(plat::WM_IME_COMPOSITION, 0, plat::GCS_RESULTSTR);
  EXPECT_EQ(Queued().size(), 1024u) << "at most what was read, and no more than the queue holds";
}

TEST_F(ImeTest, TheCandidateListIsKeptUntilClosed) {
  plat::test::SetImeCandidates({"感じ", "漢字", "幹事"});
  EXPECT_EQ(Send(plat::WM_IME_NOTIFY, plat::IMN_OPENCANDIDATE), 0);
  ASSERT_NE(TextInput.candidateList, nullptr);
  EXPECT_EQ(TextInput.candidateList->dwCount, 3u);
  const char* second = reinterpret_cast<const char*>(TextInput.candidateList) + TextInput.candidateList->dwOffset[1];
  EXPECT_STREQ(second, "漢字");
  Send(plat::WM_IME_NOTIFY, plat::IMN_CHANGECANDIDATE);
  EXPECT_GT(TextInput.candidateListSize, 0);
  Send(plat::WM_IME_NOTIFY, plat::IMN_CLOSECANDIDATE);
  EXPECT_EQ(TextInput.candidateList, nullptr);
  EXPECT_EQ(TextInput.candidateListSize, 0);
  EXPECT_EQ(plat::test::OutstandingImeContexts(), 0);
}

TEST_F(ImeTest, AnUnreadableCandidateListLeavesNoListAndNoSize) {
  plat::test::SetImeCandidates({"候補"});
  plat::test::FailImeCandidateRead(true);
  Send(plat::WM_IME_NOTIFY, plat::IMN_SETCANDIDATEPOS);
  EXPECT_EQ(TextInput.candidateList, nullptr);
  EXPECT_EQ(TextInput.candidateListSize, 0);
  EXPECT_EQ(plat::test::OutstandingImeContexts(), 0) << "the context is released once";
  const auto lines = LogLines();
  bool found = false;
  for (const auto& line : lines) found = found || line.rfind("漢字変換候補の取得に失敗しました  BufSize:", 0) == 0;
  EXPECT_TRUE(found);

  plat::test::SetImeCandidates({});
  Send(plat::WM_IME_NOTIFY, plat::IMN_OPENCANDIDATE);
  found = false;
  for (const auto& line : LogLines()) found = found || line.rfind("漢字変換候補のデータサイズが０でした  DefHWND:", 0) == 0;
  EXPECT_TRUE(found);
  EXPECT_EQ(plat::test::OutstandingImeContexts(), 0);
}

TEST_F(ImeTest, TheOpenStatusIsReadAfterTheNotice) {
  plat::test::SetImeOpenStatus(true);
  EXPECT_EQ(Send(plat::WM_IME_NOTIFY, plat::IMN_SETOPENSTATUS), 0);
  EXPECT_EQ(InputImeState.open, 1);
  plat::test::SetImeOpenStatus(false);
  Send(plat::WM_IME_NOTIFY, plat::IMN_SETOPENSTATUS);
  EXPECT_EQ(InputImeState.open, 0);
  EXPECT_EQ(plat::test::OutstandingImeContexts(), 0);
}

TEST_F(ImeTest, SetImeEnableCallsThePlatformOnlyOnAChange) {
  plat::WINNLSEnableIME(window_, plat::TRUE);  // the platform's value, behind the library's back
  EXPECT_EQ(SetImeEnable(0), 0);
  EXPECT_TRUE(plat::test::ImeEnabled()) << "no call when the value stays 0";
  SetImeEnable(1);
  EXPECT_TRUE(plat::test::ImeEnabled());
  plat::test::SetImeCandidates({"a"});
  Send(plat::WM_IME_NOTIFY, plat::IMN_OPENCANDIDATE);
  std::strcpy(TextInput.composition, "abc");
  SetImeEnable(0);
  EXPECT_FALSE(plat::test::ImeEnabled());
  EXPECT_EQ(TextInput.candidateList, nullptr);
  EXPECT_STREQ(TextInput.composition, "");
}

TEST_F(ImeTest, ReactivationReopensTheImeWithItsComposition) {
  InputImeState.enabled = 1;
  InputImeState.open = 1;
  plat::test::SetImeComposition("にほん", 6);
  ProcessActiveKeyInput();  // no request: nothing happens
  EXPECT_TRUE(plat::test::ImmCalls().empty());
  InputImeState.refreshRequest = 1;  // as the window procedure sets it on activation
  EXPECT_EQ(ProcessActiveKeyInput(), 0);
  const std::vector<std::string> expected = {
      "ImmNotifyIME 21 4 0", "ImmSetOpenStatus 0", "ImmSetOpenStatus 1", "ImmSetOpenStatus 1",
      "ImmSetCompositionStringA にほん",
  };
  EXPECT_EQ(plat::test::ImmCalls(), expected);
  EXPECT_EQ(InputImeState.refreshRequest, 0);
  EXPECT_EQ(plat::test::ImeCompositionText(), "にほん");
  EXPECT_EQ(plat::test::OutstandingImeContexts(), 0);
  InputImeState.refreshRequest = 7;  // outside 1-4: left alone
  ProcessActiveKeyInput();
  EXPECT_EQ(InputImeState.refreshRequest, 7);
}

TEST_F(ImeTest, TheHostsEditingTextReachesTheCompositionThroughTheWindow) {
  plat::host::Event e;
  e.type = plat::host::EventType::Composition;
  e.text = "へんかん";
  e.cursor = 4;
  plat::test::InjectHostEvent(e);
  PumpWindowMessage();
  EXPECT_EQ(TextInput.composing, 1);
  EXPECT_STREQ(TextInput.composition, "へんかん");
  EXPECT_EQ(TextInput.compositionCursor, 2);
  e.text.clear();
  plat::test::InjectHostEvent(e);
  PumpWindowMessage();
  EXPECT_EQ(TextInput.composing, 0);
  EXPECT_STREQ(TextInput.composition, "");
  // The finished text arrives as characters.
  plat::test::InjectText("変換");
  PumpWindowMessage();
  EXPECT_EQ(Queued(), std::string("変換"));
}

TEST_F(ImeTest, SetContextHidesTheImesOwnWindows) {
  EXPECT_EQ(Send(plat::WM_IME_SETCONTEXT, 1, 0xC000000F), 0);
}

}  // namespace
}  // namespace orbel
