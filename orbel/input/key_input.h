// Key-input handles: lines of text typed into at the end of every message-pump pass. The library has
// no public call that makes one; these internal calls make and activate them. Internal to orbel/input.
#pragma once

#include "orbel/input/text_input_state.h"

namespace orbel {

// A new handle with an empty buffer of maxLength + 1 bytes, or -1 (no free slot, bad length, no memory).
int MakeKeyInputHandle(int maxLength, int cancelAllowed, int singleByteOnly, int digitsOnly);
// Makes the handle the one the pump edits (-1: none). 0, or -1 for a handle that is not valid.
int SetActiveKeyInputHandle(int handle);
// The handle's record, or null when the handle is not valid.
KeyInputHandleRecord* GetKeyInputRecord(int handle);
int DeleteKeyInputHandle(int handle);

}  // namespace orbel
