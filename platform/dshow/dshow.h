// The DirectShow stand-in: multimedia streams that read a movie file through a filter graph, render its
// primary video stream into DirectDraw surfaces through stream samples, and play its primary audio
// stream into the DirectSound stand-in's mixer. Decoding is FFmpeg's (libavformat, libavcodec,
// libswscale, libswresample); time is the plat clock. Only the calls, records and constants the library
// uses, with their documented values. Objects are made by CoCreateInstance (platform/win/kernel/com.h) with
// CLSID_FilterGraph and CLSID_AMMultiMediaStream; every object starts with one reference.
#pragma once

#include "platform/ddraw/ddraw.h"
#include "platform/win/kernel/com.h"
#include "platform/win/kernel/wide_text.h"
#include "platform/win/kernel/win_types.h"

namespace plat {

// ---- Identities ---------------------------------------------------------------------------------

extern const CLSID CLSID_FilterGraph;
extern const CLSID CLSID_AMMultiMediaStream;

extern const IID IID_IGraphBuilder;
extern const IID IID_IMediaControl;
extern const IID IID_IMediaSeeking;
extern const IID IID_IBasicAudio;
extern const IID IID_IAMMultiMediaStream;
extern const IID IID_IMediaStream;
extern const IID IID_IAMMediaStream;
extern const IID IID_IDirectDrawMediaStream;
extern const IID IID_IDirectDrawStreamSample;

// Purpose identities of media streams.
using MSPID = GUID;
extern const MSPID MSPID_PrimaryVideo;
extern const MSPID MSPID_PrimaryAudio;

// ---- Types and constants ------------------------------------------------------------------------

using STREAM_TIME = int64_t;  // 100-nanosecond units

enum STREAM_TYPE : int32_t { STREAMTYPE_READ = 0, STREAMTYPE_WRITE = 1, STREAMTYPE_TRANSFORM = 2 };
enum STREAM_STATE : int32_t { STREAMSTATE_STOP = 0, STREAMSTATE_RUN = 1 };

// IAMMultiMediaStream::Initialize
constexpr DWORD AMMSF_NOGRAPHTHREAD = 0x1;
// IAMMultiMediaStream::AddMediaStream
constexpr DWORD AMMSF_ADDDEFAULTRENDERER = 0x1;
// IDirectDrawMediaStream::CreateSample
constexpr DWORD DDSFF_PROGRESSIVERENDER = 0x1;
// IDirectDrawStreamSample::Update (an event or SSUPDATE_ASYNC makes the update asynchronous)
constexpr DWORD SSUPDATE_ASYNC = 0x1;
using PAPCFUNC = void (*)(uintptr_t data);

// Results of the stream calls.
constexpr HRESULT MS_S_PENDING = 0x40001;      // an asynchronous update has started
constexpr HRESULT MS_S_NOUPDATE = 0x40002;
constexpr HRESULT MS_S_ENDOFSTREAM = 0x40003;  // no frame is left to show
constexpr HRESULT MS_E_SAMPLEALLOC = static_cast<HRESULT>(0x80040401u);
constexpr HRESULT MS_E_PURPOSEID = static_cast<HRESULT>(0x80040402u);
constexpr HRESULT MS_E_NOSTREAM = static_cast<HRESULT>(0x80040403u);
constexpr HRESULT MS_E_NOSEEKING = static_cast<HRESULT>(0x80040404u);
constexpr HRESULT MS_E_INCOMPATIBLE = static_cast<HRESULT>(0x80040405u);
constexpr HRESULT MS_E_BUSY = static_cast<HRESULT>(0x80040406u);
constexpr HRESULT MS_E_NOTINIT = static_cast<HRESULT>(0x80040407u);
constexpr HRESULT MS_E_SOURCEALREADYDEFINED = static_cast<HRESULT>(0x80040408u);
constexpr HRESULT MS_E_INVALIDSTREAMTYPE = static_cast<HRESULT>(0x80040409u);
constexpr HRESULT MS_E_NOTRUNNING = static_cast<HRESULT>(0x8004040Au);
// A file no filter can read.
constexpr HRESULT VFW_E_UNKNOWN_FILE_TYPE = static_cast<HRESULT>(0x80040240u);
// A file that is not there (the Win32 error ERROR_FILE_NOT_FOUND as an HRESULT).
constexpr HRESULT VFW_E_FILE_NOT_FOUND = static_cast<HRESULT>(0x80070002u);

// ---- Filter graph -------------------------------------------------------------------------------
// One object with four faces. The graph runs the file a multimedia stream opened on it.

class IGraphBuilder {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  // IID_IGraphBuilder, IID_IMediaControl, IID_IMediaSeeking and IID_IBasicAudio.
  virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;

 protected:
  virtual ~IGraphBuilder() = default;
};

class IMediaControl {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  // Holds the stream time where it is (the multimedia stream then reports STREAMSTATE_STOP) until the
  // stream is set running again. S_OK, also when nothing is open.
  virtual HRESULT Pause() = 0;

 protected:
  virtual ~IMediaControl() = default;
};

// Obtained and released only: seeking goes through the multimedia stream.
class IMediaSeeking {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IMediaSeeking() = default;
};

// Obtained and released only: the sound plays at full volume.
class IBasicAudio {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IBasicAudio() = default;
};

// ---- Media streams and samples ------------------------------------------------------------------

class IDirectDrawStreamSample;

// A media stream of a multimedia stream (the primary video stream is the one the library uses).
class IMediaStream {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  // IID_IMediaStream, IID_IAMMediaStream and, for the video stream, IID_IDirectDrawMediaStream.
  virtual HRESULT QueryInterface(REFIID iid, void** out) = 0;

 protected:
  virtual ~IMediaStream() = default;
};

// Obtained and released only.
class IAMMediaStream {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  virtual ~IAMMediaStream() = default;
};

class IDirectDrawMediaStream {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  // The frame format: width, height and the display's pixel format, with flags CAPS | HEIGHT | WIDTH |
  // PIXELFORMAT and caps OFFSCREENPLAIN | SYSTEMMEMORY, into whichever of `current` and `desired` is
  // given (each must carry dwSize = sizeof(DDSURFACEDESC)). A file without a video stream reports width
  // and height 0. `palette` and `flags`, when given, receive null and 0. MS_E_NOSTREAM before a file
  // is open.
  virtual HRESULT GetFormat(DDSURFACEDESC* current, IDirectDrawPalette** palette, DDSURFACEDESC* desired,
                            DWORD* flags) = 0;
  // A sample that renders frames into `surface` (null: the stream makes a system-memory surface of the
  // frame size in the display's format, or 32 bits on an 8-bit display), into `rect` (null: the frame
  // size at the top left). The surface must be an RGB surface of 16, 24 or 32 bits
  // (DDERR_INVALIDPIXELFORMAT) holding the frame size (MS_E_INCOMPATIBLE); the rectangle must have the
  // frame size and lie inside it (E_INVALIDARG). The sample keeps a reference to the surface.
  virtual HRESULT CreateSample(IDirectDrawSurface* surface, const RECT* rect, DWORD flags,
                               IDirectDrawStreamSample** out) = 0;

 protected:
  virtual ~IDirectDrawMediaStream() = default;
};

// A frame holder: each Update renders the frame due by the stream's clock into the sample's surface.
class IDirectDrawStreamSample {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  // The sample's surface (one more reference) and its rectangle; either may be null.
  virtual HRESULT GetSurface(IDirectDrawSurface** surface, RECT* rect) = 0;
  // Renders the frame due now into the surface. While the stream runs, that is the next frame not yet
  // shown, waiting until its time comes (frames whose time has passed are skipped); while it does not
  // run, the frame at the stream's position. S_OK when the frame is in the surface; MS_S_ENDOFSTREAM
  // once the last frame's time is over (the surface keeps the last frame); an error when the surface
  // cannot be written.
  // With an event (or SSUPDATE_ASYNC) the update is asynchronous: when a frame is due (or the end is
  // reached) at once, it is done at once, with the results above and the event left alone; otherwise
  // MS_S_PENDING, and the event is signalled when the update has ended (with its frame, or at the end of
  // the stream, which the next Update then reports). A pending update follows the stream: after a Seek
  // it renders the frame of the new position, and while the stream is held it renders the frame at the
  // held position. A new Update or the sample's release ends one still pending without a frame (the
  // event is signalled). `apc` is not supported (E_INVALIDARG).
  virtual HRESULT Update(DWORD flags, HANDLE event, PAPCFUNC apc, uintptr_t apcData) = 0;

 protected:
  virtual ~IDirectDrawStreamSample() = default;
};

// ---- Multimedia stream --------------------------------------------------------------------------

class IAMMultiMediaStream {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  // Read streams only (MS_E_INVALIDSTREAMTYPE otherwise). `graph` is the filter graph to run the file
  // on (null: one of its own). MS_E_SOURCEALREADYDEFINED when called twice.
  virtual HRESULT Initialize(STREAM_TYPE type, DWORD flags, IGraphBuilder* graph) = 0;
  // Adds the primary video stream, rendering through `directDraw` (null: the stream makes frames for
  // its own surfaces only), or with AMMSF_ADDDEFAULTRENDERER the primary audio stream, played through
  // the sound mixer. `out`, when given, receives the new stream (the audio stream has none here: null).
  // MS_E_PURPOSEID for another purpose or one added already, MS_E_NOTINIT before Initialize.
  virtual HRESULT AddMediaStream(IDirectDraw4* directDraw, const MSPID& purpose, DWORD flags,
                                 IMediaStream** out) = 0;
  // Opens a movie file by its UTF-16 name (either separator; the platform's path rules apply). The file
  // must hold a stream of an added purpose that can be decoded. VFW_E_FILE_NOT_FOUND,
  // VFW_E_UNKNOWN_FILE_TYPE, MS_E_SOURCEALREADYDEFINED for a second file. The stream stays stopped at
  // time 0.
  virtual HRESULT OpenFile(const WCHAR* fileName, DWORD flags) = 0;
  // The media stream of a purpose (one more reference); MS_E_NOSTREAM when it was not added.
  virtual HRESULT GetMediaStream(const MSPID& purpose, IMediaStream** out) = 0;
  virtual HRESULT GetState(STREAM_STATE* state) = 0;
  // STREAMSTATE_RUN starts the stream clock from the current position; STREAMSTATE_STOP holds it.
  // MS_E_NOSTREAM before a file is open.
  virtual HRESULT SetState(STREAM_STATE state) = 0;
  // The stream time: the position, plus the clock time run since the position was taken.
  virtual HRESULT GetTime(STREAM_TIME* time) = 0;
  // Moves the position to `time` (clamped to 0 .. 2^60); the next update shows the frame of that time.
  virtual HRESULT Seek(STREAM_TIME time) = 0;

 protected:
  virtual ~IAMMultiMediaStream() = default;
};

}  // namespace plat
