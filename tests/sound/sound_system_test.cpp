// Sound system start-up and shut-down: the log report, the primary format, failures.
#include "orbel/sound/sound_state.h"
#include "orbel/sound/sound_system.h"
#include "platform/dsound/dsound_test_controls.h"
#include "sound_test_support.h"

namespace orbel::testing {
namespace {

class SoundSystem : public SoundTest {
 protected:
  // Ends the fixture's sound system and starts it again with `caps` in place.
  uint32_t Restart(const plat::DSCAPS* caps = nullptr) {
    EndSoundSystem();
    if (caps != nullptr) plat::test::SetSoundCaps(*caps);
    return InitSoundSystem();
  }
  static uint32_t PrimaryRate() {
    plat::WAVEFORMATEX f{};
    plat::DWORD written = 0;
    SoundState.primaryBuffer->GetFormat(&f, sizeof f, &written);
    return f.nSamplesPerSec;
  }
};

TEST_F(SoundSystem, StartUpReportsTheDeviceAndItsCapabilities) {
  // Lines without a line end run on into the next text: compare positions in the whole log, with
  // the stamps and indents taken out.
  std::string log;
  for (const std::string& line : LogLines()) log += line;
  auto index = [&](const std::string& text) { return static_cast<long>(log.find(text)); };
  const char* order[] = {"DirectSound の初期化を行います",
                         "DirectSound インターフェースの取得を行います....  成功",
                         "引き続きインターフェースの初期化処理...  成功",
                         "DirectSound デバイスを列挙します",
                         "モジュール名:",
                         "最大サンプリングレート:200.00KHz 最小サンプリングレート:0.10KHz 総サウンドメモリ領域:0.00KB "
                         "空きサウンドメモリ領域:0.00KB ",
                         "利用可能サンプリング精度",
                         " プライマリ １６bit = OK  ８bit = OK  セカンダリ １６bit = OK  ８bit = OK ",
                         "利用可能チャンネル",
                         " プライマリ MONO = OK  STEREO = OK  セカンダリ MONO = OK  STEREO = OK ",
                         "DirectSound の初期化は正常に終了しました"};
  long last = -1;
  for (const char* text : order) {
    const long at = index(text);
    EXPECT_GT(at, last) << text;
    last = at;
  }
  EXPECT_EQ(InitSoundSystem(), static_cast<uint32_t>(-1)) << "a second start is refused";
  EXPECT_EQ(EndSoundSystem(), 0);
  EXPECT_TRUE(LogHas("DirectSound の終了処理は正常に終了しました"));
  EXPECT_EQ(EndSoundSystem(), -1);
}

TEST_F(SoundSystem, ThePrimaryFormatRunsAtTheDevicesBestUpTo44100Hz) {
  EXPECT_EQ(PrimaryRate(), 44100u);
  for (auto [max, expected] : {std::pair{48000u, 44100u}, {22050u, 22050u}}) {
    plat::DSCAPS caps = plat::test::DefaultSoundCaps();
    caps.dwMaxSecondarySampleRate = max;
    ASSERT_EQ(Restart(&caps), 0u);
    EXPECT_EQ(PrimaryRate(), expected) << max;
  }
}

TEST_F(SoundSystem, AMissingEnumeratorSkipsOnlyTheReport) {
  plat::test::SetDirectSoundModuleAvailable(true, false);
  ASSERT_EQ(Restart(), 0u);
  EXPECT_TRUE(LogHas("DirectSound デバイスの列挙用関数のポインタ取得に失敗しました"));
  EXPECT_EQ(LogText().find("最大サンプリングレート"), LogText().rfind("最大サンプリングレート"))
      << "the second start wrote no capability lines";
  plat::test::SetDirectSoundModuleAvailable(false, false);
  ASSERT_EQ(Restart(), 0u);
  EXPECT_TRUE(LogHas("DSOUND.DLL のロードに失敗しました"));
  // The skipped report leaves the indent where it was: the closing line sits at the opening's level.
  const std::string log = LogText();
  const size_t open = log.rfind("DirectSound の初期化を行います");
  const size_t close = log.rfind("DirectSound の初期化は正常に終了しました");
  ASSERT_NE(close, std::string::npos);
  auto tabsBefore = [&](size_t at) {
    size_t n = 0;
    while (at > n && log[at - n - 1] == '\t') ++n;
    return n;
  };
  EXPECT_EQ(tabsBefore(close), tabsBefore(open));
}

TEST_F(SoundSystem, FailuresOfTheObjectLeaveTheSystemStopped) {
  struct Case {
    void (*fault)();
    const char* line;
  } cases[] = {{plat::test::FailCoCreateDirectSound, "DirectSound インターフェースの取得を行います....  DirectSoundインターフェースの作成に失敗しました"},
               {plat::test::FailDirectSoundInitialize, "引き続きインターフェースの初期化処理...  初期化に失敗しました"},
               {plat::test::FailSoundCooperativeLevel, "DirectSoundの協調レベルの設定に失敗しました"}};
  for (const Case& c : cases) {
    EndSoundSystem();
    c.fault();
    EXPECT_EQ(InitSoundSystem(), static_cast<uint32_t>(-1)) << c.line;
    EXPECT_TRUE(LogHas(c.line)) << c.line;
    EXPECT_FALSE(SoundSystemStarted());
    EXPECT_EQ(ServiceAllStreamSounds(), -1);
  }
  ASSERT_EQ(InitSoundSystem(), 0u);
}

}  // namespace
}  // namespace orbel::testing
