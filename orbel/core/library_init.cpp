// Library start-up: the fixed order of InitLibrarySystem, COM start, and the unwinding of a start-up
// that fails part-way (every step already taken is ended again, in reverse order, by the end sequence
// run in its partial form).
// Depends on: every subsystem's start call (file access, log, system report, window, input, sound,
// graphics, movies, network state), the end sequence (library_end.cpp).
#include <cstring>

#include "orbel/core/clock_random.h"
#include "orbel/core/library.h"
#include "orbel/core/library_internal.h"
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/main_window.h"
#include "orbel/core/system_report.h"
#include "orbel/file/file_access.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/image/color_data.h"
#include "orbel/input/input_system.h"
#include "orbel/movie/movie_system.h"
#include "orbel/network/network_system.h"
#include "orbel/sound/sound_system.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/find_file.h"
#include "platform/win/kernel/system_info.h"

namespace orbel {

StartupProgress gStarted = {};

namespace {

// The start-up directory through the installed file-access table; a directory longer than the table's
// buffer is read straight from the system so that the log is never lost for a long path.
void ReadStartupDirectory() {
  char* directory = gLibrary.startupDirectory;
  directory[0] = '\0';
  if (FileAccessGetDir(directory) != 0 || directory[0] == '\0') {
    if (plat::GetCurrentDirectoryA(sizeof gLibrary.startupDirectory, directory) == 0 ||
        std::strlen(directory) >= sizeof gLibrary.startupDirectory) {
      directory[0] = '\0';
    }
  }
  SetLogStartupDirectory(directory);
}

// Makes an empty black graph of 256 x 256 from a 24-bit image; -1 when it cannot.
int MakeBlackGraph() {
  GraphImage image = {};
  if (MakeImage24(256, 256, &image) != 0) return -1;
  FillImage(&image, 0, 0, 0, 0);
  const int graph = CreateGraphFromImageNoAlpha(&image);
  FreeGraphImage(&image);
  return graph;
}

// Clears both screens to black and runs the graph road once (empty graph, draw-valid graph, a graph
// from an image drawn plain, blended and stretched).
void ExerciseGraphRoad() {
  SetNewGraphDrawValidFlag(1);
  const int target = MakeEmptyGraph(256, 256, 0);
  SetNewGraphDrawValidFlag(0);
  SelectDrawScreen(target);
  SelectDrawScreen(kDrawScreenFront);
  DeleteGraphHandle(target, 0);
  SelectDrawScreen(kDrawScreenBack);

  int graph = MakeBlackGraph();
  SetBlendState(kBlendSub, 128);
  DrawGraphAt(0, 0, graph, 1);
  SetBlendState(kBlendNone, 0);
  SelectDrawScreen(kDrawScreenFront);
  DrawGraphAt(0, 0, graph, 1);
  DeleteGraphHandle(graph, 0);

  graph = MakeBlackGraph();
  DrawStretchGraph(0, 0, 640, 480, graph, 1);
  DeleteGraphHandle(graph, 0);
}

// A failed start ends the run it began: software rendering honoured at its top goes with it, also when
// the graphics never came up to end it themselves.
int FailStartup() {
  RunEndSequence();
  EndSoftwareRendering();
  gLibrary.initialising = 0;
  return -1;
}

}  // namespace

int IsLibraryInitialised() { return gLibrary.initialised; }

int InitCOM() {
  if (gLibrary.comStarted) return -1;
  LogAdd("ＣＯＭの初期化... ");
  if (plat::SUCCEEDED(plat::CoInitialize(nullptr))) {
    LogAdd("成功しました\n");
    gLibrary.comStarted = 1;
    return 0;
  }
  LogAdd("ＣＯＭの初期化に失敗しました\n");
  return -1;
}

int InitLibrarySystem() {
  if (gLibrary.initialised) return 0;
  gLibrary.initialising = 1;
  gStarted = StartupProgress{};

  if (GetSoftwareRenderRequest() == 1) ChangeRenderingMode(0);
  InitYuvToRgbTable();
  InitializeArchiveManager();
  SetFileAccessFunctions(nullptr);
  ReadStartupDirectory();
  StartLogFile();

  if (!gSettings.windowless) {
    const int desktopDepth = GetDesktopColorDepth();
    if ((desktopDepth == 24 && gSettings.windowMode == 1) || GetScreenColorBitDepth() == 24) {
      LogAdd("ＱＶライブラリは２４ビットカラーモードに対応していません\n");
      EndSoftwareRendering();
      gLibrary.initialising = 0;
      return -1;
    }
  }

  plat::LARGE_INTEGER frequency = {};
  plat::QueryPerformanceFrequency(&frequency);
  gLibrary.counterFrequency = static_cast<uint64_t>(frequency.QuadPart);
  gLibrary.performanceCounter = gLibrary.counterFrequency != 0;
  SetPerformanceCounterSource(gLibrary.performanceCounter, gLibrary.counterFrequency);

  OutputSystemInfo();
  gStarted.report = 1;
  if (GetOsCode() == kOsWindowsVista) SetUseBackSurfaceFlag(1);

  SetGraphRestoreHandler(nullptr);

  if (InitCOM() == -1) return FailStartup();
  if (CreateMainWindow() == -1) return FailStartup();
  gStarted.window = 1;

  std::memset(&HttpState, 0, sizeof HttpState);

  if (!gSettings.noInput) {
    if (InitInputSystem() == -1) return FailStartup();
    gStarted.input = 1;
  }
  if (!gSettings.noSound) {
    InitSoundSystem();  // a machine without sound still starts
    gStarted.sound = 1;
  }
  if (!gSettings.noGraphics) {
    if (InitDirectDrawSystem(gWindow.window) < 0) return FailStartup();
    gStarted.graphics = 1;
  }
  InitKeyInputBuffer();

  gLibrary.initialised = 1;
  // The time-stamp counter becomes a clock source once start-up has measured it.
  SetProcessorCounterSource(GetTimeStampCounterFlag(), GetTimeStampFrequency());
  SetFlipWaitsForVSync(1);
  if (gSettings.windowMode == 0 && gSettings.outsideWindow == nullptr) {
    ForceForegroundWindow(gWindow.window, 1);
  }
  InitLogDisplay();
  SelectDrawScreen(kDrawScreenBack);
  SelectDrawScreen(kDrawScreenFront);
  if (!gSettings.noGraphics) ExerciseGraphRoad();

  gLibrary.initialising = 0;
  return 0;
}

}  // namespace orbel
