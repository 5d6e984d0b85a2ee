// The headless host's input script: a text file of timed host events, one per line, read from
// ORBEL_HEADLESS_SCRIPT. Lines: "<ms> <command> <arguments>", '#' starts a comment, blank lines skip.
//   key <vk> down|up|press      vk: a number (decimal or 0x..), a letter or digit, or a name
//                               (ESCAPE, RETURN, ENTER, SPACE, TAB, BACK, DELETE, LEFT, RIGHT, UP, DOWN,
//                               SHIFT, CONTROL, ALT, F1..F12, HOME, END, PRIOR, NEXT, INSERT)
//   text <bytes to end of line> mouse move <x> <y>      mouse down|up left|right|middle <x> <y>
//   wheel <steps> <x> <y>       drop <name> [<name> ...]  focus in|out      close
//   pad add <id> <name to end of line>    pad remove <id>    pad button <id> <0-31> down|up
//   pad axis <id> <0-5: X Y Z Rx Ry Rz> <-32768..32767>
//   compose <cursor byte> <bytes to end of line>   compose end   (input-method composition)
// <ms> counts from the host's start on the plat clock; events are delivered in time order (lines with
// the same time in file order). Coordinates are client coordinates of the focused window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/host.h"

namespace plat::host {

struct ScriptedEvent {
  uint32_t atMs;  // ms after the host's start
  Event event;
};

// Parses a whole script. On failure returns false and sets `error` to "line N: what"; `out` is left
// untouched.
bool ParseInputScript(std::string_view text, std::vector<ScriptedEvent>* out, std::string* error);

}  // namespace plat::host
