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

// ---- Windows calls a game makes itself ----------------------------------------------------------
// The two system calls a game program uses beside the library, over the platform's stand-ins.

// A message box without the library (usable before start-up); type as MB_* (0x24: Yes/No with a
// question mark). The button pressed: IDYES 6, IDNO 7, IDOK 1, ...
int MessageBoxA(void* owner, const char* text, const char* caption, unsigned type);
// Sleeps on the library's clock (a virtual clock advances at once).
void Sleep(uint32_t milliseconds);

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

// Sets the screen to width x height at 8, 16 or 32 bits and a refresh rate (0: the driver's); -1
// keeps a value. Before start-up only records it; afterwards rebuilds the screen and deletes every
// graph. 0; -2 when the display fell back to 640 x 480 x 16; -1 when the mode was not set.
int SetScreenMode(int width, int height, int colorBitDepth, int refreshRate);
// The screen's pixel format: a 32-byte DirectDraw pixel format (size, flags, FourCC, bit count, masks).
const void* GetScreenColorData();
// The colour value of (red, green, blue) in the screen's pixel format (an 8-bit screen: the nearest
// palette entry).
uint32_t MakeColor(int red, int green, int blue);
// Chooses where drawing goes: -2 the back screen, -4 the front screen, or a graph made drawable. 0 or -1.
int SelectDrawScreen(int screen);
// Brightness every draw is multiplied by, each 0-255 (255, 255, 255: unchanged). 0.
int SetDrawBrightness(int red, int green, int blue);
// Clears the whole current draw screen. 0.
int ClearTargetScreen();
// Shows the back screen (page flip in full screen, copy to the window otherwise) and counts the frame.
// 0, or -1 without a usable screen.
int FlipScreen();

// Loads a picture file (plain file or archive member) into a new graph; a file no picture loader
// accepts is played as a movie. no3D 1 keeps the graph out of Direct3D textures. Graph or -1.
int LoadGraphFile(const char* fileName, int no3D);
// Loads one picture and cuts it into `total` graphs of width x height, row by row from the top left,
// `xCount` across and `yCount` down; the handles go to `handles` (entries not made hold -1). 0 or -1.
int LoadDivGraphFile(const char* fileName, int total, int xCount, int yCount, int width, int height,
                     int* handles, int no3D);
// Size of a graph, or of the screen for -2 (back) and -4 (front); either output may be null. 0 or -1.
int GetGraphExtent(int graph, int* width, int* height);
// Draws the graph with its top-left at (x, y); transparent 1 skips its transparent colour. 0 or -1.
int DrawGraphAt(int x, int y, int graph, int transparent);
// Draws the graph stretched into (x1, y1)-(x2, y2); x1 > x2 or y1 > y2 mirrors that axis. 0 or -1.
int DrawStretchGraph(int x1, int y1, int x2, int y2, int graph, int transparent);
// Draws the graph mirrored left-right with its top-left at (x, y). 0 or -1.
int DrawMirroredGraph(int x, int y, int graph, int transparent);
// Draws the graph onto four points: top-left, top-right, bottom-right, bottom-left. 0 or -1.
int DrawQuadGraph(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                  int transparent);
// Draws the part (srcX, srcY, width, height) of the graph at (x, y), mirrored left-right with mirror 1.
int DrawGraphPart(int x, int y, int srcX, int srcY, int width, int height, int graph, int transparent, int mirror);
// Draws the part (srcX, srcY, srcWidth, srcHeight) stretched into (x1, y1)-(x2, y2). 0 or -1.
int DrawStretchGraphPart(int x1, int y1, int x2, int y2, int srcX, int srcY, int srcWidth, int srcHeight, int graph,
                         int transparent);
// Draws a box in a colour from MakeColor: filled with fill 1, else its one-pixel outline. 0 or -1.
int DrawRectangle(int x1, int y1, int x2, int y2, uint32_t color, int fill);
// Fills a 32-byte DirectDraw pixel format (RGB, the bit count and masks). 0.
int FillColorData32(void* pixelFormat, int bitCount, uint32_t redMask, uint32_t greenMask, uint32_t blueMask,
                    uint32_t alphaMask);

// ---- Text ---------------------------------------------------------------------------------------
// Fonts are system faces with their own glyph cache. Types: 0 plain, 1 edged, 2 antialiased, 3
// antialiased and edged. Colours come from MakeColor; `vertical` 1 writes top to bottom.

// Makes a font handle: face (null: the default face), size (cell height in pixels), thickness (1-9),
// type, character set (-1: Shift-JIS, or Korean under code page 949), edge size (above 1 makes the font
// edged), italic, slot and check number (-1 for both: the next free). The handle, or -1.
int CreateFontToHandle(const char* face, int size, int thickness, int fontType, int charSet, int edgeSize,
                       int italic, int slot, int checkNumber);
// Deletes a font handle. 0 or -1.
int DeleteFontHandle(int font);
// 1 when `font` is a live font handle, else 0.
int IsFontHandleValid(int font);
// The size the font was made with, or -1.
int GetFontHandleSize(int font);
// Copies the font's face name (up to 256 bytes) and writes its size and thickness; any output may be
// null. 0 or -1.
int GetFontHandleState(char* face, int* size, int* thickness, int font);
// Extra pixels added after every character of the font. 0 or -1.
int SetFontCharSpaceToHandle(int spacing, int font);
// Draws Shift-JIS text with its top-left at (x, y); the edge colour is used by edged fonts. 0 or -1.
int DrawTextToFontHandle(int x, int y, const char* text, uint32_t color, int font, uint32_t edgeColor,
                         int vertical);
// Width in pixels of the first `length` bytes of text (-1: all of it) with the font, or -1.
int GetTextWidthToFontHandle(const char* text, int length, int font, int vertical);
// The default font handle, or -1 when none exists.
int GetDefaultFontHandle();
// Sets the default font's size and thickness (-1: 16 and 6); the face is not read. 0 or -1.
int SetDefaultFontSizeThick(const char* face, int size, int thickness);
// Draws text horizontally with the default font. 0 or -1.
int DrawTextDefaultFont(int x, int y, const char* text, uint32_t color, uint32_t edgeColor);
// Formats printf-style (up to 1,023 bytes) and draws the result with the default font. 0 or -1.
int DrawFormatTextDefaultFont(int x, int y, uint32_t color, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// Width in pixels of the first `length` bytes of text (-1: all of it) with the default font, or -1.
int GetTextWidthDefaultFont(const char* text, int length, int vertical);
// Formats printf-style (up to 1,023 bytes) and gives the result's width with the default font, or -1.
int GetFormatTextWidthDefaultFont(const char* format, ...) __attribute__((format(printf, 1, 2)));

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
