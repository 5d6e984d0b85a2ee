// Parser of the headless host's input script (see input_script.h). Every field is checked as it is
// read; numbers are bounded; a bad line fails the whole script with its line number.
#include "platform/host/headless/input_script.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/win/user/user_keys.h"

namespace plat::host {
namespace {

constexpr size_t kMaxScriptBytes = 16u << 20;  // a script is typed by people: 16 MiB is plenty
constexpr long long kMaxCoordinate = 1 << 20;

struct KeyName {
  const char* name;
  UINT vk;
};

constexpr KeyName kKeyNames[] = {
    {"ESCAPE", VK_ESCAPE}, {"ESC", VK_ESCAPE},     {"RETURN", VK_RETURN}, {"ENTER", VK_RETURN},
    {"SPACE", VK_SPACE},   {"TAB", VK_TAB},        {"BACK", VK_BACK},     {"BACKSPACE", VK_BACK},
    {"DELETE", VK_DELETE}, {"LEFT", VK_LEFT},      {"RIGHT", VK_RIGHT},   {"UP", VK_UP},
    {"DOWN", VK_DOWN},     {"SHIFT", VK_SHIFT},    {"CONTROL", VK_CONTROL}, {"CTRL", VK_CONTROL},
    {"ALT", VK_MENU},      {"MENU", VK_MENU},      {"HOME", VK_HOME},     {"END", VK_END},
    {"PRIOR", VK_PRIOR},   {"NEXT", VK_NEXT},      {"INSERT", VK_INSERT},
};

// A cursor over one line: words separated by blanks.
struct LineReader {
  std::string_view rest;

  std::string_view Word() {
    size_t start = 0;
    while (start < rest.size() && (rest[start] == ' ' || rest[start] == '\t')) ++start;
    size_t end = start;
    while (end < rest.size() && rest[end] != ' ' && rest[end] != '\t') ++end;
    std::string_view word = rest.substr(start, end - start);
    rest.remove_prefix(end);
    return word;
  }
  // The rest of the line after one separating blank.
  std::string_view Tail() {
    if (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
    std::string_view tail = rest;
    rest = {};
    return tail;
  }
  bool AtEnd() const {
    return std::all_of(rest.begin(), rest.end(), [](char c) { return c == ' ' || c == '\t'; });
  }
};

bool Equals(std::string_view a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// Decimal or 0x-hex, optionally negative, within [min, max].
bool ParseNumber(std::string_view word, long long min, long long max, long long* value) {
  if (word.empty()) return false;
  bool negative = false;
  if (word.front() == '-') {
    negative = true;
    word.remove_prefix(1);
  }
  int base = 10;
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    base = 16;
    word.remove_prefix(2);
  }
  if (word.empty()) return false;
  long long v = 0;
  for (char c : word) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    v = v * base + digit;
    if (v > (1LL << 40)) return false;
  }
  if (negative) v = -v;
  if (v < min || v > max) return false;
  *value = v;
  return true;
}

bool ParseKey(std::string_view word, UINT* vk) {
  if (word.size() == 1 && std::isalnum(static_cast<unsigned char>(word[0]))) {
    *vk = static_cast<UINT>(std::toupper(static_cast<unsigned char>(word[0])));
    return true;
  }
  for (const KeyName& k : kKeyNames) {
    if (Equals(word, k.name)) {
      *vk = k.vk;
      return true;
    }
  }
  if (word.size() >= 2 && (word[0] == 'F' || word[0] == 'f') && std::isdigit(static_cast<unsigned char>(word[1]))) {
    long long n;
    if (ParseNumber(word.substr(1), 1, 24, &n)) {
      *vk = VK_F1 + static_cast<UINT>(n - 1);
      return true;
    }
  }
  long long n;
  if (ParseNumber(word, 1, 254, &n)) {
    *vk = static_cast<UINT>(n);
    return true;
  }
  return false;
}

bool ParsePoint(LineReader& r, Event* e) {
  long long x, y;
  if (!ParseNumber(r.Word(), -kMaxCoordinate, kMaxCoordinate, &x)) return false;
  if (!ParseNumber(r.Word(), -kMaxCoordinate, kMaxCoordinate, &y)) return false;
  e->x = static_cast<int>(x);
  e->y = static_cast<int>(y);
  return true;
}

// Parses one non-empty line into one or two events (a key press is a down and an up).
const char* ParseLine(std::string_view line, std::vector<ScriptedEvent>* events) {
  LineReader r{line};
  long long at;
  if (!ParseNumber(r.Word(), 0, 0xFFFFFFFFLL, &at)) return "bad time";
  const std::string_view command = r.Word();
  ScriptedEvent s{static_cast<uint32_t>(at), Event{}};
  Event& e = s.event;
  if (Equals(command, "key")) {
    if (!ParseKey(r.Word(), &e.key)) return "bad key";
    const std::string_view how = r.Word();
    if (Equals(how, "down") || Equals(how, "press")) {
      e.type = EventType::KeyDown;
      events->push_back(s);
      if (Equals(how, "press")) {
        s.event.type = EventType::KeyUp;
        events->push_back(s);
      }
    } else if (Equals(how, "up")) {
      e.type = EventType::KeyUp;
      events->push_back(s);
    } else {
      return "key needs down, up or press";
    }
  } else if (Equals(command, "text")) {
    e.type = EventType::Text;
    e.text = std::string(r.Tail());
    if (e.text.empty()) return "text needs bytes";
    events->push_back(s);
    return nullptr;
  } else if (Equals(command, "mouse")) {
    const std::string_view what = r.Word();
    if (Equals(what, "move")) {
      e.type = EventType::MouseMove;
    } else if (Equals(what, "down") || Equals(what, "up")) {
      e.type = Equals(what, "down") ? EventType::MouseButtonDown : EventType::MouseButtonUp;
      const std::string_view button = r.Word();
      if (Equals(button, "left")) e.button = 0;
      else if (Equals(button, "right")) e.button = 1;
      else if (Equals(button, "middle")) e.button = 2;
      else return "bad mouse button";
    } else {
      return "mouse needs move, down or up";
    }
    if (!ParsePoint(r, &e)) return "bad point";
    events->push_back(s);
  } else if (Equals(command, "wheel")) {
    long long steps;
    if (!ParseNumber(r.Word(), -1000, 1000, &steps)) return "bad wheel steps";
    e.type = EventType::MouseWheel;
    e.wheel = static_cast<int>(steps);
    if (!ParsePoint(r, &e)) return "bad point";
    events->push_back(s);
  } else if (Equals(command, "drop")) {
    e.type = EventType::DropFiles;
    for (std::string_view name = r.Word(); !name.empty(); name = r.Word()) e.names.emplace_back(name);
    if (e.names.empty()) return "drop needs names";
    events->push_back(s);
  } else if (Equals(command, "focus")) {
    const std::string_view how = r.Word();
    if (Equals(how, "in")) e.type = EventType::FocusGained;
    else if (Equals(how, "out")) e.type = EventType::FocusLost;
    else return "focus needs in or out";
    events->push_back(s);
  } else if (Equals(command, "pad")) {
    const std::string_view what = r.Word();
    long long id;
    if (!ParseNumber(r.Word(), 0, 0x7FFFFFFF, &id)) return "bad pad id";
    e.pad = static_cast<int>(id);
    if (Equals(what, "add")) {
      e.type = EventType::PadAdded;
      e.text = std::string(r.Tail());
      if (e.text.empty()) return "pad add needs a name";
      e.padCaps = kPadHasZ | kPadHasR | kPadRumble;
      events->push_back(s);
      return nullptr;
    }
    if (Equals(what, "remove")) {
      e.type = EventType::PadRemoved;
    } else if (Equals(what, "button")) {
      long long button;
      if (!ParseNumber(r.Word(), 0, 31, &button)) return "bad pad button";
      e.button = static_cast<int>(button);
      const std::string_view how = r.Word();
      if (Equals(how, "down")) e.type = EventType::PadButtonDown;
      else if (Equals(how, "up")) e.type = EventType::PadButtonUp;
      else return "pad button needs down or up";
    } else if (Equals(what, "axis")) {
      long long axis, value;
      if (!ParseNumber(r.Word(), 0, 5, &axis)) return "bad pad axis";
      if (!ParseNumber(r.Word(), -32768, 32767, &value)) return "bad axis value";
      e.type = EventType::PadAxis;
      e.axis = static_cast<int>(axis);
      e.value = static_cast<int>(value);
    } else {
      return "pad needs add, remove, button or axis";
    }
    events->push_back(s);
  } else if (Equals(command, "compose")) {
    e.type = EventType::Composition;
    const std::string_view first = r.Word();
    if (!Equals(first, "end")) {
      long long cursor;
      if (!ParseNumber(first, 0, 1024, &cursor)) return "bad composition cursor";
      e.text = std::string(r.Tail());
      if (e.text.empty() || e.text.size() > 1024) return "compose needs 1 to 1024 bytes";
      e.cursor = static_cast<int>(std::min<long long>(cursor, static_cast<long long>(e.text.size())));
      events->push_back(s);
      return nullptr;
    }
    events->push_back(s);
  } else if (Equals(command, "close")) {
    e.type = EventType::Close;
    events->push_back(s);
  } else {
    return "unknown command";
  }
  return r.AtEnd() ? nullptr : "extra words";
}

}  // namespace

bool ParseInputScript(std::string_view text, std::vector<ScriptedEvent>* out, std::string* error) {
  if (out == nullptr) return false;
  if (text.size() > kMaxScriptBytes) {
    if (error) *error = "script too large";
    return false;
  }
  std::vector<ScriptedEvent> events;
  size_t lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') continue;
    if (const char* why = ParseLine(line.substr(first), &events)) {
      if (error) *error = "line " + std::to_string(lineNumber) + ": " + why;
      return false;
    }
  }
  std::stable_sort(events.begin(), events.end(),
                   [](const ScriptedEvent& a, const ScriptedEvent& b) { return a.atMs < b.atMs; });
  *out = std::move(events);
  return true;
}

}  // namespace plat::host
