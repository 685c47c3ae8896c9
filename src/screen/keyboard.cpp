// Key and mouse input: type-ahead, Alt+keypad character entry, modified function keys, hot
// keys, and the key table of the current screen.
#include "screen/keyboard.h"

#include <cstdint>

namespace palvorin {
namespace {

// The digit an Alt+keypad key adds to a character code, or -1 for any other input. Keypad
// keys arrive as digits (Num Lock on) or as the cursor keys printed on them (Num Lock off).
int KeypadDigit(const InputEvent& event) {
  if (event.kind != InputEvent::Kind::Key || !event.keypad || !(event.mods & kModAlt)) return -1;
  if (event.key >= '0' && event.key <= '9') return event.key - '0';
  switch (event.key) {
    case keys::kIns: return 0;
    case keys::kEnd: return 1;
    case keys::kDown: return 2;
    case keys::kPgDn: return 3;
    case keys::kLeft: return 4;
    case keys::kPad5: return 5;
    case keys::kRight: return 6;
    case keys::kHome: return 7;
    case keys::kUp: return 8;
    case keys::kPgUp: return 9;
    default: return -1;
  }
}

// The Alt, Ctrl or Shift form of a function key (the first held of them, in that order).
// Codes that already are such forms pass unchanged, whichever way the console reports them.
int ApplyModifiers(int key, int mods) {
  const bool f1to10 = key >= keys::kF1 && key <= keys::kF10;
  const bool f11or12 = key == keys::kF11 || key == keys::kF12;
  if (mods & kModAlt) {
    if (f1to10) return key + 0x2D00;
    if (f11or12) return key + 0x0600;
  } else if (mods & kModCtrl) {
    if (f1to10) return key + 0x2300;
    if (f11or12) return key + 0x0400;
    if (key == keys::kHome) return keys::kCtrlHome;
    if (key == keys::kRight) return keys::kCtrlRight;
    if (key == keys::kLeft) return keys::kCtrlLeft;
  } else if (mods & kModShift) {
    if (f1to10) return key + 0x1900;
    if (f11or12) return key + 0x0200;
  }
  return key;
}

// How long an Alt+keypad entry waits for its next digit. The terminal reports no release of
// Alt, so a pause ends the entry.
constexpr int kKeypadDigitWaitMs = 1000;

// The next input: an event kept back first, then the console's, waiting at most `timeoutMs`
// (0 not at all, -1 without limit).
std::optional<InputEvent> NextEvent(int timeoutMs) {
  KeyboardState& kb = Keyboard();
  if (kb.pushedBack) {
    std::optional<InputEvent> event = kb.pushedBack;
    kb.pushedBack.reset();
    return event;
  }
  return timeoutMs == 0 ? ConPollEvent() : ConWaitEvent(timeoutMs);
}

// Runs a hot-key tool unless it is already open, and types what it returns.
void RunTool(bool& running, const std::function<std::string()>& tool) {
  if (running || !tool) return;
  struct Mark {  // cleared however the tool ends
    bool& running;
    explicit Mark(bool& r) : running(r) { running = true; }
    ~Mark() { running = false; }
  } mark(running);
  Keyboard().typeAhead += tool();
}

void TakeKey(bool wait, int& key, int& button, int& row, int& col) {
  key = button = row = col = 0;
  KeyboardState& kb = Keyboard();
  if (!kb.typeAhead.empty()) {
    key = static_cast<uint8_t>(kb.typeAhead.front());
    kb.typeAhead.erase(0, 1);
    return;
  }
  // The console always delivers mouse presses; input is on while a key is awaited.
  if (kb.mouseState == 0) kb.mouseState = 2;
  if (kb.mouseState == 2) kb.mouseState = 1;

  std::optional<InputEvent> event = NextEvent(wait ? -1 : 0);
  if (!event) {
    // An endless wait that comes back empty means the input is gone for good.
    if (wait) key = keys::kEsc;
    return;
  }
  // Alt held while typing digits on the keypad types the character of that code. The entry
  // ends with a pause or with the first other input, which is kept for the next read (a bare
  // release marker, key 0, is dropped).
  bool entry = false;
  int code = 0;
  for (int digit = KeypadDigit(*event); digit >= 0;) {
    entry = true;
    code = (code * 10 + digit) % 256;
    event = NextEvent(kKeypadDigitWaitMs);
    digit = event ? KeypadDigit(*event) : -1;
  }
  if (entry) {
    if (event && !(event->kind == InputEvent::Kind::Key && event->key == 0)) {
      kb.pushedBack = event;
    }
    key = code;
  } else if (event->kind == InputEvent::Kind::Key) {
    key = event->key & 0xFFFF;
    if (key == keys::kAltE) key = 0xD5;  // the euro sign in code page 858
    key = ApplyModifiers(key, event->mods);
  } else if (kb.mouseState == 1 && (event->button == 1 || event->button == 2)) {
    button = event->button;
    row = event->row;
    col = event->col;
  }
  if (key == keys::kAltX) RunTool(kb.calculatorRunning, kb.calculator);
  if (key == keys::kAltC) RunTool(kb.calendarRunning, kb.calendar);
  if (kb.mouseState == 1 && (key != 0 || button != 0)) kb.mouseState = 2;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// A hexadecimal code as the list gives it; the leading hexadecimal digits count, so anything
// that is not a number reads as 0.
int ParseHex(std::string_view text) {
  size_t i = text.find_first_not_of(' ');
  int value = 0;
  for (; i < text.size(); ++i) {
    const char c = Upper(text[i]);
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      break;
    }
    value = (value * 16 + digit) & 0xFFFF;
  }
  return value;
}

// Calls `each` for every non-blank comma-separated item of `list`.
template <typename Each>
void ForEachItem(std::string_view list, Each each) {
  while (true) {
    const size_t comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    if (item.find_first_not_of(' ') != std::string_view::npos) each(item);
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
}

}  // namespace

KeyboardState& Keyboard() {
  static KeyboardState state;
  return state;
}

void ResetKeyboardForTest() { Keyboard() = KeyboardState{}; }

void SetHotKeyHandlers(std::function<std::string()> calculator,
                       std::function<std::string()> calendar) {
  Keyboard().calculator = std::move(calculator);
  Keyboard().calendar = std::move(calendar);
}

void ReadKey(int& key, int& button, int& row, int& col) { TakeKey(false, key, button, row, col); }

void AwaitKey(int& key, int& button, int& row, int& col) {
  do {
    TakeKey(true, key, button, row, col);
  } while (key == 0 && button == 0);
}

void GetKey(int& key) {
  int button = 0, row = 0, col = 0;
  AwaitKey(key, button, row, col);
  if (key == 0) key = (col * 256 + button * 64 + row) & 0xFFFF;
}

void DiscardPendingKeys() {
  KeyboardState& kb = Keyboard();
  kb.typeAhead.clear();
  kb.pushedBack.reset();
  while (ConPollEvent()) {
  }
}

void SetKeys(std::string_view commands, std::string_view list) {
  KeyboardState& kb = Keyboard();
  for (char command : commands) {
    switch (Upper(command)) {
      case 'A':
        ForEachItem(list, [&](std::string_view item) {
          const size_t equals = item.find('=');
          const int accepted = ParseHex(item.substr(0, equals));
          const int returned =
              equals == std::string_view::npos ? accepted : ParseHex(item.substr(equals + 1));
          kb.keyTable.push_back({accepted, returned});
        });
        break;
      case 'D':
        ForEachItem(list, [&](std::string_view item) {
          const int code = ParseHex(item.substr(0, item.find('=')));
          for (auto it = kb.keyTable.begin(); it != kb.keyTable.end(); ++it) {
            if (it->accepted == code) {
              kb.keyTable.erase(it);
              break;
            }
          }
        });
        break;
      case 'E': kb.keyTable.clear(); break;
      case '+':
        if (!kb.saved) {
          kb.savedKeyTable = kb.keyTable;
          kb.saved = true;
        }
        break;
      case '-':
        if (kb.saved) {
          kb.keyTable = kb.savedKeyTable;
          kb.savedKeyTable.clear();
          kb.saved = false;
        }
        break;
      case 'H': kb.maskChar = 'X'; break;
      case 'V': kb.maskChar = 0; break;
      default: break;
    }
  }
}

bool LookUpKey(int key, int& returned) {
  for (const KeyEntry& entry : Keyboard().keyTable) {
    if (entry.accepted == key) {
      returned = entry.returned;
      return true;
    }
  }
  return false;
}

void SetFieldHelp(std::string_view text) { Keyboard().fieldHelp = std::string(text); }

}  // namespace palvorin
