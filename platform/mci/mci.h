// The media control interface, as far as its MIDI sequencer goes. The "sequencer" device opens standard
// MIDI files (format 0 or 1, "MThd"; "RIFF....RMID" wrapping one is accepted too) and refuses anything
// else with MCIERR_INVALID_FILE, so other music can fall back to a sound stream. Play with MCI_NOTIFY
// posts MM_MCINOTIFY (wParam MCI_NOTIFY_SUCCESSFUL, lParam the device ID) to the callback window when
// the song's length, worked out from its tempo map, has passed on the plat clock; the notice is raised
// from a thread timer of the thread that played, so it arrives through that thread's message pump.
// The song is heard through libfluidsynth with a General MIDI sound font when both are present (the
// sound goes into the DirectSound stand-in's mix); otherwise it plays silently with the same timing.
#pragma once

#include "platform/win/kernel/win_types.h"
#include "platform/win/user/window_messages.h"  // MM_MCINOTIFY

namespace plat {

using MCIDEVICEID = UINT;
using MCIERROR = DWORD;
using DWORD_PTR = uintptr_t;

// ---- Commands -----------------------------------------------------------------------------------
constexpr UINT MCI_OPEN = 0x0803;
constexpr UINT MCI_CLOSE = 0x0804;
constexpr UINT MCI_PLAY = 0x0806;
constexpr UINT MCI_STOP = 0x0808;
constexpr UINT MCI_STATUS = 0x0814;

// ---- Flags --------------------------------------------------------------------------------------
constexpr DWORD MCI_NOTIFY = 0x00000001;
constexpr DWORD MCI_WAIT = 0x00000002;
constexpr DWORD MCI_FROM = 0x00000004;
constexpr DWORD MCI_TO = 0x00000008;
constexpr DWORD MCI_OPEN_SHAREABLE = 0x00000100;
constexpr DWORD MCI_OPEN_ELEMENT = 0x00000200;
constexpr DWORD MCI_OPEN_ALIAS = 0x00000400;
constexpr DWORD MCI_OPEN_TYPE_ID = 0x00001000;
constexpr DWORD MCI_OPEN_TYPE = 0x00002000;
constexpr DWORD MCI_STATUS_ITEM = 0x00000100;

// ---- Status items -------------------------------------------------------------------------------
constexpr DWORD MCI_STATUS_LENGTH = 0x00000001;    // milliseconds
constexpr DWORD MCI_STATUS_POSITION = 0x00000002;  // milliseconds
constexpr DWORD MCI_STATUS_MODE = 0x00000004;      // MCI_MODE_*
constexpr DWORD MCI_SEQ_STATUS_PORT = 0x00004003;  // the MIDI output in use
constexpr DWORD MCI_MODE_STOP = 525;
constexpr DWORD MCI_MODE_PLAY = 526;
constexpr UINT MIDI_MAPPER = 0xFFFFFFFFu;  // the port every sequencer here reports

// ---- Notices ------------------------------------------------------------------------------------
constexpr WPARAM MCI_NOTIFY_SUCCESSFUL = 0x0001;
constexpr WPARAM MCI_NOTIFY_SUPERSEDED = 0x0002;
constexpr WPARAM MCI_NOTIFY_ABORTED = 0x0004;
constexpr WPARAM MCI_NOTIFY_FAILURE = 0x0008;

// ---- Errors -------------------------------------------------------------------------------------
constexpr MCIERROR MCIERR_INVALID_DEVICE_ID = 257;
constexpr MCIERROR MCIERR_UNRECOGNIZED_COMMAND = 261;
constexpr MCIERROR MCIERR_INVALID_DEVICE_NAME = 263;
constexpr MCIERROR MCIERR_OUT_OF_MEMORY = 264;
constexpr MCIERROR MCIERR_UNSUPPORTED_FUNCTION = 274;
constexpr MCIERROR MCIERR_FILE_NOT_FOUND = 275;
constexpr MCIERROR MCIERR_INVALID_FILE = 296;
constexpr MCIERROR MCIERR_MISSING_PARAMETER = 417;

struct MCI_GENERIC_PARMS {
  DWORD_PTR dwCallback;  // the window of MCI_NOTIFY (its low part, as the call takes it)
};

struct MCI_OPEN_PARMSA {
  DWORD_PTR dwCallback;
  MCIDEVICEID wDeviceID;        // out
  const char* lpstrDeviceType;  // "sequencer" (any case)
  const char* lpstrElementName; // the file (Shift-JIS path)
  const char* lpstrAlias;
};

struct MCI_STATUS_PARMS {
  DWORD_PTR dwCallback;
  DWORD_PTR dwReturn;  // out
  DWORD dwItem;
  DWORD dwTrack;
};

struct MCI_PLAY_PARMS {
  DWORD_PTR dwCallback;
  DWORD dwFrom;  // milliseconds, with MCI_FROM
  DWORD dwTo;    // milliseconds, with MCI_TO
};

// `param` points at the command's record (null allowed for MCI_CLOSE / MCI_STOP). 0 on success.
// A new play, MCI_STOP and MCI_CLOSE drop a notice still pending without posting it: the library treats
// every notice as the end of the song, so a late one would restart the next song.
MCIERROR mciSendCommandA(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR param);

}  // namespace plat
