# Tests that need more than one executable or a real display. Tests under xvfb-run share the resource
# lock "xvfb": two xvfb-run -a started at once can pick the same display number. Time limits come from
# orbel_time_limit, as the suites' do: five times as long under the sanitizers.

# ---- windows: the SDL host under a virtual X server ---------------------------------------------
# The message-box tests push SDL events themselves.
if(TARGET platform_tests)
  target_link_libraries(platform_tests PRIVATE PkgConfig::SDL2)
endif()
# Runs the HostSdl tests of platform_tests with ORBEL_HOST=sdl inside xvfb-run (skipped without it).
# Leak checking stays on in the sanitizer build: the one buffer the system's D-Bus library (loaded by SDL)
# keeps to the end is left out by the SDL host itself.
find_program(ORBEL_XVFB_RUN xvfb-run)
if(ORBEL_XVFB_RUN AND TARGET platform_tests)
  # One process a test: SDL video started a second time in one process now and then finds no display.
  foreach(case RealWindowShowsItsClientAreaAndClosesOnWmClose AFullScreenWindowOnASwitchedDisplayKeepsItsSize)
    add_test(NAME platform.HostSdl.${case}UnderXvfb
             COMMAND ${ORBEL_XVFB_RUN} -a env ORBEL_HOST=sdl
                     $<TARGET_FILE:platform_tests> --gtest_filter=HostSdl.${case})
    set_tests_properties(platform.HostSdl.${case}UnderXvfb PROPERTIES TIMEOUT ${ORBEL_TEST_TIMEOUT} RESOURCE_LOCK xvfb)
  endforeach()
  # The host's own message box on a real display, a process a test (SDL video starts once in it); the
  # start question's test sends keys with xdotool and reads the box back with xwd.
  foreach(case KeysAndAQuitAnswerTheBox TheGamesStartQuestionShowsAsDrawnAndTakesYAndNFromTheKeyboard)
    add_test(NAME platform.SdlMessageBox.${case}UnderXvfb
             COMMAND ${ORBEL_XVFB_RUN} -a env ORBEL_HOST=sdl
                     $<TARGET_FILE:platform_tests> --gtest_filter=SdlMessageBoxOnDisplay.${case})
    set_tests_properties(platform.SdlMessageBox.${case}UnderXvfb
                         PROPERTIES TIMEOUT ${ORBEL_TEST_TIMEOUT} RESOURCE_LOCK xvfb)
  endforeach()
endif()
# ---- end of windows block -----------------------------------------------------------------------

# ---- core: the library on a real display --------------------------------------------------------
# Under xvfb-run with the SDL host the library opens a real X window with the set title and client size,
# and WM_CLOSE takes it away (RealWindowTest, checked with xwininfo). Without xvfb-run the test is not
# registered. The double-start check against a real second process is StartupTest.
# SecondProcessWithTheSameClassIsRefused of core_tests (it starts the second process itself).
if(ORBEL_XVFB_RUN AND TARGET core_tests)
  add_test(NAME core.RealWindowUnderXvfb
           COMMAND ${ORBEL_XVFB_RUN} -a env ORBEL_HOST=sdl ORBEL_REAL_WINDOW_TEST=1
                   $<TARGET_FILE:core_tests> --gtest_filter=RealWindowTest.*)
  set_tests_properties(core.RealWindowUnderXvfb PROPERTIES TIMEOUT ${ORBEL_TEST_TIMEOUT} RESOURCE_LOCK xvfb)
endif()
# ---- end of core block --------------------------------------------------------------------------

# ---- core: headless runs of the smoke program ---------------------------------------------------
# HeadlessClock tests of core_tests start orbel_smoke in a process of its own: build it with them.
if(TARGET core_tests AND TARGET orbel_smoke)
  add_dependencies(core_tests orbel_smoke)
endif()
# ---- end of headless block ----------------------------------------------------------------------

# ---- file: archives made by the qvapack tool ----------------------------------------------------
# FileSystemNames tests of file_tests run tools/qvapack in a process of its own: build it with them.
if(TARGET file_tests AND TARGET qvapack)
  add_dependencies(file_tests qvapack)
endif()
# ---- end of qvapack block -----------------------------------------------------------------------

# ---- graphics: pictures on a real display -------------------------------------------------------
# Under xvfb-run with the SDL host the library draws a loaded picture and flips; a screenshot of the X
# root window (xwd, from x11-apps) must show its pixels in a window, and scaled to fit in full screen
# (RealDisplay tests of graphics_tests). The 1280x1024 screen makes full screen scale 640x480 by two with
# bars above and below.
if(ORBEL_XVFB_RUN AND TARGET graphics_tests)
  foreach(case PictureInAWindowShowsItsPixels FullScreenShowsThePictureScaledToFit
               PictureInAWindowShowsItsPixelsOnDirect3D FullScreenShowsThePictureScaledToFitOnDirect3D)
    add_test(NAME graphics.${case}UnderXvfb
             COMMAND ${ORBEL_XVFB_RUN} -a -s "-screen 0 1280x1024x24"
                     env ORBEL_HOST=sdl ORBEL_REAL_DISPLAY_TEST=1
                     $<TARGET_FILE:graphics_tests> --gtest_filter=RealDisplay.${case})
    set_tests_properties(graphics.${case}UnderXvfb PROPERTIES TIMEOUT ${ORBEL_TEST_TIMEOUT} RESOURCE_LOCK xvfb)
  endforeach()
endif()
# ---- end of graphics block ----------------------------------------------------------------------

# ---- input: the key states on a real display ----------------------------------------------------
# Under xvfb-run with the SDL host, xdotool types every letter into the library's window and the key
# states follow (RealKeyboardTest). Not registered without xvfb-run or xdotool.
find_program(ORBEL_XDOTOOL xdotool)
if(ORBEL_XVFB_RUN AND ORBEL_XDOTOOL AND TARGET input_tests)
  add_test(NAME input.RealKeyboardUnderXvfb
           COMMAND ${ORBEL_XVFB_RUN} -a env ORBEL_HOST=sdl ORBEL_REAL_KEYBOARD_TEST=1
                   $<TARGET_FILE:input_tests> --gtest_filter=RealKeyboardTest.*)
  set_tests_properties(input.RealKeyboardUnderXvfb PROPERTIES TIMEOUT ${ORBEL_TEST_TIMEOUT} RESOURCE_LOCK xvfb)
endif()
# ---- end of input block -------------------------------------------------------------------------

# ---- sound: the SDL host's audio device through SDL's "disk" driver ------------------------------
# A WAV played through the library lands in a raw file that SDL writes as the device would play it;
# the test compares it with the WAV. Under xvfb-run because the SDL host starts only with a display.
if(ORBEL_XVFB_RUN AND TARGET platform_tests)
  add_test(NAME platform.SdlDiskAudioUnderXvfb
           COMMAND ${ORBEL_XVFB_RUN} -a env ORBEL_HOST=sdl SDL_AUDIODRIVER=disk
                   SDL_DISKAUDIOFILE=${CMAKE_CURRENT_BINARY_DIR}/sdl-disk-audio.raw
                   $<TARGET_FILE:platform_tests> --gtest_filter=HostSdlAudio.*)
  set_tests_properties(platform.SdlDiskAudioUnderXvfb PROPERTIES TIMEOUT ${ORBEL_TEST_TIMEOUT} RESOURCE_LOCK xvfb)
endif()
# ---- end of sound block -------------------------------------------------------------------------

# ---- font: text on a real display -----------------------------------------------------------------
# Under xvfb-run with the SDL host the library draws a line of Japanese text with the host's fonts and
# flips; a screenshot of the X root window (xwd) must show the back screen's text pixels (RealText test
# of font_tests).
if(ORBEL_XVFB_RUN AND TARGET font_tests)
  add_test(NAME font.JapaneseTextUnderXvfb
           COMMAND ${ORBEL_XVFB_RUN} -a env ORBEL_HOST=sdl ORBEL_REAL_DISPLAY_TEST=1
                   $<TARGET_FILE:font_tests> --gtest_filter=RealText.*)
  set_tests_properties(font.JapaneseTextUnderXvfb PROPERTIES TIMEOUT ${ORBEL_TEST_TIMEOUT} RESOURCE_LOCK xvfb)
endif()
# ---- end of font block ----------------------------------------------------------------------------

# ---- game: Kelvaron played in-process and as a program ------------------------------------------
# game_tests drives the game's code (kelvaron_game) and runs the kelvaron program with a key script;
# both read the committed data and assets under game/.
if(TARGET game_tests AND TARGET kelvaron_game)
  target_link_libraries(game_tests PRIVATE kelvaron_game)
  target_compile_definitions(game_tests PRIVATE KELVARON_GAME_DIR="${CMAKE_SOURCE_DIR}/game"
                             KELVARON_PROGRAM="$<TARGET_FILE:kelvaron>")
  add_dependencies(game_tests kelvaron)
endif()
# ---- end of game block --------------------------------------------------------------------------
if(TARGET game_tests AND TARGET qvapack)
  add_dependencies(game_tests qvapack)
endif()
# Kelvaron in a real window under xvfb-run with the SDL host: screenshots, a key sent with xdotool, F12,
# and sound on SDL's disk audio device (tests/game/kelvaron_under_xvfb.sh).
find_program(ORBEL_XWININFO xwininfo)
if(ORBEL_XVFB_RUN AND ORBEL_XDOTOOL AND ORBEL_XWININFO AND TARGET kelvaron)
  add_test(NAME game.KelvaronUnderXvfb
           COMMAND ${ORBEL_XVFB_RUN} -a ${CMAKE_CURRENT_SOURCE_DIR}/game/kelvaron_under_xvfb.sh
                   $<TARGET_FILE:kelvaron> ${CMAKE_SOURCE_DIR}/game)
  orbel_time_limit(game_time_limit 180)
  set_tests_properties(game.KelvaronUnderXvfb PROPERTIES TIMEOUT ${game_time_limit} RESOURCE_LOCK xvfb)
endif()
# Kelvaron on X servers of its own that end at random moments, while it plays and during its start
# (tests/game/kelvaron_display_loss.sh). An end slower than the bound fails (the bound holds at a load of
# four times the processors, twice as long under the sanitizers); one that never comes shows the game's
# stacks. Labelled as the exit tests of the movie block are.
find_program(ORBEL_XVFB Xvfb)
if(ORBEL_XVFB AND ORBEL_XDOTOOL AND TARGET kelvaron)
  set(slow_end_ms 6000)
  if(ORBEL_SANITIZE OR ORBEL_SANITIZE_THREAD)
    set(slow_end_ms 12000)
  endif()
  orbel_time_limit(display_loss_time_limit 300)
  foreach(mode play start)
    set(name game.KelvaronDisplayLoss)
    if(mode STREQUAL "start")
      set(name game.KelvaronDisplayLossAtStart)
    endif()
    add_test(NAME ${name}
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/game/kelvaron_display_loss.sh $<TARGET_FILE:kelvaron>
                     ${CMAKE_SOURCE_DIR}/game ${mode} ${slow_end_ms})
    # Five games and their X servers side by side: one such run at a time, so that the tests beside
    # them are not slowed to a crawl (all three at once, with 30-47 threads ready to run on 8
    # processors, a picture test at the size cap ran past its limit there).
    # Started first (a fresh build has no times to order by), so that their turns overlap the suite.
    set_tests_properties(${name} PROPERTIES TIMEOUT ${display_loss_time_limit} RESOURCE_LOCK five_games COST 1000)
    if(NOT ORBEL_SANITIZE_THREAD)
      set_tests_properties(${name} PROPERTIES LABELS game_tests)
    endif()
  endforeach()
  # Kelvaron ended by SIGTERM, SIGHUP or SIGINT at random moments (tests/game/kelvaron_end_signals.sh): by
  # its window's close, or after the 2 s of grace; the same bound on the time to end.
  add_test(NAME game.KelvaronEndSignals
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/game/kelvaron_end_signals.sh $<TARGET_FILE:kelvaron>
                   ${CMAKE_SOURCE_DIR}/game ${slow_end_ms})
  set_tests_properties(game.KelvaronEndSignals PROPERTIES TIMEOUT ${display_loss_time_limit} RESOURCE_LOCK five_games
                       COST 1000)
  if(NOT ORBEL_SANITIZE_THREAD)
    set_tests_properties(game.KelvaronEndSignals PROPERTIES LABELS game_tests)
  endif()
endif()

# ---- movie: films made at test time -------------------------------------------------------------
# movie_tests encode their Theora and Vorbis films with libtheora's and libvorbis's encoders, and start
# the library through the graph tests' fixture.
if(TARGET movie_tests)
  pkg_check_modules(MOVIE_ENCODERS REQUIRED IMPORTED_TARGET theoraenc theoradec vorbisenc vorbis ogg)
  target_sources(movie_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/graphics/graph_test_fixture.cpp)
  target_include_directories(movie_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/graphics)
  target_link_libraries(movie_tests PRIVATE PkgConfig::MOVIE_ENCODERS)
endif()
# exit() at random moments while sound, music or a film plays in a real window, on SDL's dummy audio
# driver (a real audio thread), or from a second thread while all of that, a connection and fonts run.
# Labelled with the suite, so that the AddressSanitizer pass runs them too; not in the ThreadSanitizer
# build, where the GL driver's own threads (not instrumented) read as races.
if(ORBEL_XVFB_RUN AND TARGET movie_tests)
  foreach(case ALoopingSoundAndMusic AFilmWithSound EverythingAtOnceFromASecondThread)
    add_test(NAME movie.ExitWhilePlaying.${case}UnderXvfb
             COMMAND ${ORBEL_XVFB_RUN} -a env ORBEL_HOST=sdl
                     $<TARGET_FILE:movie_tests> --gtest_filter=ExitWhilePlaying.${case})
    orbel_time_limit(exit_time_limit 180)
    set_tests_properties(movie.ExitWhilePlaying.${case}UnderXvfb
                         PROPERTIES TIMEOUT ${exit_time_limit} RESOURCE_LOCK xvfb)
    if(NOT ORBEL_SANITIZE_THREAD)
      set_tests_properties(movie.ExitWhilePlaying.${case}UnderXvfb PROPERTIES LABELS movie_tests)
    endif()
  endforeach()
endif()
# ---- end of movie block -------------------------------------------------------------------------

# ---- network: the notice road for kernels without io_uring ---------------------------------------
# The WinSock stand-in learns of socket activity through io_uring where the kernel has it, else through
# an epoll set and a watcher thread. The second road runs the notice and network tests again, forced.
if(TARGET platform_tests)
  add_test(NAME platform.WinsockNotices.EpollWatcherRoad
           COMMAND env ORBEL_WINSOCK_NO_IO_URING=1 $<TARGET_FILE:platform_tests> --gtest_filter=WinsockNotices.*)
  set_tests_properties(platform.WinsockNotices.EpollWatcherRoad
                       PROPERTIES TIMEOUT ${ORBEL_TEST_TIMEOUT} LABELS platform_tests)
endif()
if(TARGET network_tests)
  orbel_time_limit(network_time_limit 120)
  add_test(NAME network.EpollWatcherRoad
           COMMAND env ORBEL_WINSOCK_NO_IO_URING=1 $<TARGET_FILE:network_tests> --gtest_filter=-HttpPythonServer.*)
  set_tests_properties(network.EpollWatcherRoad PROPERTIES TIMEOUT ${network_time_limit} LABELS network_tests)
  # Two tests that wait for the watcher thread, many times over on its road: a wait that gives up after
  # a count of turns or polls fails here whenever the thread is slow to run, as on a loaded machine.
  foreach(case FramedTransfer.BlockThatCameBeforeATakeIsReceivedByThePumpAlone:300
               HttpPythonServer.GetWithoutLengthPostAndHead:100)
    string(REPLACE ":" ";" parts ${case})
    list(GET parts 0 test)
    list(GET parts 1 times)
    add_test(NAME network.${test}.EpollWatcherRoadRepeated
             COMMAND env ORBEL_HOST=headless ORBEL_WINSOCK_NO_IO_URING=1 $<TARGET_FILE:network_tests>
                     --gtest_filter=${test} --gtest_repeat=${times} --gtest_brief=1)
    set_tests_properties(network.${test}.EpollWatcherRoadRepeated
                         PROPERTIES TIMEOUT ${network_time_limit} LABELS network_tests)
  endforeach()
endif()
# ---- end of network block -----------------------------------------------------------------------
