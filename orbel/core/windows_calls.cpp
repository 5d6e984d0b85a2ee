// The Windows calls a game makes beside the library (the start-up question and the frame sleep),
// forwarded to the platform's stand-ins so that a game needs no header but orbel.h.
#include "orbel.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/user/message_box.h"

int MessageBoxA(void* owner, const char* text, const char* caption, unsigned type) {
  return plat::MessageBoxA(static_cast<plat::HWND>(owner), text, caption, type);
}

void Sleep(uint32_t milliseconds) { plat::Sleep(milliseconds); }
