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

// Copies the 256 key states (non-zero: held down) into `states`. 0.
int CopyAllKeyStates(uint8_t* states);

// ---- Sound and music ----------------------------------------------------------------------------

// ---- Network ------------------------------------------------------------------------------------
// Network handles are connections handed to the library; framed handles carry blocks of a 4-byte
// little-endian length and the body, raw handles plain bytes. Each call returns -1 for a handle that is
// not valid.

// Takes `length` received bytes: 0 (framed) or the count (raw); -1 when fewer are there (framed) or
// nothing waits (raw).
int NetWorkRecv(int netHandle, void* buffer, int length);
// As NetWorkRecv, leaving the bytes where they are.
int NetWorkRecvToPeek(int netHandle, void* buffer, int length);
// Queues (framed: 0) or sends (raw: the count) `length` bytes; -1 when the connection is gone.
int NetWorkSend(int netHandle, const void* buffer, int length);
// Framed: bytes received and not yet taken. Raw: 1 when bytes wait, 0 at the stream's end, -1 otherwise.
int GetNetWorkDataLength(int netHandle);
// 1 while connected, 0 once the connection is gone.
int GetNetWorkAcceptState(int netHandle);
// Takes one text line (without its LF) into `buffer` (at least 255 bytes). 0, or -1 when none is there.
int NetWorkRecvLine(int netHandle, char* buffer);
// Closes the handle after letting a block in progress arrive and queued bytes leave. 0 or -1.
int CloseNetWorkHandle(int netHandle);
