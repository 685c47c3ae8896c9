// Turns the bytes a UTF-8 xterm-compatible terminal sends into the console's input events.
//
// Character keys come as their CP850 code (typed UTF-8 converted; characters the code page
// lacks are dropped), extended keys as scan code * 256. Function keys, cursor keys and the
// editing keys come with their own code and the modifiers held in `mods`, as a PC keyboard
// reports them: Ctrl+F1 is key 0x3B00 with kModCtrl, Shift+F5 key 0x3F00 with kModShift,
// Ctrl+Home key 0x4700 with kModCtrl; the keyboard layer combines them. Alt with a letter,
// digit, "-", "=", Backspace or Enter gives the PC Alt code (Alt+X 0x2D00, Alt+1 0x7800,
// Alt+Backspace 0x0E00) with kModAlt. Shift+Tab is 0x0F00, Backspace (DEL or ^H) 8, Enter
// (CR or LF) 0x0D, a lone Esc 0x1B.
//
// Example: "\x1b[1;5P" (Ctrl+F1) decodes to {key 0x3B00, mods kModCtrl}; "\x1b[<0;10;5M"
// (left press) to {Mouse, button 1, row 5, col 10}; "\x1bx" to {key 0x2D00, mods kModAlt}.
// Text pasted between the bracketed-paste markers "\x1b[200~" and "\x1b[201~" comes, once
// the end marker is in, as one Ctrl+V {key 0x16, mods kModCtrl} whose `pasted` holds the
// text in CP850 (line ends and Tab kept, other control bytes dropped, characters outside the
// code page as "?"; escape sequences inside it are text). Pasted text is never typed, so a
// line end in it cannot act as Enter on a screen.
#ifndef PALVORIN_CONSOLE_KEYDECODE_H_
#define PALVORIN_CONSOLE_KEYDECODE_H_

#include <optional>
#include <string>
#include <string_view>

#include "console/console.h"

namespace palvorin {

// The bytes received and not yet decoded, read one at a time.
class ByteReader {
 public:
  // `final`: no more bytes are coming soon (the Esc timeout has passed), so an unfinished
  // sequence is resolved with what there is instead of waiting.
  ByteReader(std::string_view bytes, bool final) : bytes_(bytes), final_(final) {}
  // The next byte (0-255), or -1 when all are read.
  int Get() { return pos_ < bytes_.size() ? static_cast<uint8_t>(bytes_[pos_++]) : -1; }
  // Gives back the last byte read (not after a -1).
  void Unget() { --pos_; }
  // Gives back the last `count` bytes read.
  void Back(size_t count) { pos_ -= count; }
  size_t Used() const { return pos_; }
  bool Final() const { return final_; }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
  bool final_;
};

enum class DecodeResult {
  Accepted,    // an event was decoded into `out`; Used() bytes belong to it
  Ignored,     // Used() bytes were understood but give no event (a release, a paste marker)
  Rejected,    // Used() bytes form an unknown or broken sequence and are dropped
  Incomplete,  // the bytes so far start a sequence; more must come (never when Final(),
               // except for a paste's end marker cut short)
};

// What the decoder remembers between events.
struct DecoderState {
  bool inPaste = false;  // between the paste markers
  std::string pasted;    // the text pasted so far, CP850
};

// Pre: `in` is positioned at the first undecoded byte and holds at least one.
DecodeResult DecodeInput(ByteReader& in, InputEvent& out, DecoderState& st);

// Keeps the received bytes and hands out the events they decode to.
class KeyDecoder {
 public:
  void Feed(std::string_view bytes);
  // The next event, or nullopt when the bytes so far give none. With `final` an unfinished
  // sequence at the end is resolved (a lone Esc becomes the Esc key) instead of kept.
  std::optional<InputEvent> Next(bool final);
  // True while bytes are kept waiting for the rest of a sequence.
  bool Waiting() const { return start_ < pending_.size(); }
  bool InPaste() const { return state_.inPaste; }

 private:
  std::string pending_;  // bytes received; those before start_ are decoded
  size_t start_ = 0;
  DecoderState state_;
};

}  // namespace palvorin

#endif  // PALVORIN_CONSOLE_KEYDECODE_H_
