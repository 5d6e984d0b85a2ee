// Orbel: the public interface of the library. Plain functions over integer handles; 0 on success and -1
// on failure, a handle or -1 from the functions that create one. Text is Shift-JIS.
// A game includes this header only.
#pragma once

#include <cstdint>

// Records the public calls pass by pointer; their fields are the library's (orbel/image/color_data.h).
namespace orbel {
struct ColorData;
struct GraphImage;
}  // namespace orbel

// ---- Library start, end and frame ---------------------------------------------------------------
// Start-up, shut-down and the per-frame message turn take the process-wide API lock; every other call
// is meant for the thread that drives the library.

// Starts the library (window, input, sound, graphics). 0 at once when already started; -1 when a step
// failed (what had been started is ended again).
int InitLibraryLocked();
// Ends the library, then tears the API lock down. 0 at once when not started.
int EndLibraryLocked();
// One turn of the message pump: drains the window messages, sleeps while the application is inactive,
// services sounds, network and key input. 0, or -1 once the window was closed (the game is to end).
int ProcessMessageLocked();

// ---- Window and settings ------------------------------------------------------------------------

// 1 runs in a window, 0 full screen; before start-up only the choice is recorded. 0, or the display
// change's result.
int ChangeWindowMode(int windowMode);
// The window's title (Shift-JIS); before start-up it also names the window class, by which a second
// running copy is found. 0.
int SetMainWindowTitle(const char* title);
// 1 in a window, 0 full screen.
int GetWindowModeFlag();

// ---- Clock and numbers --------------------------------------------------------------------------

// The millisecond clock (wraps at 2^32).
uint32_t GetNowMilliCount();
// A random integer from 0 to max inclusive (max below 0x7FFFFFFF).
int GetRandomNumber(int max);

// ---- Files --------------------------------------------------------------------------------------

// ---- Images -------------------------------------------------------------------------------------

// Fills a pixel-format description from a depth and four channel masks. 0, or -1 for a bad depth.
int BuildColorFormat(orbel::ColorData* format, int bitDepth, uint32_t redMask, uint32_t greenMask,
                     uint32_t blueMask, uint32_t alphaMask);
// Makes a 32-bit (X8R8G8B8) image of the size, pixels uninitialised. 0, or -1 when out of memory.
int MakeImage32(int width, int height, orbel::GraphImage* image);
// Frees an image's pixels and clears the record. 0.
int FreeGraphImage(orbel::GraphImage* image);

// Deletes every soft image. 0.
int DeleteAllSoftImages();

// ---- Graphics -----------------------------------------------------------------------------------

// ---- Text ---------------------------------------------------------------------------------------

// ---- Input --------------------------------------------------------------------------------------

// Copies the 256 key states by DirectInput key code into `states`: 1 held down, 0 up. 0; when input had
// to be started again (after a display change) the start-up's result, with `states` left untouched.
int CopyAllKeyStates(uint8_t* states);

// ---- Sound and music ----------------------------------------------------------------------------

// Loads a WAV (PCM or compressed), Ogg Vorbis or MP3 file into a new sound handle with `bufferCount`
// play buffers (1..10; more are cut to 10); `ringShare` is a stream sound whose ring to share, or -1.
// The handle, or -1.
int LoadSoundFile(const char* path, int bufferCount, int ringShare);
// Plays a sound: type 0 waits for the end, 1 plays in the background, 3 loops; `top` 1 from the start.
// 0 or -1.
int PlaySoundHandle(int handle, int playType, int top);
// Stops a sound, keeping its position. 0 or -1.
int StopSoundHandle(int handle);
// 1 while the sound plays, 0 when not, -1 for an invalid handle.
int IsSoundHandlePlaying(int handle);
// Stops and deletes a sound. 0 or -1.
int DeleteSoundHandle(int handle);
// Deletes every sound. 0.
int DeleteAllSoundHandles();
// How the next load holds its data: 0 whole PCM, 2 a stream from the file image in memory, 3 a
// stream from the open file. 0, or -1 outside 0..3.
int SetSoundCreateType(int type);
// The current create type.
int GetSoundCreateType();
// The sound's length in samples, or -1.
int GetSoundSampleCount(int handle);
// The sound's length in milliseconds, or -1.
int GetSoundTotalTimeMs(int handle);
// The play position in milliseconds, or -1.
int GetSoundCurrentTime(int handle);
// Plays a music file: MIDI through the sequencer, anything else as a stream sound; type as for
// PlaySoundHandle (3 loops). Stops the music before. 0 or -1.
int PlayMusicFile(const char* path, int playType);
// Stops and deletes the current music. 0.
int StopCurrentMusic();
// 1 while the current music plays, else 0.
int IsMusicPlaying();
