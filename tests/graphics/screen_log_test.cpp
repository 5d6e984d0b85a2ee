// The screen side's start and end as the log tells them, on the DirectDraw road and in software
// rendering: the steps in order (colour report, surface placement, graphics manager, measurement), and
// an end that leaves no tracked block and no DirectDraw object behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graph_test_fixture.h"
#include "orbel/core/library.h"
#include "orbel/core/memory.h"
#include "orbel/graphics/screen_state.h"
#include "platform/ddraw/test_controls.h"

namespace orbel {
namespace {

class ScreenLogTest : public testing::GraphLibraryTest {
 protected:
  // Asserts that every line appears in the log, each after the one before it.
  void ExpectLinesInOrder(const std::vector<std::string>& lines) {
    const std::string log = LogText();
    size_t at = 0;
    for (const std::string& line : lines) {
      const size_t found = log.find(line, at);
      ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line;
      at = found + line.size();
    }
  }
};

struct LogCase {
  const char* name;
  testing::GraphRoad road;
  std::vector<std::string> lines;
};

TEST_F(ScreenLogTest, StartAndEndLogTheScreenStepsInOrder) {
  const std::vector<LogCase> cases = {
      {"DirectDraw road, 32 bits",
       {0, 32},
       {"DirectDraw 関連の初期化を行います\r\n", "\tDirectDraw オブジェクトの取得を行います....  成功\r\n",
        "\t引き続き初期化処理... 初期化に成功しました\r\n", "\tビデオカードの情報\r\n",
        "\t画面モード変更処理を開始します\r\n", "\t\t画面モードの変更処理を開始します 640 x 480  32 bit \r\n",
        "\t\t\tウインドウモードにします\r\n", "\t\t\t画面モードの変更は正常に終了しました \r\n",
        "\t\tカラー情報\r\n", "\t\t\tA:00000000  B:00ff0000  G:0000ff00  B:000000ff\r\n",
        "\t\t出力画面用の DirectDrawSurface を作成します\r\n", "\t\t\t各スクリーンメモリの配置位置\r\n",
        "\t\t\t\tPrimaryBuffer : VIDEOMEMORY  \r\n", "\t\t\t\tBaskBuffer : VIDEOMEMORY  \r\n",
        "\t\t出力画面用の DirectDrawSurface の作成は正常に終了しました\r\n",
        "\t\tグラフィック管理系の初期化を行います\r\n", "\t\t\t３Ｄグラフィック描画機能は使用しません\r\n",
        "\t\tグラフィック管理系の初期化は正常に終了しました\r\n", "\t\tサーフェス間転送には BltFast を使用します\r\n",
        "\t\tスキャンラインの数:1080\r\n", "\t\t１フレーム当たりの時間は ",
        "\t画面モード変更処理は正常に終了しました\r\n", "\tオーバーレイサーフェスは使用しません\r\n",
        "DirectDraw 関連の初期化は正常に終了しました\r\n", "DirectDraw 関連の終了処理をおこないます\r\n",
        "\tグラフィック管理系の終了処理は正常に終了しました\r\n", "\tメインサーフェスを破棄をします... 完了しました\r\n",
        "\tＤｉｒｅｃｔＤｒａｗオブジェクトを解放します\r\n", "\tＤｉｒｅｃｔＤｒａｗオブジェクトを解放しました\r\n",
        "DirectDraw 関連の終了処理は正常に終了しました\r\n"}},
      {"DirectDraw road, 16 bits",
       {0, 16},
       {"\t\tカラー情報\r\n", "\t\t\tA:00000000  B:0000f800  G:000007e0  B:0000001f\r\n",
        "\t\t\t\tPrimaryBuffer : VIDEOMEMORY  \r\n", "\t\t\t\tBaskBuffer : VIDEOMEMORY  \r\n"}},
      {"software rendering",
       {1, 16},
       {"DirectDraw 関連の初期化を行います\r\n", "\t画面モード変更処理を開始します\r\n",
        "\t\t出力画面用の DirectDrawSurface を作成します\r\n",
        "\t\t\t\tPrimaryBuffer : SYSTEMMEMORY( MEMIMG ) \r\n", "\t\t\t\tBaskBuffer : SYSTEMMEMORY( MEMIMG ) \r\n",
        "\t\tグラフィック管理系の初期化を行います\r\n", "\t画面モード変更処理は正常に終了しました\r\n",
        "DirectDraw 関連の初期化は正常に終了しました\r\n", "DirectDraw 関連の終了処理をおこないます\r\n",
        "\tＤｉｒｅｃｔＤｒａｗオブジェクトを解放しました\r\n", "\t画面モードを元に戻す処理は正常に終了しました\r\n",
        "DirectDraw 関連の終了処理は正常に終了しました\r\n"}},
  };
  for (const LogCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResetGraphicsStateForTest();
    ASSERT_EQ(Start(c.road), 0);
    ASSERT_EQ(EndLibrarySystem(), 0);
    ExpectLinesInOrder(c.lines);
    // Software rendering measures nothing and logs no colour report.
    if (c.road.software) {
      EXPECT_EQ(LogText().find("カラー情報"), std::string::npos);
    }
    EXPECT_EQ(GetMemoryBlockCount(), 0);
    const plat::test::DDrawCounters counters = plat::test::GetDDrawCounters();
    EXPECT_EQ(counters.liveObjects, 0);
    EXPECT_EQ(counters.liveSurfaces, 0);
    EXPECT_EQ(counters.liveClippers, 0);
  }
}

}  // namespace
}  // namespace orbel
